#pragma once

// Rules that must not touch markup see a text as runs of visible characters
// between protected pieces (tags, drawings, line-break escapes), one run at a time.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class TagSyntax {
    None,      // the whole text is one visible run
    Ass,       // override blocks {...}, drawings from a \p above 0 to \p, \p0 or \p-1, \N \n \h
    SubRip,    // <i> <b> <u> <s> <font ...> and their closing tags, and {...} blocks
    WebVtt,    // tags (<v Name>, <c.class>, <i>, </v>, ...), inline time stamps <00:01.500>, and
               // references the rules don't read as characters (&copy;, &#1;)
    Sami,      // tags (<font ...>, <b>, <ruby>, ...), comments, and references left undecoded (&eacute;)
    Ttml,      // tags (<span ...>, </tt:span>, ...), comments, processing instructions, CDATA sections
    MicroDvd,  // {y:i}, {c:$0000FF} and other {...} codes
    Mpl2,      // {...} codes and the '/' of italics that opens a line
};

struct TextRun {
    std::string_view text;
    bool visible;
};

// `text` cut into alternating runs that together are exactly `text`. An ASS
// override block with no closing brace is shown as text, as libass shows it; a
// SubRip one is protected to the end, more likely a broken tag than words.
std::vector<TextRun> splitTextRuns(std::string_view text, TagSyntax syntax);

// The length of the SAMI or TTML markup at the start of `text`: a comment, CDATA
// section or processing instruction to its close (or the text's end), a tag to the
// '>' (in TTML outside quotes), an undecoded SAMI reference to its ';'; 0 for a '<' or '&' of
// text (a '<' before the '>' leaves it text). Readers take tags by it, as the runs do.
std::size_t markupLength(std::string_view text, TagSyntax syntax);

// `text` with each visible run replaced by `rewrite` of it, protected runs as they
// were. WebVTT references and ASS's escaped braces are rewritten as the characters
// they show, and spelled again (character_references.h).
std::string rewriteVisibleRuns(std::string_view text, TagSyntax syntax,
                               const std::function<std::string(const std::string&)>& rewrite);
