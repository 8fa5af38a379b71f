#pragma once

// Files of one text per line, each line opening with its start and end between
// brackets: MicroDVD's {start}{end} in frames, MPL2's [start][end] in tenths of a
// second. A '|' in a text is a line break; the rules see it as "\n".

#include <string_view>
#include <vector>

#include "document/text_span.h"

struct TimedLineSyntax {
    char open;
    char close;
    const char* formatName;  // for the refusal: "MicroDVD"
    // MicroDVD's first line may be {1}{1}23.976, the frame rate: no text, and kept.
    bool frameRateLine;
};

// The spans of the texts after the brackets, keyed "1", "2", ... in file order.
// Lines that don't open with the brackets are no texts and stay as they are.
// Throws SubtitleFormatError for a file with lines but none that opens so.
std::vector<TextSpan> findTimedLineSpans(std::string_view document, const TimedLineSyntax& syntax);

// Whether `line` opens with the brackets: digits in the first, digits or nothing in the second.
bool isTimedLine(std::string_view line, const TimedLineSyntax& syntax);
