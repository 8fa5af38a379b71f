#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"
#include "text/tag_runs.h"

// How a word list's rules meet a text: byte-wise or character-wise, and on the
// whole text or only on its visible runs.
struct RewriteMode {
    bool protectTags = false;
    bool unicode = false;
};

// How many texts a rewriter was given, how many of them it changed, and for each
// rule (in the order they apply) how many texts it changed at its turn.
struct RewriteCount {
    int texts = 0;
    int changed = 0;
    std::vector<int> byRule;
};

// One word list ready for many texts, in one of the modes. Without options it
// gives exactly what the byte-wise passes give.
class TextRewriter {
public:
    TextRewriter(const RuleSequence& rules, RewriteMode mode);
    TextRewriter(const ReplacementRules& words, RewriteMode mode);
    ~TextRewriter();
    TextRewriter(TextRewriter&&) noexcept;
    TextRewriter& operator=(TextRewriter&&) noexcept;

    // `tags` names the markup to protect when the mode protects tags. Taken by
    // value: without rules the text comes back as it went in, never copied.
    std::string apply(std::string text, TagSyntax tags);

    RewriteCount count() const { return _count; }
    bool hasRules() const { return _hasRules; }
    bool protectsTags() const { return _mode.protectTags; }
    // Counts texts that a reader left alone, knowing that no rule would change them.
    void countUnchanged(int texts) { _count.texts += texts; }
    void resetCount();

    // The rules that changed the last text given to apply, by their index in the
    // order they apply, each once.
    const std::vector<std::size_t>& lastChangedBy() const { return _changedBy; }

private:
    std::string rewrite(const std::string& text, TagSyntax tags);

    struct Engine;
    std::unique_ptr<Engine> _engine;
    RewriteMode _mode;
    bool _hasRules;
    std::size_t _ruleCount;
    RewriteCount _count;
    std::vector<std::size_t> _changedBy;
};
