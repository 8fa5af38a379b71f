#pragma once

// The rewrite pass's line loop on its own, so it can be driven from memory.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "text_rewriter.h"

// Told where the content of each events Format line taken starts.
using FormatLineSink = std::function<void(std::size_t)>;

// Every line of `buffer` run through the events rewriter: the text field of each
// dialogue line that libass would take as an event substituted, every other byte
// copied. Lines end at "\r\n", "\r" or "\n", as libass splits them; each keeps its
// own end, which the rules never see, and a last line without one gains a "\n".
// The texts are rewritten as ASS dialogue texts.
std::string rewriteLines(std::string_view buffer, TextRewriter& rewriter, const FormatLineSink& formatLines);

// Where the text field of a dialogue line starts, judged by the commas of the
// events' Format line; std::string::npos when the line has too few fields.
std::size_t find_nth(const std::string& master, const std::string& word);
