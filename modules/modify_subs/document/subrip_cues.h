#pragma once

// The cues of a SubRip file, found line by line in the file's own bytes, so that
// one reading serves both the module's cue list and the lossless document.
//
// A cue opens at a timing line: one led by a whole-number line (blank lines may
// stand between them), one that starts a paragraph and holds a time stamp, or
// one with two time stamps around an arrow, wherever it stands. Every other line
// is text of the cue before it; text before the first cue is a cue numbered 0
// without a timing line. Blank lines right after a timing line, and those at the
// very end of the file after a cue's text, are text too.

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "document/line_cursor.h"

// Consecutive text lines: from the first one's start to the last one's content end.
struct LineRun {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct SubRipCue {
    int number = 0;                    // as read, or the previous cue's + 1
    std::optional<SourceLine> timing;  // none for text before the first cue
    std::vector<LineRun> text;         // in file order; the blank lines between runs are no text
    std::size_t textAt = 0;            // where a cue without text lines would have its first one
};

// With `unicodeBlanks`, a cue number may stand among Unicode spaces ("2\u00a0").
std::vector<SubRipCue> readSubRipCues(std::string_view document, bool unicodeBlanks = false);

// The same cues handed to `each` one by one as each is complete, none kept: a large
// file's reader holds one cue at a time.
void forEachSubRipCue(std::string_view document, const std::function<void(SubRipCue&&)>& each,
                      bool unicodeBlanks = false);
