#include "rules/compiled_rules.h"

#include <stdexcept>

#include "rules/rule_check.h"
#include "rules/rule_error.h"
#include "stack/large_stack.h"

std::vector<std::string> CompiledRules::patterns() const {
    std::vector<std::string> patterns;
    patterns.reserve(_words.size());
    for (const auto& [pattern, replacement] : _words) patterns.push_back(pattern);
    return patterns;
}

std::vector<CompiledRules::Problem> CompiledRules::problems(bool unicode) {
    const std::lock_guard lock(_mutex);
    std::optional<std::vector<Problem>>& problems = _problems[unicode ? 1 : 0];
    if (!problems) {
        // One engine compiling the whole list is the common verdict, and the first
        // call in this mode keeps it; only a list it refuses is judged rule by rule.
        const RewriteMode mode{false, unicode};
        std::optional<TextRewriter> whole = onLargeStack([&]() -> std::optional<TextRewriter> {
            try {
                TextRewriter rewriter(_words, mode);
                rewriter.apply("", TagSyntax::None);
                rewriter.resetCount();
                return rewriter;
            } catch (const std::runtime_error&) {
                return std::nullopt;
            }
        });
        std::vector<Problem> found;
        if (whole) {
            _idle[slotOf(mode)].push_back(std::move(*whole));
        } else {
            for (RuleCheck& check : checkRules(_words, unicode)) {
                if (!check.problem.empty()) found.push_back({std::move(check.pattern), std::move(check.problem)});
            }
        }
        problems = std::move(found);
    }
    return *problems;
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
    return Borrowed(*this, mode, TextRewriter(_words, mode));
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
