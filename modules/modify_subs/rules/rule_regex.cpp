#include "rules/rule_regex.h"

#include "pattern/pattern_lexer.h"
#include "pattern/wide_escapes.h"
#include "rules/pattern_guard.h"

namespace {

template <class Regex>
BasicRuleRegex<Regex> compiled(const std::string& pattern) {
    checkCompileBudget(pattern);
    const LexedPattern lexed = lexPattern(pattern);
    checkNumbers(lexed);
    const std::string spelled = spellWideEscapes(pattern, lexed);
    if (spelled != pattern) checkCompileBudget(spelled);
    BasicRuleRegex<Regex> rule{Regex(spelled, std::regex_constants::icase), {}, spelled};
    rule.stackDemand = spelled == pattern ? regexStackDemand(lexed, pattern.size()) : regexStackDemand(spelled);
    return rule;
}

}  // namespace

RuleRegex compileRulePattern(const std::string& pattern) { return compiled<std::regex>(pattern); }

RuleEngine compileRuleEngine(const std::string& pattern) { return compiled<RuleEngineRegex>(pattern); }
