#pragma once

// What a line of cleaned SubRip text is: the tests that decide where cues begin.

#include <optional>
#include <string_view>

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmedBlanks(std::string_view text);

// The first line of `rest` (without its "\n"), which is taken off `rest`;
// nullopt when `rest` is empty.
std::optional<std::string_view> takeLine(std::string_view& rest);

// Spaces and tabs only.
bool isBlankLine(std::string_view line);

// Digits with an optional sign, blanks around.
bool isWholeNumber(std::string_view line);

// A line holding "-->", or two time stamps (digits:digits:digits, then ',' or '.'
// and digits) with something between them, as in "00:00:01,000 - > 00:00:02,000".
bool isTimingLike(std::string_view line);
