#pragma once

// What the SAMI and TTML readers promise on any bytes: spans in order, inside the
// document and apart, keyed as the format keys them; and each text rewritten with
// its markup kept reads back as that text, with as many texts as before.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "document/format_error.h"
#include "document/subtitle_format.h"
#include "document/text_span.h"
#include "document/written_form.h"
#include "text/tag_runs.h"

// A "\r" of a text (from "&#13;") is a line break once written, and reads back as "\n".
inline std::string withNewlines(std::string text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
        out += text[at] == '\r' ? '\n' : text[at];
    }
    return out;
}

template <class Reader>
void checkMarkupSpans(std::string_view document, SubtitleFormat format, const Reader& read) {
    std::vector<TextSpan> spans;
    try {
        spans = read(document);
    } catch (const SubtitleFormatError&) {
        return;
    }
    std::size_t previousEnd = 0;
    for (const TextSpan& span : spans) {
        if (span.begin < previousEnd || span.end < span.begin || span.end > document.size()) __builtin_trap();
        if (!span.markup) __builtin_trap();
        previousEnd = span.end;
    }
    std::string rewritten;
    std::vector<std::string> texts;
    std::size_t copied = 0;
    for (const TextSpan& span : spans) {
        // Every visible run becomes text that needs escaping and a line break.
        texts.push_back(rewriteVisibleRuns(span.markup->decoded, tagSyntaxOf(format),
                                           [](const std::string&) { return std::string("x & <P>\nz"); }));
        rewritten.append(document.substr(copied, span.begin - copied));
        rewritten += writtenSpan(format, document, span, texts.back());
        copied = span.end;
    }
    rewritten.append(document.substr(copied));
    std::vector<TextSpan> again;
    try {
        again = read(rewritten);
    } catch (const SubtitleFormatError&) {
        __builtin_trap();
    }
    if (again.size() != spans.size()) __builtin_trap();
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (again[i].number != spans[i].number || withNewlines(again[i].markup->decoded) != withNewlines(texts[i]))
            __builtin_trap();
    }
}
