#pragma once

// The texts of a SAMI file: each <P> paragraph of a <SYNC> block, or the text of a
// block without one, read as HTML readers read them: tags in any case, attributes
// unquoted, </P> and </SYNC> left out, the <STYLE> and <TITLE> of the head and
// comments skipped. A paragraph of nothing but blanks and &nbsp; (a "clear" cue,
// which ends the one before) is no text: the rules never see it and it stays.

#include <string_view>
#include <vector>

#include "document/text_span.h"

// The spans of the texts, keyed by the number of their <SYNC> block from 1 (two
// languages' paragraphs of one block share it). Throws SubtitleFormatError for a
// file with neither <SAMI> nor <SYNC>.
std::vector<TextSpan> findSamiSpans(std::string_view document);
