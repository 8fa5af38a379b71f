#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pattern/pattern_lexer.h"

// True when the pattern is non-empty and every byte stands for itself: no ECMAScript
// syntax character and no NUL. Such a pattern always compiles.
bool isPlainLiteral(const LexedPattern& lexed);
bool isPlainLiteral(std::string_view pattern);

// Literals of which every match of the (valid) ECMAScript pattern contains at least
// one, compared byte by byte under the regex's case folding. Empty when none is
// found or the pattern does not compile; then no text may be skipped for it.
std::vector<std::string> requiredLiterals(const LexedPattern& lexed);
std::vector<std::string> requiredLiterals(std::string_view pattern);
