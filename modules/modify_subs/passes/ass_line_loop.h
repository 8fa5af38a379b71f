#pragma once

// The rewrite pass's line loop on its own, so it can be driven from memory.

#include <cstddef>
#include <string>
#include <string_view>

#include "substitution.h"

// Every line of `buffer` run through the events rewriter: the text field of each
// dialogue line that libass would take as an event substituted, every other byte
// copied. Lines end at "\r\n", "\r" or "\n", as libass splits them; each keeps its
// own end, which the rules never see, and a last line without one gains a "\n".
// Prints the position of each Format line taken on standard output.
std::string rewriteLines(std::string_view buffer, Substitution& substitution);

// Where the text field of a dialogue line starts, judged by the commas of the
// events' Format line; std::string::npos when the line has too few fields.
std::size_t find_nth(const std::string& master, const std::string& word);
