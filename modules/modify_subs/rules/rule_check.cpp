#include "rules/rule_check.h"

#include <algorithm>
#include <regex>
#include <utility>

#include "pattern/pattern_mistakes.h"
#include "pattern/pattern_warnings.h"
#include "rules/rule_error.h"
#include "rules/rule_mistakes.h"
#include "rules/rule_shadows.h"
#include "stack/large_stack.h"

namespace {

// The engine's message for a rule it refuses, "" for one it takes. A stack refusal on
// the caller's thread is `retryable`: the check runs again on the large stack.
std::string problemOf(const ReplacementRule& rule, bool unicode, bool retryable) {
    try {
        // The character-wise engine compiles when it is built, the byte-wise one on
        // the first text; both with exactly the options of the rewriter.
        TextRewriter(RuleSequence{rule}, RewriteMode{false, unicode}).apply("", TagSyntax::None);
    } catch (const std::regex_error& error) {
        return error.what();
    } catch (const UnusableRule& error) {
        return error.what();
    } catch (const RecursionBudgetExceeded& error) {
        if (retryable || !unicode) throw;
        return error.what();
    } catch (const std::runtime_error& error) {
        // Only the character-wise engine refuses a rule that is not UTF-8.
        if (!unicode) throw;
        return error.what();
    }
    return "";
}

std::optional<TextRewriter> wholeList(const RuleSequence& rules, bool unicode, bool retryable) {
    try {
        TextRewriter rewriter(rules, RewriteMode{false, unicode});
        rewriter.apply("", TagSyntax::None);
        rewriter.resetCount();
        return rewriter;
    } catch (const RecursionBudgetExceeded&) {
        if (retryable) throw;
        return std::nullopt;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

// Compiling recurses per pattern byte; short patterns fit any thread's stack.
bool fitsCallerStack(const RuleSequence& rules) {
    constexpr std::size_t kCallerStackPatternBytes = 1 << 10;
    return std::all_of(rules.begin(), rules.end(), [](const ReplacementRule& rule) {
        return rule.compiledPattern().size() <= kCallerStackPatternBytes;
    });
}

}  // namespace

CheckedRules checkRules(const RuleSequence& rules, bool unicode) {
    // Compiling recurses per pattern byte: short patterns are judged on the caller's
    // stack, others (or a list it refuses) on the passes' stack. One engine for the
    // whole list is the common verdict (each character-wise engine loads its locale,
    // which costs more than its rules); only a list it refuses is judged rule by rule.
    bool onCaller = fitsCallerStack(rules);
    return onCallerOrLargeStack(onCaller, [&] {
        const bool retryable = std::exchange(onCaller, false);
        CheckedRules checked{std::vector<RuleCheck>(rules.size()), wholeList(rules, unicode, retryable)};
        const std::vector<std::optional<std::size_t>> shadows = shadowingRules(rules);
        for (std::size_t index = 0; index < rules.size(); ++index) {
            RuleCheck& check = checked.rules[index];
            if (!checked.rewriter) check.problem = problemOf(rules[index], unicode, retryable);
            if (const std::string hint = foreignSyntaxHint(rules[index].compiledPattern());
                !check.problem.empty() && !hint.empty()) {
                check.problem += "; " + hint;
            }
            check.warnings = ruleMistakes(rules[index]);
            if (!unicode) {
                std::vector<std::string> byteWise = patternWarnings(rules[index].compiledPattern());
                check.warnings.insert(check.warnings.end(), byteWise.begin(), byteWise.end());
            }
            check.shadowedBy = shadows[index];
        }
        return checked;
    });
}
