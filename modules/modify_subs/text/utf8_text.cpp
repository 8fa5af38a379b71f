#include "text/utf8_text.h"

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence at the start of `text`, or 0. The
// second byte's range excludes overlong forms, surrogates and code points above
// U+10FFFF.
std::size_t sequenceLength(std::string_view text) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byteAt(1) < low || byteAt(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byteAt(i))) return 0;
    }
    return length;
}

constexpr char32_t kReplacementCharacter = 0xFFFD;

}  // namespace

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string withValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            valid.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return valid;
}

std::optional<std::string> utf8FromUtf16(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    bool littleEndian;
    if (byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        littleEndian = true;
    } else if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        littleEndian = false;
    } else {
        return std::nullopt;
    }
    const auto unitAt = [&](std::size_t i) -> char32_t {
        return littleEndian ? byteAt(i) | byteAt(i + 1) << 8 : byteAt(i) << 8 | byteAt(i + 1);
    };
    std::string text;
    text.reserve(bytes.size() * 3 / 2);
    std::size_t i = 2;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 3 < bytes.size() && unitAt(i + 2) >= 0xDC00 && unitAt(i + 2) <= 0xDFFF) {
            appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00));
            i += 2;
        } else {
            appendUtf8(text, high || low ? kReplacementCharacter : unit);
        }
    }
    if (i < bytes.size()) appendUtf8(text, kReplacementCharacter);
    return text;
}

static_assert(sizeof(wchar_t) == 4, "a wchar_t must hold any code point");

std::optional<char32_t> takeCharacter(std::string_view& text) {
    const std::size_t length = text.empty() ? 0 : sequenceLength(text);
    if (length == 0) return std::nullopt;
    const auto lead = static_cast<unsigned char>(text[0]);
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) codePoint = codePoint << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
    text.remove_prefix(length);
    return codePoint;
}

std::optional<std::wstring> wideFromUtf8(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    while (!text.empty()) {
        const std::optional<char32_t> character = takeCharacter(text);
        if (!character) return std::nullopt;
        wide += static_cast<wchar_t>(*character);
    }
    return wide;
}

std::string utf8FromWide(std::wstring_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const wchar_t c : text) {
        const auto codePoint = static_cast<char32_t>(c);
        const bool isCharacter = codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
        appendUtf8(utf8, isCharacter ? codePoint : kReplacementCharacter);
    }
    return utf8;
}
