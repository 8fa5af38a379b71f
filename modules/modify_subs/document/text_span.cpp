#include "document/text_span.h"

// A span per cue: a large SubRip file must stay under twice its size in memory.
static_assert(sizeof(void*) != 8 || sizeof(TextSpan) <= 72);

LineEnd lineEndOf(std::string_view bytes) {
    if (bytes == "\n") return LineEnd::Lf;
    if (bytes == "\r\n") return LineEnd::CrLf;
    if (bytes == "\r") return LineEnd::Cr;
    return LineEnd::None;
}

std::string_view lineEndBytes(LineEnd end) {
    switch (end) {
        case LineEnd::Lf:
            return "\n";
        case LineEnd::Cr:
            return "\r";
        case LineEnd::CrLf:
            return "\r\n";
        case LineEnd::None:
            break;
    }
    return {};
}

std::optional<std::string_view> spanTextInPlace(std::string_view document, const TextSpan& span) {
    if (span.markup) return span.markup->decoded;
    const std::string_view bytes = document.substr(span.begin, span.end - span.begin);
    if (span.lineEnd == LineEnd::None || bytes.find('\r') == std::string_view::npos) return bytes;
    return std::nullopt;
}

std::string spanText(std::string_view document, const TextSpan& span) {
    if (const std::optional<std::string_view> inPlace = spanTextInPlace(document, span)) return std::string(*inPlace);
    const std::string_view bytes = document.substr(span.begin, span.end - span.begin);
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] != '\r') {
            text += bytes[at];
            continue;
        }
        text += '\n';
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
    }
    return text;
}
