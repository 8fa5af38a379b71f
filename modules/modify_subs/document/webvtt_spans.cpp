#include "webvtt_spans.h"

#include <optional>
#include <string>

#include "format_error.h"
#include "line_cursor.h"

namespace {

bool hasWebVttHeader(std::string_view document) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    constexpr std::string_view signature = "WEBVTT";
    if (document.starts_with(byteOrderMark)) document.remove_prefix(byteOrderMark.size());
    if (!document.starts_with(signature)) return false;
    return document.size() == signature.size() ||
           std::string_view(" \t\r\n").find(document[signature.size()]) != std::string_view::npos;
}

bool isTimingLine(std::string_view content) { return content.find("-->") != std::string_view::npos; }

// The line end that joins the payload's lines, `single` when it has one line, and
// none when its lines end differently: its text then keeps its bytes as they are,
// so that writing it back changes nothing.
std::string payloadLineEnd(std::string_view payload, std::string_view single) {
    std::optional<std::string_view> shared;
    LineCursor lines(payload);
    while (const std::optional<SourceLine> line = lines.next()) {
        const std::string_view end = line->lineEnd(payload);
        if (end.empty()) break;
        if (shared && *shared != end) return "";
        shared = end;
    }
    return std::string(shared.value_or(single));
}

class SpanFinder {
public:
    explicit SpanFinder(std::string_view document) : _document(document), _lines(document) {}

    std::vector<TextSpan> find() && {
        _lines.next();  // the WEBVTT line
        while (const std::optional<SourceLine> line = _lines.next()) take(*line);
        closeCue(std::nullopt);
        return std::move(_spans);
    }

private:
    struct OpenCue {
        SourceLine timing;
        std::size_t payloadEnd;  // the payload runs from the timing line's end to here
    };

    void take(const SourceLine& line) {
        const std::string_view content = line.content(_document);
        if (content.empty()) {
            closeCue(line);
        } else if (isTimingLine(content)) {
            closeCue(line);
            _cue = OpenCue{line, line.end};
        } else if (_cue) {
            _cue->payloadEnd = line.contentEnd;
        }
    }

    // Ends the open cue, if any, at `next`: the line after it, none at the end of the file.
    void closeCue(const std::optional<SourceLine>& next) {
        if (!_cue) return;
        const SourceLine& timing = _cue->timing;
        const std::string_view timingEnd = timing.lineEnd(_document);
        const std::string fileEnd(timingEnd.empty() ? firstLineEnd(_document) : timingEnd);
        TextSpan span{timing.end, _cue->payloadEnd, std::to_string(_spans.size() + 1), fileEnd, "", ""};
        if (span.begin == span.end) {
            // A text given to the empty payload gets lines of its own, and a blank
            // line before a cue that follows at once.
            if (timingEnd.empty()) span.fillBefore = fileEnd;
            if (next) span.fillAfter = next->content(_document).empty() ? fileEnd : fileEnd + fileEnd;
        } else {
            span.lineEnd = payloadLineEnd(_document.substr(span.begin, span.end - span.begin), fileEnd);
        }
        _spans.push_back(std::move(span));
        _cue.reset();
    }

    std::string_view _document;
    LineCursor _lines;
    std::optional<OpenCue> _cue;
    std::vector<TextSpan> _spans;
};

}  // namespace

std::vector<TextSpan> findWebVttSpans(std::string_view document) {
    if (!hasWebVttHeader(document)) throw SubtitleFormatError("not a WebVTT file: no WEBVTT header");
    return SpanFinder(document).find();
}
