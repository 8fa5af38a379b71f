#pragma once

// Subtitle files come in every encoding, but a JSON string holds Unicode text.
// jsoncpp's writer decodes UTF-8 without checking the continuation bytes, so one
// stray Windows-1252 byte swallows the characters after it.

#include <optional>
#include <string>
#include <string_view>

bool isValidUtf8(std::string_view text);

// `codePoint` (at most U+10FFFF) in UTF-8, after `out`.
void appendUtf8(std::string& out, char32_t codePoint);

// `text` with each byte that does not belong to a well-formed UTF-8 sequence
// replaced by U+FFFD; valid text comes back unchanged.
std::string withValidUtf8(std::string_view text);

// Files saved as "Unicode" by Windows editors are UTF-16 with a byte-order mark.
// When `bytes` starts with one (LE or BE), the text as UTF-8 without the mark;
// unpaired surrogates and a lone last byte become U+FFFD. nullopt otherwise.
std::optional<std::string> utf8FromUtf16(std::string_view bytes);

// The code point at the start of `text`, which is taken off it; nullopt, leaving
// `text` as it was, when no well-formed sequence starts there.
std::optional<char32_t> takeCharacter(std::string_view& text);

// The code points of valid UTF-8 text (wchar_t holds one whole on this platform);
// nullopt when `text` is not valid UTF-8.
std::optional<std::wstring> wideFromUtf8(std::string_view text);

std::string utf8FromWide(std::wstring_view text);
