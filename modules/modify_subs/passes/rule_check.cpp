#include "rule_check.h"

#include <regex>

#include "large_stack.h"
#include "substitution.h"

namespace {

std::vector<RuleCheck> checkEachRule(const WordList& words) {
    std::vector<RuleCheck> checks;
    checks.reserve(words.size());
    for (const auto& [pattern, replacement] : words) {
        RuleCheck check{pattern, replacement, ""};
        try {
            // A one-rule substitution compiles its pattern on the first text, with
            // exactly the options a pass uses.
            Substitution(WordList{{pattern, replacement}}).apply("");
        } catch (const std::regex_error& error) {
            check.problem = error.what();
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

}  // namespace

std::vector<RuleCheck> checkRules(const WordList& words) {
    // Compiling recurses per pattern byte: judge each pattern on the passes' stack.
    return onLargeStack([&] { return checkEachRule(words); });
}
