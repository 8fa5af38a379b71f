#pragma once

// Which encoding a subtitle file's bytes are in, when nobody said: a byte-order
// mark decides, then a UTF-16 pattern of zero bytes, then valid UTF-8, and only
// what is left goes to the detector.

#include <cstddef>
#include <string>
#include <string_view>

enum class EncodingEvidence {
    Mark,        // a byte-order mark
    Utf8,        // valid UTF-8 (pure ASCII included)
    Utf16Zeros,  // UTF-16 without a mark, known by its zero bytes
    Detector,    // the detector's guess
    NoAnswer,    // the detector had no answer
};

struct EncodingChoice {
    std::string name;            // a Python codec name ("utf-16-le", "cp1252", "shift_jis"); empty for NoAnswer
    std::size_t markLength = 0;  // bytes of the byte-order mark in front of the text
    EncodingEvidence evidence = EncodingEvidence::NoAnswer;
};

// A mark that lies (UTF-8's before bytes that aren't) still counts as the mark's
// length; the rest is judged on its own.
EncodingChoice chooseEncoding(std::string_view bytes);
