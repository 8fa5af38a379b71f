#pragma once

// The cue texts of a WebVTT file as text spans, read block by block as the WebVTT
// parsing algorithm reads them. Blocks are separated by empty lines; a line of
// spaces is payload, as in automatic captions, which hold the place of a line of
// text with one. A block opens a cue when its first line, or its second after an
// identifier, holds "-->" between time stamps that parse; a "-->" line later in a
// block ends it and starts the next. The header, NOTE, STYLE and REGION blocks
// (whatever they hold), blocks whose timing fails to parse, identifiers, timing
// lines and settings stay outside spans.

#include <string_view>
#include <vector>

#include "document/text_span.h"

// The spans of each cue's payload, keyed "1", "2", ... in file order. Throws
// SubtitleFormatError when the file (past a UTF-8 byte-order mark) does not
// start with the WEBVTT line.
std::vector<TextSpan> findWebVttSpans(std::string_view document);

// Whether the file (past a UTF-8 byte-order mark) starts with the WEBVTT line.
bool hasWebVttHeader(std::string_view document);

// Whether `line` starts with cue timings that parse: a time stamp, "-->" and a
// time stamp, blanks around the arrow; anything after them is settings.
bool hasWebVttTimings(std::string_view line);
