#pragma once

// The regex engine matches bytes, so a non-ASCII character in a pattern is the
// sequence of its UTF-8 bytes: a bracket class, a repeat or a "." beside it then
// works on single bytes and can cut a character in half.

#include <string>
#include <vector>

// One sentence for each place in `pattern` that works on single bytes of a
// non-ASCII character, naming it; empty when there is none.
std::vector<std::string> patternWarnings(const std::string& pattern);
