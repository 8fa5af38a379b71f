#pragma once

#include <memory>
#include <string>

#include "rules/replacement_rules.h"
#include "text/tag_runs.h"

// How a word list's rules meet a text: byte-wise or character-wise, and on the
// whole text or only on its visible runs.
struct RewriteMode {
    bool protectTags = false;
    bool unicode = false;
};

// How many texts a rewriter was given, and how many of them it changed.
struct RewriteCount {
    int texts = 0;
    int changed = 0;
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
    // Counts texts that a reader left alone, knowing that no rule would change them.
    void countUnchanged(int texts) { _count.texts += texts; }
    void resetCount() { _count = {}; }

private:
    std::string rewrite(const std::string& text, TagSyntax tags);

    struct Engine;
    std::unique_ptr<Engine> _engine;
    RewriteMode _mode;
    bool _hasRules;
    RewriteCount _count;
};
