#pragma once

#include <cstddef>
#include <optional>
#include <regex>
#include <string_view>
#include <vector>

#include "pattern/pattern_token.h"

// Reads the bracket class whose '[' is at `pos` into `tokens`, from ClassOpen to
// ClassClose, checking it as the engine's bracket grammar does. `pos` ends past
// the class; an error says where the engine would refuse it.
std::optional<LexError> readBracket(std::string_view pattern, std::size_t& pos, std::vector<PatternToken>& tokens,
                                    const std::regex_traits<char>& traits);
