#pragma once

// Reads a pattern the way libstdc++'s ECMAScript scanner and compiler read it,
// as one flat list of tokens. Every analysis of a pattern is a pass over these
// tokens, so they cannot disagree with each other or with the engine.

#include <string_view>

#include "pattern/pattern_token.h"

// Case-insensitive, as the rules are compiled; names of classes are looked up
// with the regex traits of the global locale, as the engine does.
LexedPattern lexPattern(std::string_view pattern);
