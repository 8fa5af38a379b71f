#include "document/subtitle_document.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "document/ass_dialogue.h"
#include "document/format_error.h"
#include "document/line_cursor.h"
#include "document/microdvd_lines.h"
#include "document/mpl2_lines.h"
#include "document/sami_spans.h"
#include "document/subrip_cues.h"
#include "document/ttml_spans.h"
#include "document/webvtt_spans.h"
#include "document/written_form.h"
#include "text/character_references.h"

namespace {

// A cue's text: its lines from the first to the last, with whatever stands between them.
TextSpan subRipSpan(std::string_view text, const SubRipCue& cue) {
    TextSpan span;
    span.number = cue.number;
    const std::string_view timingEnd = cue.timing ? cue.timing->lineEnd(text) : std::string_view();
    span.lineEnd = lineEndOf(timingEnd.empty() ? firstLineEnd(text) : timingEnd);
    if (cue.timing) {
        span.headingBegin = cue.timing->begin;
        span.headingEnd = cue.timing->contentEnd;
    }
    if (cue.text.empty()) {
        span.begin = span.end = cue.textAt;
        // A text given to a cue without one takes a line of its own.
        (timingEnd.empty() ? span.fillBefore : span.fillAfter) = 1;
    } else {
        span.begin = cue.text.front().begin;
        span.end = cue.text.back().end;
    }
    return span;
}

// About one cue per arrow: reserved, a large file's spans are not copied as they grow.
std::size_t arrowCount(std::string_view text) {
    std::size_t arrows = 0;
    for (std::size_t at = text.find("-->"); at != std::string_view::npos; at = text.find("-->", at + 3)) ++arrows;
    return arrows;
}

std::vector<TextSpan> findSubRipSpans(std::string_view text) {
    std::vector<TextSpan> spans;
    spans.reserve(arrowCount(text) + 1);
    bool timed = false;
    forEachSubRipCue(
        text,
        [&](SubRipCue&& cue) {
            timed = timed || cue.timing;
            spans.push_back(subRipSpan(text, cue));
        },
        true);
    if (!spans.empty() && !timed) throw SubtitleFormatError("not a SubRip file: no timing line found");
    return spans;
}

std::vector<TextSpan> findSpans(std::string_view text, SubtitleFormat format) {
    switch (format) {
        case SubtitleFormat::Ass:
            return findAssSpans(text);
        case SubtitleFormat::SubRip:
            return findSubRipSpans(text);
        case SubtitleFormat::WebVtt:
            return findWebVttSpans(text);
        case SubtitleFormat::Sami:
            return findSamiSpans(text);
        case SubtitleFormat::Ttml:
            return findTtmlSpans(text);
        case SubtitleFormat::MicroDvd:
            return findMicroDvdSpans(text);
        case SubtitleFormat::Mpl2:
            return findMpl2Spans(text);
    }
    return {};
}

// A WebVTT file or an ASS script named .srt (or either named as the other) is read
// as what its first line shows it to be: the WEBVTT header, or "[Script Info]".
SubtitleFormat formatHeld(std::string_view text, SubtitleFormat named) {
    if (hasWebVttHeader(text)) return SubtitleFormat::WebVtt;
    text = withoutByteOrderMarks(text);
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n"), text.size()));
    constexpr std::string_view scriptInfo = "[script info]";
    const bool script = text.size() >= scriptInfo.size() &&
                        std::equal(scriptInfo.begin(), scriptInfo.end(), text.begin(), [](char lower, char c) {
                            return lower == std::tolower(static_cast<unsigned char>(c));
                        });
    return script ? SubtitleFormat::Ass : named;
}

// Past the line end at `at`, when one stands there.
std::size_t pastLineEnd(std::string_view text, std::size_t at) {
    if (text.substr(at).starts_with("\r\n")) return at + 2;
    return at < text.size() && (text[at] == '\r' || text[at] == '\n') ? at + 1 : at;
}

// Rules that see a WebVTT text's bytes (no protect_tags) may still not leave
// part of a character reference, which readers would show as other words.
void requireWholeReferences(std::string_view before, std::string_view after, const std::string& key) {
    if (const std::optional<std::string> broken = brokenWebVttReference(before, after)) {
        throw UnwritableTextError(key, "the rules break the character reference " + *broken + " in cue " + key +
                                           "; protect_tags lets them see it as the character it stands for; "
                                           "nothing was written");
    }
}

// Whether `text` is what the span holds, without making the span's text.
bool spanHolds(std::string_view document, const TextSpan& span, std::string_view text) {
    if (span.markup) return span.markup->decoded == text;
    std::string_view bytes = document.substr(span.begin, span.end - span.begin);
    if (span.lineEnd == LineEnd::None) return bytes == text;
    while (!bytes.empty() && !text.empty()) {
        if (bytes.front() == '\r') {
            if (text.front() != '\n') return false;
            bytes.remove_prefix(bytes.starts_with("\r\n") ? 2 : 1);
        } else {
            if (bytes.front() != text.front()) return false;
            bytes.remove_prefix(1);
        }
        text.remove_prefix(1);
    }
    return bytes.empty() && text.empty();
}

// The document's text with its spans rewritten, handed to `write` in pieces, in order.
template <class Write>
void forEachRewrittenPiece(const SubtitleDocument& document, TextRewriter& rewriter,
                           const std::vector<std::size_t>& kept, Write write) {
    const std::string_view text = document.text;
    std::size_t copied = 0;
    auto nextKept = kept.begin();
    for (std::size_t position = 0; position < document.spans.size(); ++position) {
        const TextSpan& span = document.spans[position];
        if (nextKept != kept.end() && *nextKept == position) {
            ++nextKept;
            rewriter.countUnchanged(1);
            continue;
        }
        const std::string after = rewriter.apply(spanText(text, span), tagSyntaxOf(document.format));
        if (document.format == SubtitleFormat::WebVtt && !rewriter.protectsTags() && !spanHolds(text, span, after)) {
            requireWholeReferences(spanText(text, span), after, span.key());
        }
        const std::optional<std::string> written = writtenChange(document, span, after);
        if (!written) continue;
        // Unchanged spans are copied with what surrounds them, their own line ends included.
        write(text.substr(copied, span.begin - copied));
        write(std::string_view(*written));
        copied = span.end;
        // An emptied cue's last line end would leave a second blank line after its timing line.
        if (written->empty() && span.end > span.begin && document.format == SubtitleFormat::SubRip) {
            copied = pastLineEnd(text, span.end);
        }
    }
    write(text.substr(copied));
}

}  // namespace

