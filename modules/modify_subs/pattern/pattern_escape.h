#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "pattern/pattern_token.h"

struct EscapeRead {
    PatternToken token;
    std::optional<LexError> error;
};

// The escape whose backslash is at `backslash`, read as the engine reads it inside
// or outside a bracket class; `token.end` is where reading goes on.
EscapeRead readEscape(std::string_view pattern, std::size_t backslash, bool inClass);

// The decimal number at `pos`, capped at kNumberCap; `pos` ends past its digits.
std::int64_t readNumber(std::string_view pattern, std::size_t& pos);

bool isAsciiDigit(char c);
