#pragma once

// The cue texts of a WebVTT file as text spans, read as players read the file:
// every line holding "-->" after the WEBVTT line opens a cue, whether it starts a
// block, follows an identifier line, or cuts short the block it stands in. The
// lines after it up to a blank line are the cue's payload. A block without such a
// line (the header, a NOTE comment, STYLE, REGION, stray lines) holds no dialogue,
// so it stays outside spans along with identifiers, timing lines and settings.
//
// Only an empty line ends a cue: a line of spaces is payload, as in automatic
// captions, which hold the place of a line of text with one.

#include <string_view>
#include <vector>

#include "text_span.h"

// The spans of each cue's payload, keyed "1", "2", ... in file order. Throws
// SubtitleFormatError when the file (past a UTF-8 byte-order mark) does not
// start with the WEBVTT line.
std::vector<TextSpan> findWebVttSpans(std::string_view document);
