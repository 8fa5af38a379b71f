#include "rules/text_rewriter.h"

#include <utility>
#include <variant>

#include "rules/substitution.h"
#include "rules/unicode_substitution.h"

struct TextRewriter::Engine {
    std::variant<Substitution, UnicodeSubstitution> rules;

    std::string apply(const std::string& text) {
        return std::visit([&](auto& substitution) { return substitution.apply(text); }, rules);
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
      _hasRules(!rules.empty()) {}
TextRewriter::TextRewriter(const ReplacementRules& words, RewriteMode mode)
    : TextRewriter(inPatternOrder(words), mode) {}
TextRewriter::~TextRewriter() = default;
TextRewriter::TextRewriter(TextRewriter&&) noexcept = default;
TextRewriter& TextRewriter::operator=(TextRewriter&&) noexcept = default;

std::string TextRewriter::apply(std::string text, TagSyntax tags) {
    ++_count.texts;
    // Without rules the scan for their literals would still read every text.
    if (!_hasRules) return text;
    std::string rewritten = rewrite(text, tags);
    if (rewritten != text) ++_count.changed;
    return rewritten;
}

std::string TextRewriter::rewrite(const std::string& text, TagSyntax tags) {
    if (!_mode.protectTags || tags == TagSyntax::None) return _engine->apply(text);
    return rewriteVisibleRuns(text, tags, [&](const std::string& run) { return _engine->apply(run); });
}
