#pragma once

// A subtitle document as the bytes of a file and the spans that hold dialogue:
// the rules rewrite spans, and every byte outside them is copied as it is.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The line ends a document's lines may have.
enum class LineEnd : std::uint8_t { None, Lf, Cr, CrLf };

// "\n", "\r" or "\r\n" as a LineEnd; anything else is None.
LineEnd lineEndOf(std::string_view bytes);
std::string_view lineEndBytes(LineEnd end);

// A markup paragraph's or '|'-lined cue's text, when it is not the span's bytes
// (references decoded, a line break element or '|' read as "\n").
struct MarkupText {
    std::string decoded;
    std::vector<std::string> breaks;  // the span's own line breaks, reused in order
    std::string lineBreak;            // a line break written beyond the span's own
};

// A large file holds a span per cue, so a span stays small: no string of its own.
struct TextSpan {
    std::size_t begin = 0;  // the byte range in the document's text
    std::size_t end = 0;
    std::int64_t number = 0;  // what an export files the text under: an event position or a cue number
    // None: the span's bytes are its text as they stand (ASS). Otherwise its line
    // ends ("\r\n", "\r", "\n") read as "\n", and this is the file's line end, which
    // a rewritten text's lines take beyond the span's own.
    LineEnd lineEnd = LineEnd::None;
    // How many line ends are written around a text given to a span that was empty,
    // so that the text gets lines of its own (a cue without text lines that a rule fills).
    std::uint8_t fillBefore = 0;
    std::uint8_t fillAfter = 0;
    // The bytes that time the text: a cue's timing line, an event's fields before
    // its text. Empty for a cue without a timing line.
    std::size_t headingBegin = 0;
    std::size_t headingEnd = 0;
    // ASS: a text given to the empty span needs a comma before it, as the last field
    // before it ended the line.
    bool commaBefore = false;
    // SAMI, TTML, MicroDVD and MPL2 only; null for the rest, which keeps their spans small.
    std::shared_ptr<const MarkupText> markup = nullptr;

    std::string key() const { return std::to_string(number); }
};

// The text the rules see: the span's bytes, line ends read as "\n" when it has lines.
std::string spanText(std::string_view document, const TextSpan& span);

// The span's text as a view of the document, when its bytes are that text as they
// stand (no line end to read as "\n"); nullopt when only spanText can make it.
std::optional<std::string_view> spanTextInPlace(std::string_view document, const TextSpan& span);
