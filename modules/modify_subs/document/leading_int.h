#pragma once

#include <cctype>
#include <climits>
#include <cstdint>
#include <string_view>

// The leading decimal integer of `text` by the C atoi rules (leading white space,
// an optional sign, digits up to the first non-digit, 0 when there are none), but
// clamped to the range of int where atoi would overflow.
inline int leadingInt(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    std::int64_t magnitude = 0;
    for (; position < text.size() && std::isdigit(static_cast<unsigned char>(text[position])); ++position) {
        magnitude = magnitude * 10 + (text[position] - '0');
        if (magnitude > std::int64_t{INT_MAX} + 1) magnitude = std::int64_t{INT_MAX} + 1;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}
