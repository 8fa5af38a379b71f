#include "text/utf16_text.h"

namespace {

void appendCodePoint(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | codePoint >> 6);
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | codePoint >> 12);
        text += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | codePoint >> 18);
        text += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

void appendUnit(std::string& bytes, char32_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
}

// The code point at the start of `text` in the shortest form UTF-8 gives it,
// surrogates included, which is taken off `text`; nullopt when none starts there.
std::optional<char32_t> takeCodePoint(std::string_view& text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || text.size() < length) return std::nullopt;
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    static constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < shortest[length] || codePoint > 0x10FFFF) return std::nullopt;
    text.remove_prefix(length);
    return codePoint;
}

}  // namespace

std::optional<DecodedUtf16> decodeMarkedUtf16(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    DecodedUtf16 decoded;
    if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        decoded.form.bigEndian = true;
    } else if (byteAt(0) != 0xFF || byteAt(1) != 0xFE) {
        return std::nullopt;
    }
    const auto unitAt = [&](std::size_t i) -> char32_t {
        return decoded.form.bigEndian ? byteAt(i) << 8 | byteAt(i + 1) : byteAt(i) | byteAt(i + 1) << 8;
    };
    const auto isLow = [](char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    decoded.text.reserve(bytes.size() * 3 / 2);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size() && isLow(unitAt(i + 2))) {
            appendCodePoint(decoded.text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00));
            i += 2;
        } else {
            appendCodePoint(decoded.text, unit);
        }
    }
    decoded.form.oddByte = bytes.substr(i);
    return decoded;
}

std::optional<std::string> encodeUtf16(std::string_view text, const Utf16Form& form) {
    std::string bytes;
    bytes.reserve(text.size() * 2 + form.oddByte.size());
    while (!text.empty()) {
        const std::optional<char32_t> codePoint = takeCodePoint(text);
        if (!codePoint) return std::nullopt;
        if (*codePoint < 0x10000) {
            appendUnit(bytes, *codePoint, form.bigEndian);
        } else {
            appendUnit(bytes, 0xD800 + ((*codePoint - 0x10000) >> 10), form.bigEndian);
            appendUnit(bytes, 0xDC00 + ((*codePoint - 0x10000) & 0x3FF), form.bigEndian);
        }
    }
    return bytes + form.oddByte;
}
