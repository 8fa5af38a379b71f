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

#include "rules/text_rewriter.h"
#include "rules/word_list.h"

class CompiledRules {
public:
    explicit CompiledRules(WordList words) : _words(std::move(words)) {}
    CompiledRules(const CompiledRules&) = delete;
    CompiledRules& operator=(const CompiledRules&) = delete;

    const WordList& words() const { return _words; }

    // The patterns in the order the rules apply, which is what a rule's index in a
    // RewriteCount or a change's rules refers to.
    std::vector<std::string> patterns() const;

    // Each pattern that the engine of the mode refuses, with the engine's message,
    // in the order the rules apply. Each engine judges the list once.
    struct Problem {
        std::string pattern;
        std::string message;
    };
    std::vector<Problem> problems(bool unicode);

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

    const WordList _words;
    std::mutex _mutex;
    std::array<std::optional<std::vector<Problem>>, 2> _problems;  // byte-wise, character-wise
    std::array<std::vector<TextRewriter>, 4> _idle;
};
