#include "rules/rule_regex.h"

#include "pattern/pattern_lexer.h"
#include "pattern/wide_escapes.h"
#include "rules/pattern_guard.h"

namespace {

template <class Regex>
BasicRuleRegex<Regex> compiled(const std::string& pattern, bool ignoreCase) {
    checkCompileBudget(pattern);
    const LexedPattern lexed = lexPattern(pattern);
    checkNumbers(lexed);
    const std::string spelled = spellWideEscapes(pattern, lexed);
    if (spelled != pattern) checkCompileBudget(spelled);
    BasicRuleRegex<Regex> rule{
        Regex(spelled, ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                  : std::regex_constants::ECMAScript),
        {},
        spelled};
    rule.stackDemand = spelled == pattern ? regexStackDemand(lexed, pattern.size()) : regexStackDemand(spelled);
    return rule;
}

}  // namespace

RuleRegex compileRulePattern(const std::string& pattern, bool ignoreCase) {
    return compiled<std::regex>(pattern, ignoreCase);
}

RuleEngine compileRuleEngine(const std::string& pattern, bool ignoreCase) {
    return compiled<RuleEngineRegex>(pattern, ignoreCase);
}
