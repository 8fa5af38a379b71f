#pragma once

// What a line of a SubRip file is: the tests that decide where cues begin. Each
// takes a line's content without its line end.

#include <string_view>

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmedBlanks(std::string_view text);

// `text` without the blanks around it, Unicode spaces (no-break ones included)
// and byte-order marks as well as spaces and tabs.
std::string_view trimmedUnicodeBlanks(std::string_view text);

// Digits with an optional sign, blanks around.
bool isWholeNumber(std::string_view line);

// A line holding "-->", or two time stamps (digits:digits:digits, then ',' or '.'
// and digits) with something between them, as in "00:00:01,000 - > 00:00:02,000".
bool isTimingLike(std::string_view line);

// A timing-like line that also holds a time stamp: "-->" alone is text.
bool isTimingWithTime(std::string_view line);

// Two time stamps with an arrow between them ("-->", "->", "- >"), which opens a
// cue wherever it stands, even inside another cue's text.
bool isArrowTiming(std::string_view line);
