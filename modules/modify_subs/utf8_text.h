#pragma once

// Subtitle files come in every encoding, but a JSON string holds Unicode text.
// jsoncpp's writer decodes UTF-8 without checking the continuation bytes, so one
// stray Windows-1252 byte swallows the characters after it.

#include <string>
#include <string_view>

bool isValidUtf8(std::string_view text);

// `text` with each byte that does not belong to a well-formed UTF-8 sequence
// replaced by U+FFFD; valid text comes back unchanged.
std::string withValidUtf8(std::string_view text);
