#pragma once

// The texts of a TTML (DFXP) file: each <p>'s content, found by expat, which
// reports where each piece of the document stands. Element names are matched by
// their local part, so any prefix (<tt:p>) or default namespace reads the same.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_span.h"

// The spans of the paragraphs, keyed "1", "2", ... in document order. The text is
// read as UTF-8 whatever the encoding declaration says: the caller decoded it.
// Throws SubtitleFormatError naming the line and column where the XML is not
// well-formed, or the root element when it is not <tt>.
std::vector<TextSpan> findTtmlSpans(std::string_view document);

// Why a paragraph's rewritten content would not read back as its text: not
// well-formed on its own, or, when `structure` is checked, holding an element that
// starts another paragraph (<p>, <div>, <body>); nullopt when it reads back.
std::optional<std::string> ttmlContentProblem(std::string_view content, bool structure = true);
