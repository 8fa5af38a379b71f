#include "document/subtitle_format.h"

std::optional<SubtitleFormat> formatNamed(std::string_view name) {
    if (name == "ass" || name == "ssa") return SubtitleFormat::Ass;
    if (name == "srt") return SubtitleFormat::SubRip;
    if (name == "vtt") return SubtitleFormat::WebVtt;
    return std::nullopt;
}

const char* formatName(SubtitleFormat format) {
    switch (format) {
        case SubtitleFormat::Ass:
            return "ass";
        case SubtitleFormat::SubRip:
            return "srt";
        case SubtitleFormat::WebVtt:
            return "vtt";
    }
    return "";
}

TagSyntax tagSyntaxOf(SubtitleFormat format) {
    switch (format) {
        case SubtitleFormat::Ass:
            return TagSyntax::Ass;
        case SubtitleFormat::SubRip:
            return TagSyntax::SubRip;
        case SubtitleFormat::WebVtt:
            return TagSyntax::WebVtt;
    }
    return TagSyntax::None;
}
