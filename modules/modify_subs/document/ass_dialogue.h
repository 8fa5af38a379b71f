#pragma once

// Where the dialogue texts of an ASS or SSA script stand: the text field of each
// line that libass would take as an event.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_span.h"

// Told where the content of each events Format line taken starts.
using FormatLineSink = std::function<void(std::size_t)>;
// Told the byte range of each dialogue text, in file order, and whether a comma
// stands before it: a line whose last field before the text ends it has none, and
// a text written there needs one, or it would join that field.
using DialogueTextSink = std::function<void(std::size_t begin, std::size_t end, bool afterComma)>;

// Where a dialogue line's text field starts: after as many commas as the Format
// line has (the module's rewrite), or after as many as stand before the Format
// line's Text field, wherever it is, as libass reads it.
enum class TextField { AfterFormatCommas, AtTextField };

// The text field of each `Dialogue:` line of an events section, to the end of the
// line (a Format line without a Text field: none; 9 commas without a Format line; at
// the Text field, a line libass drops for too few fields: none). Section
// headers, Format and Dialogue count only at the start of a line, after byte-order
// marks and blanks; lines end at "\r\n", "\r" or "\n", and no text holds a line end.
void forEachDialogueText(std::string_view script, const DialogueTextSink& texts, const FormatLineSink& formatLines = {},
                         TextField field = TextField::AfterFormatCommas);

// The dialogue texts as libass reads them, as spans keyed by their position from "1".
std::vector<TextSpan> findAssSpans(std::string_view script);

// Where the text field of a dialogue line starts, judged by the commas of the
// events' Format line; std::string::npos when the line has too few fields.
std::size_t find_nth(const std::string& master, const std::string& word);

// Where the text field starts after `fieldCommas` commas: also at the end of a
// line one field short; npos with fewer fields, or with no comma to count.
std::size_t textFieldStart(std::size_t fieldCommas, const std::string& word);
