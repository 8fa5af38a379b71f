#pragma once

// UTF-16 files with a byte-order mark, decoded to UTF-8 and encoded back to the
// very same bytes: the mark stays in the text as U+FEFF, an unpaired surrogate
// is written as the 3-byte sequence of its code unit, and an odd last byte is kept aside.

#include <optional>
#include <string>
#include <string_view>

struct Utf16Form {
    bool bigEndian = false;
    std::string oddByte;  // a last byte without its pair
};

struct DecodedUtf16 {
    std::string text;
    Utf16Form form;
};

// nullopt when `bytes` does not start with a UTF-16 byte-order mark.
std::optional<DecodedUtf16> decodeMarkedUtf16(std::string_view bytes);

// `text` in `form`; nullopt when it holds a byte that starts no UTF-8 sequence
// (a byte-wise rule that cut a character in half).
std::optional<std::string> encodeUtf16(std::string_view text, const Utf16Form& form);
