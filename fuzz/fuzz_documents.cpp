// Documents on arbitrary bytes, the first byte choosing the format. The spans lie
// in order inside the text, rewriting with rules that change nothing gives the
// input back byte for byte, UTF-16 and stray line ends included, and a copy that
// rules writing line breaks, empty lines and arrows into holds as many texts, and
// an ASS copy that anchor-only rules wrote reads back as their texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "document/format_error.h"
#include "document/subtitle_document.h"

namespace {

constexpr SubtitleFormat kFormats[] = {SubtitleFormat::Ass, SubtitleFormat::SubRip, SubtitleFormat::WebVtt};

void requireTextsKept(const std::string& bytes, SubtitleFormat format) {
    const SubtitleDocument document = readDocument(bytes, format);
    TextRewriter breaking(ReplacementRules{{"e", "\n\n-->\r"}, {"o", "\r\n5\r"}, {"^", "\n"}}, {});
    std::string copy;
    try {
        copy = rewriteDocument(SubtitleDocument(document), breaking);
    } catch (const UnwritableTextError&) {
        return;  // refused: nothing written
    }
    // SubRip text before the first cue has no cue to stay in once it is emptied.
    if (document.format == SubtitleFormat::SubRip && !document.spans.empty() && document.spans[0].number == 0) return;
    if (readDocument(copy, format).spans.size() != document.spans.size()) __builtin_trap();
}

// Rules that only anchor meet every ASS text, an empty one after a last field
// that ended its line included: the copy reads back as the texts they made.
void requireAnchoredTextsReadBack(const std::string& bytes, SubtitleFormat format) {
    const SubtitleDocument document = readDocument(bytes, format);
    if (document.format != SubtitleFormat::Ass) return;
    TextRewriter anchors(ReplacementRules{{"^", "-"}, {"$", "-"}}, {});
    const auto expected = rewrittenTexts(document, anchors);
    const SubtitleDocument copy = readDocument(rewriteDocument(SubtitleDocument(document), anchors), format);
    TextRewriter none(ReplacementRules{}, {});
    if (rewrittenTexts(copy, none) != expected) __builtin_trap();
}

void requireSpansInOrder(const SubtitleDocument& document) {
    std::size_t previousEnd = 0;
    for (const TextSpan& span : document.spans) {
        if (span.begin < previousEnd || span.end < span.begin || span.end > document.text.size()) __builtin_trap();
        previousEnd = span.end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const SubtitleFormat format = kFormats[data[0] % std::size(kFormats)];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        SubtitleDocument document = readDocument(bytes, format);
        requireSpansInOrder(document);
        // A rule that runs on every text and never matches: the spans go through
        // the rewriter and are judged unchanged.
        TextRewriter idle(ReplacementRules{{"\x01\x02\x03\x04", "x"}}, {});
        TextRewriter none(ReplacementRules{}, {});
        if (bytes.find("\x01\x02\x03\x04") == std::string::npos &&
            rewriteDocument(SubtitleDocument(document), idle) != bytes) {
            __builtin_trap();
        }
        if (rewriteDocument(std::move(document), none) != bytes) __builtin_trap();
        requireTextsKept(bytes, format);
        requireAnchoredTextsReadBack(bytes, format);
    } catch (const SubtitleFormatError&) {
    }
    return 0;
}
