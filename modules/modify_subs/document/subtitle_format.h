#pragma once

// The formats a document can be in, and their names.

#include <optional>
#include <string_view>

#include "text/tag_runs.h"

enum class SubtitleFormat { Ass, SubRip, WebVtt };

// "ass" (or "ssa"), "srt", "vtt"; nullopt for any other name.
std::optional<SubtitleFormat> formatNamed(std::string_view name);
TagSyntax tagSyntaxOf(SubtitleFormat format);
// "ass", "srt" or "vtt".
const char* formatName(SubtitleFormat format);
