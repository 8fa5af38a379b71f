#pragma once

// MicroDVD: {start}{end}text lines in frames, with {y:i} and {c:$BBGGRR} codes as tags.

#include <string_view>
#include <vector>

#include "document/text_span.h"
#include "document/timed_lines.h"

inline constexpr TimedLineSyntax kMicroDvdLines{'{', '}', "MicroDVD", true};

inline std::vector<TextSpan> findMicroDvdSpans(std::string_view document) {
    return findTimedLineSpans(document, kMicroDvdLines);
}
