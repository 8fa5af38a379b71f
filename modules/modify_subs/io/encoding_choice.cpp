#include "encoding_choice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "charset_detector.h"
#include "utf8_text.h"

namespace {

using namespace std::string_view_literals;

struct Mark {
    std::string_view bytes;
    std::string_view name;
};

// UTF-32 LE comes before UTF-16 LE, whose mark starts it.
constexpr std::array kMarks = {
    Mark{"\xFF\xFE\x00\x00"sv, "utf-32-le"}, Mark{"\x00\x00\xFE\xFF"sv, "utf-32-be"}, Mark{"\xEF\xBB\xBF"sv, "utf-8"},
    Mark{"\xFF\xFE"sv, "utf-16-le"},         Mark{"\xFE\xFF"sv, "utf-16-be"},
};

std::optional<Mark> markOf(std::string_view bytes) {
    for (const Mark& mark : kMarks) {
        const std::size_t unit = mark.name.starts_with("utf-32") ? 4 : 1;
        if (bytes.starts_with(mark.bytes) && bytes.size() % unit == 0) return mark;
    }
    return std::nullopt;
}

// Subtitle files are mostly ASCII (numbers, time stamps, markup), which UTF-16
// writes with a zero byte on one side of each pair; no 8-bit text has zero bytes.
std::optional<std::string> utf16ByZeros(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0) return std::nullopt;
    std::size_t evenZeros = 0;
    std::size_t oddZeros = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        evenZeros += bytes[i] == '\0';
        oddZeros += bytes[i + 1] == '\0';
    }
    const std::size_t pairs = bytes.size() / 2;
    // CJK characters put a zero on the other side now and then (U+4E00 is 00 4E).
    const auto mostly = [pairs](std::size_t zeros, std::size_t others) {
        return zeros * 4 >= pairs && others * 8 <= zeros;
    };
    if (mostly(oddZeros, evenZeros)) return "utf-16-le";
    if (mostly(evenZeros, oddZeros)) return "utf-16-be";
    return std::nullopt;
}

std::string lowerCase(std::string_view name) {
    std::string lowered(name);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

// The detector's answer as a Python codec name. It names the ISO-8859 page where
// Windows files use its superset: the Windows page decodes 0x80-0x9F as text,
// where the ISO page would make control characters of them.
std::string codecName(std::string_view detected) {
    const std::string name = lowerCase(detected);
    if (name == "iso-8859-1") return "cp1252";
    if (name == "iso-8859-9") return "cp1254";
    if (name == "iso-8859-13") return "cp1257";
    if (name == "mac-centraleurope") return "mac_latin2";
    return name;
}

}  // namespace

EncodingChoice chooseEncoding(std::string_view bytes) {
    std::size_t markLength = 0;
    if (const std::optional<Mark> mark = markOf(bytes)) {
        markLength = mark->bytes.size();
        if (mark->name != "utf-8" || isValidUtf8(bytes.substr(markLength)))
            return {std::string(mark->name), markLength, EncodingEvidence::Mark};
    }
    const std::string_view text = bytes.substr(markLength);
    if (markLength == 0) {
        if (std::optional<std::string> utf16 = utf16ByZeros(text))
            return {std::move(*utf16), 0, EncodingEvidence::Utf16Zeros};
        if (isValidUtf8(text)) return {"utf-8", 0, EncodingEvidence::Utf8};
    }
    if (std::optional<std::string> detected = detectCharset(text))
        return {codecName(*detected), markLength, EncodingEvidence::Detector};
    return {"", markLength, EncodingEvidence::NoAnswer};
}
