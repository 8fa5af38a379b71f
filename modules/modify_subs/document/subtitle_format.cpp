#include "document/subtitle_format.h"

std::optional<SubtitleFormat> formatNamed(std::string_view name) {
    if (name == "ass" || name == "ssa") return SubtitleFormat::Ass;
    if (name == "srt") return SubtitleFormat::SubRip;
    if (name == "vtt") return SubtitleFormat::WebVtt;
    if (name == "sami") return SubtitleFormat::Sami;
    if (name == "ttml") return SubtitleFormat::Ttml;
    if (name == "microdvd") return SubtitleFormat::MicroDvd;
    if (name == "mpl2") return SubtitleFormat::Mpl2;
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
        case SubtitleFormat::Sami:
            return "sami";
        case SubtitleFormat::Ttml:
            return "ttml";
        case SubtitleFormat::MicroDvd:
            return "microdvd";
        case SubtitleFormat::Mpl2:
            return "mpl2";
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
        case SubtitleFormat::Sami:
            return TagSyntax::Sami;
        case SubtitleFormat::Ttml:
            return TagSyntax::Ttml;
        case SubtitleFormat::MicroDvd:
            return TagSyntax::MicroDvd;
        case SubtitleFormat::Mpl2:
            return TagSyntax::Mpl2;
    }
    return TagSyntax::None;
}
