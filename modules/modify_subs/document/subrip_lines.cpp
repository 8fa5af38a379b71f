#include "document/subrip_lines.h"

#include <algorithm>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// find_first_of with a set calls memchr once per byte; every line of a file is read here.
std::size_t firstDigit(std::string_view text, std::size_t from) {
    while (from < text.size() && !isDigit(text[from])) ++from;
    return from < text.size() ? from : std::string_view::npos;
}

std::size_t digitsEnd(std::string_view text, std::size_t from) {
    while (from < text.size() && isDigit(text[from])) ++from;
    return from;
}

// Where the time stamp that starts at `from` ends, or npos when none starts there.
std::size_t timeStampEnd(std::string_view line, std::size_t from) {
    for (const std::string_view separators : {":", ":", ",."}) {
        const std::size_t end = digitsEnd(line, from);
        if (end == from || end == line.size() || separators.find(line[end]) == std::string_view::npos) {
            return std::string_view::npos;
        }
        from = end + 1;
    }
    const std::size_t end = digitsEnd(line, from);
    return end == from ? std::string_view::npos : end;
}

// The end of the first time stamp that starts at or after `from`, or npos. Only
// the first digit of a run can start one, as the fields take every digit.
std::size_t firstTimeStampEnd(std::string_view line, std::size_t from) {
    for (std::size_t start = firstDigit(line, from); start != std::string_view::npos;
         start = firstDigit(line, digitsEnd(line, start))) {
        if (const std::size_t end = timeStampEnd(line, start); end != std::string_view::npos) return end;
    }
    return std::string_view::npos;
}

}  // namespace

std::string_view trimmedBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view trimmedUnicodeBlanks(std::string_view text) {
    // U+00A0, U+1680, U+2000-U+200A, U+202F, U+205F, U+3000, U+FEFF in UTF-8.
    static constexpr std::string_view spaces[] = {
        "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
        "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
        "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80", "\xEF\xBB\xBF"};
    // Dialogue often ends in a quote mark or an ellipsis: the bytes at either end
    // rule out most of the spaces at once.
    const auto mayStartSpace = [](unsigned char c) { return c == 0xC2 || (c >= 0xE1 && c <= 0xE3) || c == 0xEF; };
    const auto mayEndSpace = [](unsigned char c) {
        return (c >= 0x80 && c <= 0x8A) || c == 0x9F || c == 0xA0 || c == 0xAF || c == 0xBF;
    };
    for (bool trimmed = true; trimmed;) {
        text = trimmedBlanks(text);
        if (text.empty() || (!mayStartSpace(static_cast<unsigned char>(text.front())) &&
                             !mayEndSpace(static_cast<unsigned char>(text.back())))) {
            return text;
        }
        trimmed = false;
        for (const std::string_view space : spaces) {
            if (text.starts_with(space)) text.remove_prefix(space.size()), trimmed = true;
            if (text.ends_with(space)) text.remove_suffix(space.size()), trimmed = true;
        }
    }
    return text;
}

bool isWholeNumber(std::string_view line) {
    line = trimmedBlanks(line);
    if (line.starts_with('+') || line.starts_with('-')) line.remove_prefix(1);
    return !line.empty() && std::all_of(line.begin(), line.end(), isDigit);
}

bool isTimingLike(std::string_view line) {
    if (line.find("-->") != std::string_view::npos) return true;
    const std::size_t firstEnd = firstTimeStampEnd(line, 0);
    return firstEnd != std::string_view::npos && firstTimeStampEnd(line, firstEnd + 1) != std::string_view::npos;
}

bool isTimingWithTime(std::string_view line) {
    return isTimingLike(line) && firstTimeStampEnd(line, 0) != std::string_view::npos;
}

bool isArrowTiming(std::string_view line) {
    // Every text line of a file comes here; a time stamp holds ':' and an arrow '>'.
    if (line.find(':') == std::string_view::npos || line.find('>') == std::string_view::npos) return false;
    const std::size_t firstEnd = firstTimeStampEnd(line, 0);
    if (firstEnd == std::string_view::npos || firstTimeStampEnd(line, firstEnd) == std::string_view::npos) {
        return false;
    }
    const std::size_t secondStart = firstDigit(line, firstEnd);
    const std::string_view arrow = trimmedBlanks(line.substr(firstEnd, secondStart - firstEnd));
    return arrow.starts_with('-') && arrow.ends_with('>') && std::count(arrow.begin(), arrow.end(), '>') == 1 &&
           std::all_of(arrow.begin(), arrow.end(), [](char c) { return c == '-' || c == '>' || isBlank(c); });
}
