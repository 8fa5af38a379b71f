#pragma once

// What a rewritten text is written as, so that its format's readers read it back
// as that text. A rule may write anything, line breaks and arrows included; a
// line break inside an ASS dialogue line, a blank line inside a cue or an arrow
// line in a payload would end the event or cue there and lose the rest.

#include <string>
#include <string_view>
#include <vector>

#include "document/subtitle_format.h"
#include "document/text_span.h"

// `text` with each line break ("\r\n", "\r" or "\n") as ASS's "\N".
std::string assWrittenForm(std::string text);

// The lines of a rewritten SubRip or WebVTT text as they are written: lines
// that would end the cue (SubRip: blank; WebVTT: empty) are left out, and a
// WebVTT arrow is written "--&gt;". A SubRip line of byte-order marks (and
// blanks) stays between two text lines, as the reader keeps it there.
std::vector<std::string> writtenLines(std::string_view text, SubtitleFormat format);

// A rewritten SubRip text as the module's rewrite writes it, after its cue's
// timing line (or first in the file, for text before the first cue): a text
// with line breaks as its written lines joined by "\n". Throws
// UnwritableTextError for a line that would open a cue.
std::string moduleSubRipText(std::string text, const std::string& key, bool atFileStart);

// What a rewritten `text` is written as in place of `span` of a document in
// `format` whose text is `document`. Line
// ends between a SubRip or WebVTT text's lines keep the span's own, one by one,
// while there are as many; the rest are the span's line end. Throws
// UnwritableTextError for a SubRip text with a line that would open a cue. SAMI
// and TTML escape their texts (markup_text.h), and a TTML paragraph whose own tags
// a rule left unbalanced is refused; MicroDVD and MPL2 write a line break '|' and
// refuse a '|' of a rule's.
std::string writtenSpan(SubtitleFormat format, std::string_view document, const TextSpan& span, std::string_view text);
