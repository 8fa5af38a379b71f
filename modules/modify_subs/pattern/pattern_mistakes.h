#pragma once

// Mistakes a pattern shows before it runs: habits of other regex dialects, which
// the engine refuses with a message that does not say why, and a pattern that can
// match an empty text wherever it stands.

#include <string>
#include <string_view>

#include "pattern/pattern_token.h"

// One sentence with the fix for a pattern the engine refuses at a construct of another
// dialect (inline flags, lookbehind, named groups); "" for any other pattern.
std::string foreignSyntaxHint(std::string_view pattern);

// Whether the valid pattern can match an empty text with no anchor, boundary or
// lookahead deciding where: it then matches between every two characters.
bool matchesEmptyAnywhere(const LexedPattern& lexed);

// The pattern's capture groups, as "$1"... count them.
int captureGroups(const LexedPattern& lexed);
