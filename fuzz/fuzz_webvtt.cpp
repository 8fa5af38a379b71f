// WebVTT span finding on arbitrary bytes. The spans are in order, inside the
// document and apart; writing every span's own text back gives the document byte
// for byte; a text written into an empty payload reads back as that cue's text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/format_error.h"
#include "document/subtitle_document.h"
#include "document/webvtt_spans.h"
#include "document/written_form.h"

namespace {

std::string writtenBack(std::string_view document, const std::vector<TextSpan>& spans) {
    std::string written;
    std::size_t copied = 0;
    for (const TextSpan& span : spans) {
        written.append(document.substr(copied, span.begin - copied));
        written += document.substr(span.begin, span.end - span.begin);
        copied = span.end;
    }
    written.append(document.substr(copied));
    return written;
}

// Each file is read again per empty payload; a few show whether the fill works.
constexpr int filledPayloads = 4;

void checkFilled(std::string_view document, const std::vector<TextSpan>& spans) {
    const SubtitleDocument read{SubtitleFormat::WebVtt, std::string(document), spans, std::nullopt};
    int filled = 0;
    for (std::size_t i = 0; i < spans.size() && filled < filledPayloads; ++i) {
        const TextSpan& span = spans[i];
        if (span.begin != span.end) continue;
        ++filled;
        const std::string document2 = std::string(document.substr(0, span.begin)) +
                                      writtenSpan(read.format, read.text, span, "x") +
                                      std::string(document.substr(span.end));
        const std::vector<TextSpan> spans2 = findWebVttSpans(document2);
        if (spans2.size() != spans.size() || spanText(document2, spans2[i]) != "x") __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    std::vector<TextSpan> spans;
    try {
        spans = findWebVttSpans(document);
    } catch (const SubtitleFormatError&) {
        return 0;
    }
    std::size_t previousEnd = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const TextSpan& span = spans[i];
        if (span.begin < previousEnd || span.end < span.begin || span.end > size) __builtin_trap();
        if (span.number != static_cast<std::int64_t>(i + 1)) __builtin_trap();
        previousEnd = span.end;
    }
    if (writtenBack(document, spans) != document) __builtin_trap();
    checkFilled(document, spans);
    return 0;
}
