#include "rules/replacement_rules.h"

#include <string_view>

namespace {

std::string escapedLiteral(const std::string& pattern) {
    constexpr std::string_view syntax = "\\^$.*+?()[]{}|/";
    std::string escaped;
    escaped.reserve(pattern.size() * 2);
    for (const char c : pattern) {
        if (c == '\0') {
            escaped += "\\x00";  // "\0" would take a digit after it along
        } else {
            if (syntax.find(c) != std::string_view::npos) escaped += '\\';
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::string ReplacementRule::compiledPattern() const {
    std::string compiled = literal ? escapedLiteral(pattern) : pattern;
    if (!word) return compiled;
    // ECMAScript has no lookbehind: "no word character before" is a boundary where a
    // word character follows, and none where none does.
    return "(?:(?=\\w)\\b|(?!\\w)\\B)(?:" + compiled + ")(?!\\w)";
}

RuleSequence inPatternOrder(const ReplacementRules& words) {
    RuleSequence rules;
    rules.reserve(words.size());
    for (const auto& [pattern, replacement] : words) rules.push_back({pattern, replacement});
    return rules;
}
