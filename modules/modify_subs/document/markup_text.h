#pragma once

// SAMI and TTML paragraphs as texts. The rules see character data with its
// references decoded, each line break element as "\n" and every other piece of
// markup as it stands (a tag to protect); a rewritten text is escaped back, and
// its line breaks reuse the paragraph's own, layout around them included.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_span.h"

enum class MarkupDialect { Sami, Ttml };

struct MarkupPiece {
    enum class Kind { Data, Markup, Break };  // readers report Markup and Break
    Kind kind;
    std::size_t begin;
    std::size_t end;
};

// A paragraph's content: bytes [begin, end) of the document, and the pieces of
// markup the reader found in it, in order; the bytes between them are character data.
struct MarkupContent {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<MarkupPiece> pieces;
    // xml:space="preserve": a line end in the data is a line break and nothing is layout.
    bool preserve = false;
};

// The span of the content, numbered `number`. Without `preserve`, white space that holds
// a line end is layout: outside the span at its ends, part of a line break beside
// one, a space elsewhere. It starts at the line end: blanks before one are text.
// `lineBreak` is what a text's line breaks beyond the paragraph's own are written as.
TextSpan markupSpan(std::string_view document, const MarkupContent& content, MarkupDialect dialect, std::int64_t number,
                    std::string lineBreak);

// Character data with its references decoded: XML's five and numeric ones, and
// SAMI's &nbsp; (with or without ';', as HTML reads it). Others stay as written.
std::string decodedReferences(std::string_view data, MarkupDialect dialect);

// What a rewritten text of `span`, whose bytes were `original`, is written as: the
// paragraph's own markup as it stands, and with `newMarkup` the markup a rule
// wrote too, but for what would end a SAMI text (<P>, <SYNC>, an open comment) and
// what was text as read ("&lt;b&gt;"); the rest is text, '&', '<' and '>' escaped,
// which reads back as itself. SAMI also writes a no-break space as &nbsp;, which
// code pages without the character can hold.
std::string writtenMarkup(const TextSpan& span, std::string_view original, std::string_view text, MarkupDialect dialect,
                          bool newMarkup = true);
