#pragma once

// The facts about a file's bytes that c_quorvant/text_encoding.py decides its
// encoding from, gathered in one pass without copying the file: the decision
// itself is made there, once, for every caller.

#include <array>
#include <cstddef>
#include <string_view>

struct ByteCensus {
    std::size_t multibyte = 0;            // well-formed UTF-8 sequences of two to four bytes
    std::size_t stray = 0;                // bytes of 0x80 and above outside such a sequence
    std::size_t escapes = 0;              // ESC bytes, which open the ISO-2022 encodings' shifts
    std::size_t hzShifts = 0;             // "~{", HZ's shift into GB2312
    std::size_t evenZeros = 0;            // zero bytes at even offsets (UTF-16 BE writes ASCII so)
    std::size_t oddZeros = 0;             // and at odd offsets (UTF-16 LE)
    std::array<std::size_t, 128> high{};  // how often each byte from 0x80 up occurs
};

ByteCensus takeCensus(std::string_view bytes);
