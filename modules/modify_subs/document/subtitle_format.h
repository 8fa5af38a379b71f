#pragma once

// The formats a document can be in, and their names.

#include <optional>
#include <string_view>

#include "text/tag_runs.h"

enum class SubtitleFormat { Ass, SubRip, WebVtt, Sami, Ttml, MicroDvd, Mpl2 };

// "ass" (or "ssa"), "srt", "vtt", "sami", "ttml", "microdvd", "mpl2"; nullopt for any other name.
std::optional<SubtitleFormat> formatNamed(std::string_view name);
TagSyntax tagSyntaxOf(SubtitleFormat format);
// "ass", "srt", "vtt", "sami", "ttml", "microdvd" or "mpl2".
const char* formatName(SubtitleFormat format);
