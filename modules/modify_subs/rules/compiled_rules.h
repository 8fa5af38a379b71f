#pragma once

// A word list compiled once and shared by every call that uses it, from any
// thread: each call borrows a rewriter of its own, compiled by an earlier call in
// the same mode whenever one is free, and gives it back when done.

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rules/replacement_rules.h"
#include "rules/rule_check.h"
#include "rules/text_rewriter.h"

class CompiledRules {
public:
    explicit CompiledRules(RuleSequence rules) : _rules(std::move(rules)) {}
    explicit CompiledRules(const ReplacementRules& words) : _rules(inPatternOrder(words)) {}
    CompiledRules(const CompiledRules&) = delete;
    CompiledRules& operator=(const CompiledRules&) = delete;

    const RuleSequence& rules() const { return _rules; }

    // The patterns in the order the rules apply, which is what a rule's index in a
    // RewriteCount or a change's rules refers to.
    std::vector<std::string> patterns() const;

    // Every rule's verdict in the mode (rule_check.h), in the order the rules apply.
    // Each engine judges the list once.
    std::vector<RuleCheck> checks(bool unicode);

    // Each pattern that the engine of the mode refuses, with the engine's message.
    struct Problem {
        std::string pattern;
        std::string message;
    };
    std::vector<Problem> problems(bool unicode);

    // The first rule that neither mode takes: such a list is no list in any mode.
    // Only a list refused byte-wise is judged character-wise.
    std::optional<Problem> refusedInEveryMode();

    // Throws RuleError for the first of the problems.
    void requireValid(bool unicode);

    // A rewriter lent for one call, its count starting at zero.
    class Borrowed {
    public:
        Borrowed(CompiledRules& owner, RewriteMode mode, TextRewriter rewriter)
            : _owner(owner), _mode(mode), _rewriter(std::move(rewriter)) {}
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        ~Borrowed() { _owner.giveBack(_mode, std::move(*_rewriter)); }

        TextRewriter& operator*() { return *_rewriter; }
        TextRewriter* operator->() { return &*_rewriter; }

    private:
        CompiledRules& _owner;
        RewriteMode _mode;
        std::optional<TextRewriter> _rewriter;
    };

    Borrowed borrow(RewriteMode mode);

private:
    static std::size_t slotOf(RewriteMode mode) { return (mode.protectTags ? 2 : 0) + (mode.unicode ? 1 : 0); }
    void giveBack(RewriteMode mode, TextRewriter rewriter) noexcept;

    const RuleSequence _rules;
    std::mutex _mutex;
    std::array<std::optional<std::vector<RuleCheck>>, 2> _checks;  // byte-wise, character-wise
    std::array<std::vector<TextRewriter>, 4> _idle;
};
