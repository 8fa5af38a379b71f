#pragma once

// Where the dialogue texts of an ASS or SSA script stand: the text field of each
// line that libass would take as an event.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text_span.h"

// Told where the content of each events Format line taken starts.
using FormatLineSink = std::function<void(std::size_t)>;
// Told the byte range of each dialogue text, in file order.
using DialogueTextSink = std::function<void(std::size_t begin, std::size_t end)>;

// The text field of each `Dialogue:` line of an events section: everything after
// as many commas as the section's Format line has (9 without one). Section
// headers, Format and Dialogue count only at the start of a line, after byte-order
// marks and blanks; lines end at "\r\n", "\r" or "\n", and no text holds a line end.
void forEachDialogueText(std::string_view script, const DialogueTextSink& texts,
                         const FormatLineSink& formatLines = {});

// The dialogue texts as spans keyed by their position from "1".
std::vector<TextSpan> findAssSpans(std::string_view script);

// Where the text field of a dialogue line starts, judged by the commas of the
// events' Format line; std::string::npos when the line has too few fields.
std::size_t find_nth(const std::string& master, const std::string& word);
