#include "rules/reference_substitution.h"

#include "rules/rule_error.h"
#include "rules/rule_regex.h"
#include "stack/recursion_budget.h"

std::string referenceSubstitution(const ReplacementRules& words, const std::string& text) {
    std::string modifiedText = text;
    for (const auto& [pattern, replacement] : words) {
        requireNoNul(pattern, replacement);
        const RuleRegex rule = compileRulePattern(pattern);
        checkRecursionBudget(pattern, rule.stackDemand, modifiedText.size());
        modifiedText = std::regex_replace(modifiedText, rule.regex, replacement.c_str());
    }
    return modifiedText;
}
