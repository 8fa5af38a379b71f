#pragma once

// The bytes that libstdc++'s std::regex, ECMAScript in the global locale and
// case-insensitive unless `ignoreCase` is false, accepts for an atom that matches one byte: `.`, \d \w \s and their
// negations, and bracket classes of bytes, ranges, class escapes and [:name:],
// worked out as its matchers do (regex_compiler.h, _AnyMatcher and _BracketMatcher).

#include <bitset>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/pattern_lexer.h"

// The same read from std::regex itself, compiled as the rules are, matching each
// byte alone: exact for any one-byte atom, but slow.
std::bitset<256> askedByteSet(const std::string& atom, bool ignoreCase = true);

// tokens[first, last] of `pattern` is the atom: one token, or a class from ClassOpen
// to ClassClose. Nothing for what is not worked out here ([=e=], [.a.]): ask
// std::regex then.
std::optional<std::bitset<256>> singleByteSet(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                              std::size_t first, std::size_t last, bool ignoreCase = true);
