#include "pattern/pattern_mistakes.h"

#include <algorithm>
#include <string_view>

#include "pattern/pattern_lexer.h"

namespace {

constexpr std::string_view kDialect =
    "patterns are ECMAScript, matched without regard to case unless the rule says \"case\": \"sensitive\", "
    "and have no lookbehind or named groups";

using Tokens = std::vector<PatternToken>;

bool emptyAnywhere(const Tokens& tokens, std::size_t begin, std::size_t end);

// One item of a sequence (an atom and its quantifiers) from `at`; returns where the
// next starts and whether this one can match empty without an assertion.
std::size_t item(const Tokens& tokens, std::size_t at, std::size_t end, bool& empty) {
    const PatternToken& token = tokens[at];
    std::size_t next = at + 1;
    empty = false;
    if (token.kind == TokenKind::GroupOpen) {
        next = token.partner + 1;
        const bool assertion = token.group == GroupKind::Lookahead || token.group == GroupKind::NegativeLookahead;
        empty = !assertion && emptyAnywhere(tokens, at + 1, token.partner);
    } else if (token.kind == TokenKind::ClassOpen) {
        while (next < end && tokens[next - 1].kind != TokenKind::ClassClose) ++next;
    }
    // Anchors and back-references stay false: they decide where, or need their group.
    while (next < end && tokens[next].kind == TokenKind::Quantifier) {
        if (tokens[next].least == 0 && token.kind != TokenKind::Anchor) empty = true;
        ++next;
    }
    return next;
}

bool emptyAnywhere(const Tokens& tokens, std::size_t begin, std::size_t end) {
    bool branchEmpty = true;
    for (std::size_t at = begin; at < end;) {
        if (tokens[at].kind == TokenKind::Alternation) {
            if (branchEmpty) return true;
            branchEmpty = true;
            ++at;
            continue;
        }
        bool empty = false;
        at = item(tokens, at, end, empty);
        branchEmpty = branchEmpty && empty;
    }
    return branchEmpty;
}

}  // namespace

std::string foreignSyntaxHint(std::string_view pattern) {
    const LexedPattern lexed = lexPattern(pattern);
    if (!lexed.error || lexed.error->code != std::regex_constants::error_paren) return "";
    const std::string_view rest = pattern.substr(lexed.error->position);
    if (!rest.starts_with("(?") || rest.size() < 3) return "";
    const std::string dialect(kDialect);
    if (rest.starts_with("(?<=") || rest.starts_with("(?<!")) {
        return dialect + ": match the text before as a group and write it back with $1";
    }
    if (rest[2] == '<' || rest[2] == 'P') return dialect + ": use a numbered group ( ) and $1 in the replacement";
    if (std::string_view("aiLmsux-^").find(rest[2]) != std::string_view::npos) {
        return dialect + ": remove the inline flags \"" + std::string(rest.substr(0, rest.find_first_of(":)") + 1)) +
               "\"";
    }
    return dialect;
}

bool matchesEmptyAnywhere(const LexedPattern& lexed) {
    return lexed.valid() && emptyAnywhere(lexed.tokens, 0, lexed.tokens.size());
}

int captureGroups(const LexedPattern& lexed) {
    return static_cast<int>(std::count_if(lexed.tokens.begin(), lexed.tokens.end(), [](const PatternToken& token) {
        return token.kind == TokenKind::GroupOpen && token.group == GroupKind::Capturing;
    }));
}
