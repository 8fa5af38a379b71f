#include "pattern/pattern_warnings.h"

#include <algorithm>
#include <string_view>

#include "pattern/pattern_lexer.h"

namespace {

// A stretch of the pattern as the warnings see it: a non-ASCII character made of
// one or more byte tokens, or a single other token.
struct Unit {
    const PatternToken* first = nullptr;
    std::string character;  // empty unless a non-ASCII character
};

bool isByteToken(const PatternToken& token) { return token.kind == TokenKind::Byte || token.kind == TokenKind::Escape; }

bool isNonAscii(char byte) { return static_cast<unsigned char>(byte) >= 0x80; }

bool isContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

std::vector<Unit> unitsOf(const std::vector<PatternToken>& tokens) {
    std::vector<Unit> units;
    for (std::size_t index = 0; index < tokens.size(); ++index) {
        const PatternToken& token = tokens[index];
        Unit unit{&token, ""};
        if (isByteToken(token) && isNonAscii(token.byte)) {
            unit.character += token.byte;
            while (index + 1 < tokens.size() && isByteToken(tokens[index + 1]) &&
                   tokens[index + 1].inClass == token.inClass && isContinuation(tokens[index + 1].byte)) {
                unit.character += tokens[++index].byte;
            }
        }
        units.push_back(std::move(unit));
    }
    return units;
}

bool isKind(const Unit* unit, TokenKind kind) { return unit != nullptr && unit->first->kind == kind; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string inClassWarning(std::string_view character) {
    return quoted(character) + " inside a bracket class matches any one of its " + std::to_string(character.size()) +
           " UTF-8 bytes, not the character; use an alternation (?:" + std::string(character) + "|...) instead";
}

std::string repeatWarning(std::string_view repeat, std::string_view character) {
    return quoted(repeat) + " after " + quoted(character) + " repeats only the last of its " +
           std::to_string(character.size()) + " UTF-8 bytes; group the character: (?:" + std::string(character) + ")" +
           std::string(repeat);
}

std::string dotWarning(std::string_view character) {
    return "\".\" next to " + quoted(character) +
           " matches a single byte, not a character, so it can match half of a non-ASCII character";
}

std::string sentence(const ByteWiseWarning& warning) {
    switch (warning.kind) {
        case ByteWiseWarning::Kind::InClass:
            return inClassWarning(warning.character);
        case ByteWiseWarning::Kind::Repeated:
            return repeatWarning(warning.quantifier, warning.character);
        case ByteWiseWarning::Kind::NextToAnyByte:
            break;
    }
    return dotWarning(warning.character);
}

}  // namespace

std::vector<ByteWiseWarning> byteWiseWarnings(const std::string& pattern) {
    const LexedPattern lexed = lexPattern(pattern);
    const std::vector<Unit> units = unitsOf(lexed.tokens);
    std::vector<ByteWiseWarning> warnings;
    const auto warn = [&](ByteWiseWarning warning) {
        if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end()) warnings.push_back(warning);
    };
    using Kind = ByteWiseWarning::Kind;
    for (std::size_t index = 0; index < units.size(); ++index) {
        const Unit& unit = units[index];
        if (unit.character.empty()) continue;
        if (unit.first->inClass) {
            warn({Kind::InClass, unit.character, ""});
            continue;
        }
        const Unit* before = index > 0 ? &units[index - 1] : nullptr;
        const Unit* after = index + 1 < units.size() ? &units[index + 1] : nullptr;
        if (isKind(after, TokenKind::Quantifier)) {
            const PatternToken& quantifier = *after->first;
            warn({Kind::Repeated, unit.character, pattern.substr(quantifier.begin, quantifier.end - quantifier.begin)});
        }
        if (isKind(before, TokenKind::AnyByte) || isKind(after, TokenKind::AnyByte)) {
            warn({Kind::NextToAnyByte, unit.character, ""});
        }
    }
    return warnings;
}

std::vector<std::string> patternWarnings(const std::string& pattern) {
    std::vector<std::string> sentences;
    for (const ByteWiseWarning& warning : byteWiseWarnings(pattern)) sentences.push_back(sentence(warning));
    return sentences;
}
