#include "rules/reference_substitution.h"

#include <utility>

#include "rules/rule_error.h"
#include "rules/rule_regex.h"
#include "stack/recursion_budget.h"

std::string referenceSubstitution(const ReplacementRules& words, const std::string& text,
                                  std::vector<std::size_t>* changedBy) {
    std::string modifiedText = text;
    std::size_t index = 0;
    for (const auto& [pattern, replacement] : words) {
        requireNoNul(pattern, replacement);
        const RuleRegex rule = compileRulePattern(pattern);
        checkRecursionBudget(pattern, rule.stackDemand, modifiedText.size());
        std::string rewritten = std::regex_replace(modifiedText, rule.regex, replacement.c_str());
        if (changedBy && rewritten != modifiedText) changedBy->push_back(index);
        modifiedText = std::move(rewritten);
        ++index;
    }
    return modifiedText;
}
