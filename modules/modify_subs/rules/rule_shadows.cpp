#include "rules/rule_shadows.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "pattern/pattern_lexer.h"
#include "pattern/pattern_literals.h"

namespace {

bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == '_' || (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
}

std::string folded(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// No occurrences of two of `texts` (or of one twice) overlap: no proper suffix of one
// begins another, and none holds another.
bool overlapsNever(const std::vector<std::string>& texts) {
    for (const std::string& one : texts) {
        for (const std::string& other : texts) {
            if (&one != &other && other.find(one) != std::string::npos) return false;
            for (std::size_t length = 1; length < one.size(); ++length) {
                if (other.starts_with(std::string_view(one).substr(one.size() - length))) return false;
            }
        }
    }
    return true;
}

// What an earlier rule surely rewrites: every occurrence of each of `literals`
// (folded), and with `afterWord` only those right after a word character.
struct Rewritten {
    std::vector<std::string> literals;
    bool afterWord = false;
};

bool isLiteralToken(const PatternToken& token) {
    return token.kind == TokenKind::Byte && token.byte != '\0' && token.byte != ']' && token.byte != '}';
}

// Bounds the alternatives a pattern such as "(a|b)(c|d)(e|f)" multiplies into.
constexpr std::size_t kMaxChoices = 64;

// The texts tokens [begin, end) match when they are literal bytes, alternations and
// groups of them, without quantifiers ("-(san|chan)"); none when anything else.
std::optional<std::vector<std::string>> literalChoices(const std::vector<PatternToken>& tokens, std::size_t begin,
                                                       std::size_t end) {
    std::vector<std::string> all;
    std::vector<std::string> branch{""};
    for (std::size_t at = begin; at <= end; ++at) {
        if (at == end || tokens[at].kind == TokenKind::Alternation) {
            all.insert(all.end(), branch.begin(), branch.end());
            branch = {""};
            continue;
        }
        const PatternToken& token = tokens[at];
        std::vector<std::string> parts;
        if (isLiteralToken(token)) {
            parts = {std::string(1, token.byte)};
        } else if (token.kind == TokenKind::GroupOpen &&
                   (token.group == GroupKind::Capturing || token.group == GroupKind::NonCapturing)) {
            std::optional<std::vector<std::string>> inner = literalChoices(tokens, at + 1, token.partner);
            if (!inner) return std::nullopt;
            parts = std::move(*inner);
            at = token.partner;
        } else {
            return std::nullopt;
        }
        if (at + 1 < end && tokens[at + 1].kind == TokenKind::Quantifier) return std::nullopt;
        std::vector<std::string> joined;
        for (const std::string& head : branch) {
            for (const std::string& tail : parts) joined.push_back(head + tail);
        }
        if (joined.size() > kMaxChoices) return std::nullopt;
        branch = std::move(joined);
    }
    if (all.size() > kMaxChoices) return std::nullopt;
    return all;
}

std::optional<Rewritten> rewrittenBy(const ReplacementRule& rule) {
    if (rule.letterCase == LetterCase::Sensitive || rule.word) return std::nullopt;
    const std::string pattern = rule.compiledPattern();
    const LexedPattern lexed = lexPattern(pattern);
    if (!lexed.valid() || !isAscii(pattern)) return std::nullopt;
    const std::vector<PatternToken>& tokens = lexed.tokens;
    std::size_t first = 0;
    bool grouped = false;
    const auto wordRun = [&](std::size_t at) {
        return at + 1 < tokens.size() && tokens[at].kind == TokenKind::ClassEscape && tokens[at].symbol == 'w' &&
               tokens[at + 1].kind == TokenKind::Quantifier && tokens[at + 1].symbol == '+' && !tokens[at + 1].lazy;
    };
    if (wordRun(0)) {
        first = 2;
    } else if (tokens.size() > 3 && tokens[0].kind == TokenKind::GroupOpen && tokens[0].group == GroupKind::Capturing &&
               wordRun(1) && tokens[3].kind == TokenKind::GroupClose) {
        first = 4;
        grouped = true;
    }
    std::optional<std::vector<std::string>> literals = literalChoices(tokens, first, tokens.size());
    if (!literals) return std::nullopt;
    for (std::string& literal : *literals) {
        literal = folded(literal);
        // After \w+ a literal that starts with a word character would be eaten by it.
        if (literal.empty() || (first > 0 && isWordByte(literal.front()))) return std::nullopt;
    }
    if (!overlapsNever(*literals)) return std::nullopt;
    // A replacement that gives back what was matched, or the text around it, keeps it.
    const std::string& replacement = rule.replacement;
    for (std::size_t at = replacement.find('$'); at != std::string::npos; at = replacement.find('$', at + 2)) {
        if (!grouped || replacement.compare(at, 2, "$1") != 0 ||
            (at + 2 < replacement.size() && replacement[at + 2] >= '0' && replacement[at + 2] <= '9')) {
            return std::nullopt;
        }
    }
    return Rewritten{std::move(*literals), first > 0};
}

// Whether every occurrence of `literal` holds an occurrence of one of the earlier
// rule's literals that the earlier rule matches.
bool covers(const Rewritten& rewritten, std::string_view literal) {
    for (const std::string& part : rewritten.literals) {
        for (std::size_t at = literal.find(part); at != std::string_view::npos; at = literal.find(part, at + 1)) {
            if (!rewritten.afterWord) return true;
            // \w+ takes the word before it, unless an earlier match of the same rule
            // ends there, in a literal's last byte; one ending later would overlap this one.
            const auto endsMatch = [&](const std::string& other) { return literal[at - 1] == other.back(); };
            if (at > 0 && isWordByte(literal[at - 1]) &&
                std::none_of(rewritten.literals.begin(), rewritten.literals.end(), endsMatch)) {
                return true;
            }
        }
    }
    return false;
}

// Whether `replacement` (folded) writes one of the literals again.
bool writesAgain(const Rewritten& rewritten, const std::string& replacement) {
    return std::any_of(rewritten.literals.begin(), rewritten.literals.end(),
                       [&](const std::string& literal) { return replacement.find(literal) != std::string::npos; });
}

}  // namespace

std::vector<std::optional<std::size_t>> shadowingRules(const RuleSequence& rules) {
    // Each rule's literals and folded replacement once: a list of a thousand rules
    // compares every pair.
    std::vector<std::vector<std::string>> literals;
    std::vector<std::string> replacements;
    for (const ReplacementRule& rule : rules) {
        std::vector<std::string> found = requiredLiterals(rule.compiledPattern());
        const bool ascii = std::all_of(found.begin(), found.end(), [](const auto& l) { return isAscii(l); });
        for (std::string& literal : found) literal = folded(literal);
        literals.push_back(ascii ? std::move(found) : std::vector<std::string>{});
        replacements.push_back(folded(rule.replacement));
    }
    std::vector<std::optional<std::size_t>> shadows(rules.size());
    for (std::size_t earlier = 0; earlier < rules.size(); ++earlier) {
        const std::optional<Rewritten> rewritten = rewrittenBy(rules[earlier]);
        if (!rewritten) continue;
        for (std::size_t later = earlier + 1; later <= rules.size(); ++later) {
            // A replacement from the earlier rule's on that writes the literal again lifts the shadow.
            if (writesAgain(*rewritten, replacements[later - 1])) break;
            if (later == rules.size() || shadows[later] || literals[later].empty()) continue;
            const bool covered = std::all_of(literals[later].begin(), literals[later].end(),
                                             [&](const std::string& literal) { return covers(*rewritten, literal); });
            if (covered) shadows[later] = earlier;
        }
    }
    return shadows;
}
