#include "document/webvtt_spans.h"

#include <optional>
#include <string>

#include "document/format_error.h"
#include "document/line_cursor.h"

namespace {}  // namespace

bool hasWebVttHeader(std::string_view document) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    constexpr std::string_view signature = "WEBVTT";
    if (document.starts_with(byteOrderMark)) document.remove_prefix(byteOrderMark.size());
    if (!document.starts_with(signature)) return false;
    return document.size() == signature.size() ||
           std::string_view(" \t\r\n").find(document[signature.size()]) != std::string_view::npos;
}

namespace {

bool holdsArrow(std::string_view content) { return content.find("-->") != std::string_view::npos; }

bool isWebVttBlank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

void skipBlanks(std::string_view& text) {
    while (!text.empty() && isWebVttBlank(text.front())) text.remove_prefix(1);
}

// The digits `text` starts with, taken off it; -1 when there are none.
long takeNumber(std::string_view& text, std::size_t& count) {
    long value = 0;
    count = 0;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
        if (value < 1'000'000'000) value = value * 10 + (text[count] - '0');
        ++count;
    }
    text.remove_prefix(count);
    return count == 0 ? -1 : value;
}

// [hours:]minutes:seconds.milliseconds, hours when the first field is not two
// digits under 60; minutes and seconds two digits under 60, milliseconds three.
bool takeTimestamp(std::string_view& text) {
    std::size_t count = 0;
    const long first = takeNumber(text, count);
    const bool hours = count != 2 || first > 59;
    if (first < 0 || !text.starts_with(':')) return false;
    text.remove_prefix(1);
    long minutes = first;
    long seconds = takeNumber(text, count);
    if (count != 2) return false;
    if (hours || text.starts_with(':')) {
        if (!text.starts_with(':')) return false;
        text.remove_prefix(1);
        minutes = seconds;
        seconds = takeNumber(text, count);
        if (count != 2) return false;
    }
    if (!text.starts_with('.')) return false;
    text.remove_prefix(1);
    takeNumber(text, count);
    return count == 3 && minutes <= 59 && seconds <= 59;
}

// "NOTE", "STYLE" or "REGION" alone or before a blank: a block that is never a cue.
bool startsNonCueBlock(std::string_view content) {
    for (const std::string_view word : {"NOTE", "STYLE", "REGION"}) {
        if (content.starts_with(word) && (content.size() == word.size() || isWebVttBlank(content[word.size()]))) {
            return true;
        }
    }
    return false;
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
    enum class Block { Header, None, Other, Skipped, Cue };

    struct OpenCue {
        SourceLine timing;
        std::size_t payloadEnd;  // the payload runs from the timing line's end to here
    };

    void take(const SourceLine& line) {
        const std::string_view content = line.content(_document);
        if (content.empty()) {
            closeCue(line);
            _block = Block::None;
            return;
        }
        switch (_block) {
            case Block::Header:
                if (holdsArrow(content)) startBlock(line, content);
                return;
            case Block::None:
                startBlock(line, content);
                return;
            case Block::Skipped:
                return;
            case Block::Other:
                // An arrow on the second line times the cue the first names.
                if (++_blockLines == 2 && !_seenArrow && holdsArrow(content))
                    takeTiming(line, content);
                else if (holdsArrow(content))
                    startBlock(line, content);
                return;
            case Block::Cue:
                if (holdsArrow(content)) {
                    closeCue(line);
                    startBlock(line, content);
                } else {
                    _cue->payloadEnd = line.contentEnd;
                }
                return;
        }
    }

    void startBlock(const SourceLine& line, std::string_view content) {
        _blockLines = 1;
        _seenArrow = false;
        _block = Block::Other;
        if (holdsArrow(content))
            takeTiming(line, content);
        else if (startsNonCueBlock(content))
            _block = Block::Skipped;
    }

    void takeTiming(const SourceLine& line, std::string_view content) {
        _seenArrow = true;
        if (!hasWebVttTimings(content)) return;
        _cue = OpenCue{line, line.end};
        _block = Block::Cue;
    }

    // Ends the open cue, if any, at `next`: the line after it, none at the end of the file.
    void closeCue(const std::optional<SourceLine>& next) {
        if (!_cue) return;
        const SourceLine& timing = _cue->timing;
        const std::string_view timingEnd = timing.lineEnd(_document);
        TextSpan span{timing.end,
                      _cue->payloadEnd,
                      static_cast<std::int64_t>(_spans.size() + 1),
                      lineEndOf(timingEnd.empty() ? firstLineEnd(_document) : timingEnd),
                      0,
                      0};
        span.headingBegin = timing.begin;
        span.headingEnd = timing.contentEnd;
        if (span.begin == span.end) {
            // A text given to the empty payload gets lines of its own, and a blank
            // line before a cue that follows at once.
            if (timingEnd.empty()) span.fillBefore = 1;
            if (next) span.fillAfter = next->content(_document).empty() ? 1 : 2;
        }
        _spans.push_back(std::move(span));
        _cue.reset();
    }

    std::string_view _document;
    LineCursor _lines;
    Block _block = Block::Header;
    int _blockLines = 0;
    bool _seenArrow = false;
    std::optional<OpenCue> _cue;
    std::vector<TextSpan> _spans;
};

}  // namespace

bool hasWebVttTimings(std::string_view line) {
    skipBlanks(line);
    if (!takeTimestamp(line)) return false;
    skipBlanks(line);
    if (!line.starts_with("-->")) return false;
    line.remove_prefix(3);
    skipBlanks(line);
    return takeTimestamp(line);
}

std::vector<TextSpan> findWebVttSpans(std::string_view document) {
    if (!hasWebVttHeader(document)) throw SubtitleFormatError("not a WebVTT file: no WEBVTT header");
    return SpanFinder(document).find();
}
