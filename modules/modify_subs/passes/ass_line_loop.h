#pragma once

// The module's rewrite of a script in memory, line by line.

#include <string>
#include <string_view>

#include "document/ass_dialogue.h"
#include "rules/text_rewriter.h"

// `buffer` with each dialogue text (see forEachDialogueText) run through the
// rewriter as an ASS dialogue text and every other byte copied; a last line
// without a line end gains a "\n".
std::string rewriteLines(std::string_view buffer, TextRewriter& rewriter, const FormatLineSink& formatLines);
