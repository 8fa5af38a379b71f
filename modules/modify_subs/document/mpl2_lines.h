#pragma once

// MPL2: [start][end]text lines in tenths of a second; a '/' before a line is italics.

#include <string_view>
#include <vector>

#include "document/text_span.h"
#include "document/timed_lines.h"

inline constexpr TimedLineSyntax kMpl2Lines{'[', ']', "MPL2", false};

inline std::vector<TextSpan> findMpl2Spans(std::string_view document) {
    return findTimedLineSpans(document, kMpl2Lines);
}
