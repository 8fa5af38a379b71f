#include "pattern/wide_escapes.h"

#include <cstdint>

namespace {

bool isWideEscape(const PatternToken& token) {
    return token.kind == TokenKind::Escape && token.symbol == 'u' && token.number > 0x7F;
}

std::string utf8(std::int64_t codePoint) {
    const auto value = static_cast<std::uint32_t>(codePoint);
    std::string bytes;
    if (value < 0x800) {
        bytes += static_cast<char>(0xC0 | (value >> 6));
    } else {
        bytes += static_cast<char>(0xE0 | (value >> 12));
        bytes += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    }
    bytes += static_cast<char>(0x80 | (value & 0x3F));
    return bytes;
}

PatternRefused refusal(const std::string& pattern, const PatternToken& token) {
    const std::string escape = pattern.substr(token.begin, token.end - token.begin);
    const std::string character = utf8(token.number);
    return PatternRefused(std::regex_constants::error_escape,
                          "The pattern \"" + pattern + "\" has " + escape +
                              " inside a bracket class, where it would match one byte, not the character " +
                              utf8(token.number) +
                              "; write the alternatives outside the class instead, e.g. "
                              "(?:\xe3\x81\x95|\xe3\x81\x96) for [\xe3\x81\x95\xe3\x81\x96]");
}

}  // namespace

std::string spellWideEscapes(const std::string& pattern, const LexedPattern& lexed) {
    std::string spelled;
    std::size_t copied = 0;
    for (const PatternToken& token : lexed.tokens) {
        if (!isWideEscape(token)) continue;
        if (token.inClass) throw refusal(pattern, token);
        spelled.append(pattern, copied, token.begin - copied).append("(?:").append(utf8(token.number)).append(")");
        copied = token.end;
    }
    if (copied == 0) return pattern;
    return spelled.append(pattern, copied);
}
