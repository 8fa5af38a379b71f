#pragma once

// The last resort of the encoding choice (c_quorvant/text_encoding.py): uchardet's
// guess for bytes that carry no mark and are not UTF-8. Chosen by bench/encodings.py.

#include <optional>
#include <string>
#include <string_view>

// The detector's name for the charset of `bytes` ("WINDOWS-1252", "SHIFT_JIS"),
// nullopt when it has no answer.
std::optional<std::string> detectCharset(std::string_view bytes);
