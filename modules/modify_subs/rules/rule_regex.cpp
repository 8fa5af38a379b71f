#include "rules/rule_regex.h"

#include "pattern/pattern_lexer.h"
#include "pattern/wide_escapes.h"
#include "rules/pattern_guard.h"

RuleRegex compileRulePattern(const std::string& pattern) {
    checkCompileBudget(pattern);
    const LexedPattern lexed = lexPattern(pattern);
    checkNumbers(lexed);
    const std::string spelled = spellWideEscapes(pattern, lexed);
    if (spelled != pattern) checkCompileBudget(spelled);
    RuleRegex compiled{std::regex(spelled, std::regex_constants::icase), {}, spelled};
    compiled.stackDemand = spelled == pattern ? regexStackDemand(lexed, pattern.size()) : regexStackDemand(spelled);
    return compiled;
}
