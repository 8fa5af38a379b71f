#include "rules/rule_check.h"

#include <regex>

#include "pattern/pattern_warnings.h"
#include "rules/rule_shadows.h"
#include "stack/large_stack.h"

namespace {

// The engine's message for a rule it refuses, "" for one it takes.
std::string problemOf(const ReplacementRule& rule, bool unicode) {
    try {
        // The character-wise engine compiles when it is built, the byte-wise one on
        // the first text; both with exactly the options of the rewriter.
        TextRewriter(RuleSequence{rule}, RewriteMode{false, unicode}).apply("", TagSyntax::None);
    } catch (const std::regex_error& error) {
        return error.what();
    } catch (const std::runtime_error& error) {
        // Only the character-wise engine refuses a rule that is not UTF-8.
        if (!unicode) throw;
        return error.what();
    }
    return "";
}

std::optional<TextRewriter> wholeList(const RuleSequence& rules, bool unicode) {
    try {
        TextRewriter rewriter(rules, RewriteMode{false, unicode});
        rewriter.apply("", TagSyntax::None);
        rewriter.resetCount();
        return rewriter;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

}  // namespace

CheckedRules checkRules(const RuleSequence& rules, bool unicode) {
    // Compiling recurses per pattern byte: judge on the passes' stack. One engine for
    // the whole list is the common verdict (each character-wise engine loads its
    // locale, which costs more than its rules); only a list it refuses is judged
    // rule by rule.
    return onLargeStack([&] {
        CheckedRules checked{std::vector<RuleCheck>(rules.size()), wholeList(rules, unicode)};
        const std::vector<std::optional<std::size_t>> shadows = shadowingRules(rules);
        for (std::size_t index = 0; index < rules.size(); ++index) {
            RuleCheck& check = checked.rules[index];
            if (!checked.rewriter) check.problem = problemOf(rules[index], unicode);
            if (!unicode) check.warnings = patternWarnings(rules[index].compiledPattern());
            check.shadowedBy = shadows[index];
        }
        return checked;
    });
}
