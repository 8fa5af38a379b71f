#include "rules/text_rewriter.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "rules/substitution.h"
#include "rules/unicode_substitution.h"

struct TextRewriter::Engine {
    std::variant<Substitution, UnicodeSubstitution> rules;

    std::string apply(const std::string& text, std::vector<std::size_t>& changedBy) {
        return std::visit([&](auto& substitution) { return substitution.apply(text, &changedBy); }, rules);
    }
};

namespace {

std::variant<Substitution, UnicodeSubstitution> engineFor(const RuleSequence& rules, bool unicode) {
    if (unicode) return UnicodeSubstitution(rules);
    return Substitution(rules);
}

}  // namespace

TextRewriter::TextRewriter(const RuleSequence& rules, RewriteMode mode)
    : _engine(std::make_unique<Engine>(Engine{engineFor(rules, mode.unicode)})),
      _mode(mode),
      _hasRules(!rules.empty()),
      _ruleCount(rules.size()) {
    resetCount();
}
TextRewriter::TextRewriter(const ReplacementRules& words, RewriteMode mode)
    : TextRewriter(inPatternOrder(words), mode) {}
TextRewriter::~TextRewriter() = default;
TextRewriter::TextRewriter(TextRewriter&&) noexcept = default;
TextRewriter& TextRewriter::operator=(TextRewriter&&) noexcept = default;

void TextRewriter::resetCount() {
    // Kept allocated: a rewriter lent to apply() is reset after every call.
    _count.texts = 0;
    _count.changed = 0;
    _count.byRule.assign(_ruleCount, 0);
}

std::string TextRewriter::apply(std::string text, TagSyntax tags) {
    ++_count.texts;
    _changedBy.clear();
    // Without rules the scan for their literals would still read every text.
    if (!_hasRules) return text;
    std::string rewritten = rewrite(text, tags);
    if (rewritten != text) ++_count.changed;
    if (!_changedBy.empty()) {
        // Each visible run is a text of its own to the rules: a rule is counted once a text.
        if (_mode.protectTags) {
            std::sort(_changedBy.begin(), _changedBy.end());
            _changedBy.erase(std::unique(_changedBy.begin(), _changedBy.end()), _changedBy.end());
        }
        for (const std::size_t rule : _changedBy) ++_count.byRule[rule];
    }
    return rewritten;
}

std::string TextRewriter::rewrite(const std::string& text, TagSyntax tags) {
    if (!_mode.protectTags || tags == TagSyntax::None) return _engine->apply(text, _changedBy);
    return rewriteVisibleRuns(text, tags, [&](const std::string& run) { return _engine->apply(run, _changedBy); });
}