std::vector<std::string> exportKeys(const std::vector<TextSpan>& spans) {
    std::vector<std::string> keys;
    keys.reserve(spans.size());
    std::unordered_map<std::int64_t, int> seen;
    for (const TextSpan& span : spans) {
        const int times = ++seen[span.number];
        keys.push_back(times == 1 ? span.key() : span.key() + "#" + std::to_string(times));
    }
    return keys;
}

SubtitleDocument readDocument(std::string bytes, SubtitleFormat format) {
    SubtitleDocument document{format, std::move(bytes), {}, std::nullopt};
    if (std::optional<DecodedUtf16> decoded = decodeMarkedUtf16(document.text)) {
        document.text = std::move(decoded->text);
        document.utf16 = std::move(decoded->form);
    }
    document.format = formatHeld(document.text, format);
    document.spans = findSpans(document.text, document.format);
    return document;
}

std::optional<std::string> writtenChange(const SubtitleDocument& document, const TextSpan& span,
                                         const std::string& after) {
    if (spanHolds(document.text, span, after)) return std::nullopt;
    std::string written = writtenSpan(document.format, document.text, span, after);
    if (document.utf16 && !encodeUtf16(written, *document.utf16)) {
        throw UnwritableTextError(
            span.key(), "the rewritten text " + span.key() +
                            " is not UTF-8 (a byte-wise rule cut a character in half), so UTF-16 can't hold it");
    }
    return written;
}

std::string rewriteDocument(SubtitleDocument&& document, TextRewriter& rewriter, const std::vector<std::size_t>& kept) {
    const std::string_view text = document.text;
    // Without rules every text stays: nothing to make of the spans but their count.
    if (!rewriter.hasRules()) {
        rewriter.countUnchanged(static_cast<int>(document.spans.size()));
        return document.utf16 ? *encodeUtf16(text, *document.utf16) : std::move(document.text);
    }
    std::string rewritten;
    rewritten.reserve(text.size());
    forEachRewrittenPiece(document, rewriter, kept, [&](std::string_view piece) { rewritten.append(piece); });
    if (!document.utf16) return rewritten;
    // Every piece was checked: the whole encodes.
    return encodeUtf16(rewritten, *document.utf16).value();
}

void writeRewrittenDocument(SubtitleDocument&& document, TextRewriter& rewriter,
                            const std::function<void(std::string_view)>& write) {
    if (document.utf16) {
        write(rewriteDocument(std::move(document), rewriter));
        return;
    }
    if (!rewriter.hasRules()) {
        rewriter.countUnchanged(static_cast<int>(document.spans.size()));
        write(document.text);
        return;
    }
    forEachRewrittenPiece(document, rewriter, {}, write);
}

std::vector<std::pair<std::string, std::string>> rewrittenTexts(const SubtitleDocument& document,
                                                                TextRewriter& rewriter) {
    std::vector<std::pair<std::string, std::string>> texts;
    texts.reserve(document.spans.size());
    std::vector<std::string> keys = exportKeys(document.spans);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        texts.emplace_back(std::move(keys[i]),
                           rewriter.apply(spanText(document.text, document.spans[i]), tagSyntaxOf(document.format)));
    }
    return texts;
}
