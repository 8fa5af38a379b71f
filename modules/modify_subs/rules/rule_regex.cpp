#include "rules/rule_regex.h"

#include "pattern/pattern_lexer.h"
#include "pattern/wide_escapes.h"
#include "rules/pattern_guard.h"

RuleRegex compileRulePattern(const std::string& pattern, bool ignoreCase) {
    checkCompileBudget(pattern);
    const LexedPattern lexed = lexPattern(pattern);
    checkNumbers(lexed);
    const std::string spelled = spellWideEscapes(pattern, lexed);
    if (spelled != pattern) checkCompileBudget(spelled);
    RuleRegex compiled{std::regex(spelled, ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                      : std::regex_constants::ECMAScript),
                       {},
                       spelled};
    compiled.stackDemand = spelled == pattern ? regexStackDemand(lexed, pattern.size()) : regexStackDemand(spelled);
    return compiled;
}
