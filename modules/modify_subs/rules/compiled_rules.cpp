#include "rules/compiled_rules.h"

#include <algorithm>
#include <stdexcept>

#include "rules/rule_error.h"
#include "stack/large_stack.h"

std::vector<std::string> CompiledRules::patterns() const {
    std::vector<std::string> patterns;
    patterns.reserve(_rules.size());
    for (const ReplacementRule& rule : _rules) patterns.push_back(rule.pattern);
    return patterns;
}

std::vector<RuleCheck> CompiledRules::checks(bool unicode) {
    const std::lock_guard lock(_mutex);
    std::optional<std::vector<RuleCheck>>& checks = _checks[unicode ? 1 : 0];
    if (!checks) {
        CheckedRules checked = checkRules(_rules, unicode);
        // The list the check compiled whole is the first call's rewriter.
        if (checked.rewriter) _idle[slotOf(RewriteMode{false, unicode})].push_back(std::move(*checked.rewriter));
        checks = std::move(checked.rules);
    }
    return *checks;
}

std::vector<CompiledRules::Problem> CompiledRules::problems(bool unicode) {
    const std::vector<RuleCheck> found = checks(unicode);
    std::vector<Problem> problems;
    for (std::size_t index = 0; index < found.size(); ++index) {
        if (!found[index].problem.empty()) problems.push_back({_rules[index].pattern, found[index].problem});
    }
    return problems;
}

std::optional<CompiledRules::Problem> CompiledRules::refusedInEveryMode() {
    const std::vector<RuleCheck> byteWise = checks(false);
    const auto refused = [](const RuleCheck& check) { return !check.problem.empty(); };
    if (std::none_of(byteWise.begin(), byteWise.end(), refused)) return std::nullopt;
    const std::vector<RuleCheck> characterWise = checks(true);
    for (std::size_t index = 0; index < _rules.size(); ++index) {
        if (refused(byteWise[index]) && refused(characterWise[index])) {
            return Problem{_rules[index].pattern, byteWise[index].problem};
        }
    }
    return std::nullopt;
}

void CompiledRules::requireValid(bool unicode) {
    const std::vector<Problem> found = problems(unicode);
    if (!found.empty()) throw RuleError(found.front().pattern, found.front().message);
}

CompiledRules::Borrowed CompiledRules::borrow(RewriteMode mode) {
    {
        const std::lock_guard lock(_mutex);
        std::vector<TextRewriter>& idle = _idle[slotOf(mode)];
        if (!idle.empty()) {
            TextRewriter rewriter = std::move(idle.back());
            idle.pop_back();
            return Borrowed(*this, mode, std::move(rewriter));
        }
    }
    // Every rewriter of this mode is busy (or none was made yet): one more.
    return Borrowed(*this, mode, TextRewriter(_rules, mode));
}

void CompiledRules::giveBack(RewriteMode mode, TextRewriter rewriter) noexcept {
    rewriter.resetCount();
    const std::lock_guard lock(_mutex);
    try {
        _idle[slotOf(mode)].push_back(std::move(rewriter));
    } catch (...) {
        // Out of memory: the rewriter is dropped, and the next call compiles another.
    }
}
