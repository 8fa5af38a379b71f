#pragma once

// The rewrite pass's line loop on its own, so it can be driven from memory.

#include <string>
#include <string_view>

#include "substitution.h"

// Every line of `buffer` run through the events rewriter: the text field of each
// dialogue line substituted, every other line copied. A '\r' before a '\n' stays in
// its line; a final '\n' does not start another line. Prints the position of each
// Format line taken on standard output.
std::string rewriteLines(std::string_view buffer, Substitution& substitution);
