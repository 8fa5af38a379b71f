#include "pattern/pattern_escape.h"

#include <algorithm>
#include <string_view>

namespace {

using std::regex_constants::error_escape;

int hexValue(char c) {
    if (isAsciiDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The single-letter escapes of the engine's table; "\b" is one only in a class.
std::optional<char> controlEscape(char letter, bool inClass) {
    switch (letter) {
        case '0':
            return '\0';
        case 'b':
            return inClass ? std::optional<char>('\b') : std::nullopt;
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case 'v':
            return '\v';
        default:
            return std::nullopt;
    }
}

bool readHexDigits(std::string_view pattern, PatternToken& token, int count) {
    for (int i = 0; i < count; ++i, ++token.end) {
        if (token.end >= pattern.size() || hexValue(pattern[token.end]) < 0) return false;
        token.number = token.number * 16 + hexValue(pattern[token.end]);
    }
    token.byte = static_cast<char>(token.number);
    return true;
}

void setKind(PatternToken& token, TokenKind kind, char byte = 0) {
    token.kind = kind;
    token.byte = byte;
}

}  // namespace

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

std::int64_t readNumber(std::string_view pattern, std::size_t& pos) {
    std::int64_t value = 0;
    for (; pos < pattern.size() && isAsciiDigit(pattern[pos]); ++pos) {
        value = std::min(value * 10 + (pattern[pos] - '0'), kNumberCap);
    }
    return value;
}

EscapeRead readEscape(std::string_view pattern, std::size_t backslash, bool inClass) {
    EscapeRead read;
    PatternToken& token = read.token;
    token.begin = backslash;
    token.end = backslash + 2;
    token.inClass = inClass;
    if (backslash + 1 >= pattern.size()) return {token, LexError{backslash, error_escape}};
    const char letter = pattern[backslash + 1];
    token.symbol = letter;
    if (const std::optional<char> control = controlEscape(letter, inClass)) {
        setKind(token, TokenKind::Escape, *control);
    } else if (letter == 'b' || letter == 'B') {
        setKind(token, TokenKind::Anchor);
    } else if (std::string_view("dDsSwW").find(letter) != std::string_view::npos) {
        setKind(token, TokenKind::ClassEscape);
    } else if (letter == 'c') {
        // The engine takes the next byte as it is, whatever it is.
        if (token.end >= pattern.size()) return {token, LexError{backslash, error_escape}};
        setKind(token, TokenKind::Escape, pattern[token.end++]);
    } else if (letter == 'x' || letter == 'u') {
        setKind(token, TokenKind::Escape);
        if (!readHexDigits(pattern, token, letter == 'x' ? 2 : 4)) return {token, LexError{backslash, error_escape}};
    } else if (isAsciiDigit(letter)) {
        setKind(token, TokenKind::BackReference);
        token.end = backslash + 1;
        token.number = readNumber(pattern, token.end);
    } else {
        setKind(token, TokenKind::Escape, letter);
    }
    return read;
}
