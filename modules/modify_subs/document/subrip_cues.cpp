#include "document/subrip_cues.h"

#include <climits>
#include <utility>

#include "document/leading_int.h"
#include "document/subrip_lines.h"

namespace {

// Most lines are text that starts with a letter: they skip the trimming of Unicode
// spaces that a cue number needs.
bool mayBeWholeNumber(std::string_view content) {
    const std::string_view trimmed = trimmedBlanks(content);
    if (trimmed.empty()) return false;
    const auto first = static_cast<unsigned char>(trimmed.front());
    return (first >= '0' && first <= '9') || first == '+' || first == '-' || first >= 0x80;
}

// What the line before the one being read was.
enum class LastLine { None, Separator, Timing, Text };

class CueReader {
public:
    CueReader(std::string_view document, bool unicodeBlanks, const std::function<void(SubRipCue&&)>& each)
        : _document(document), _lines(document), _unicodeBlanks(unicodeBlanks), _each(each) {
        const std::size_t lastContent = document.find_last_not_of(" \t\r\n");
        _blankFrom = lastContent == std::string_view::npos ? 0 : lastContent + 1;
    }

    void read() && {
        while (const std::optional<SourceLine> line = _lines.next()) take(*line);
        finishCue();
    }

private:
    void take(const SourceLine& line) {
        const std::string_view content = withoutByteOrderMarks(line.content(_document));
        if (isBlankLine(content)) {
            takeBlank(line, content.empty());
            return;
        }
        const bool paragraphStart = _last == LastLine::None || _last == LastLine::Separator;
        const std::string_view number = _unicodeBlanks ? trimmedUnicodeBlanks(content) : content;
        if (mayBeWholeNumber(content) && isWholeNumber(number)) {
            LineCursor ahead = _lines;
            const std::optional<SourceLine> timing = nextNonBlank(ahead);
            if (timing && isTimingLike(timing->content(_document))) {
                _lines = ahead;
                open(leadingInt(number), *timing);
                return;
            }
            if (!timing && paragraphStart) return;  // a file cut off after a cue number
        }
        if (isArrowTiming(content) || (paragraphStart && isTimingWithTime(content))) {
            open(_previousNumber == INT_MAX ? INT_MAX : _previousNumber + 1, line);
            return;
        }
        addText(line);
    }

    // A blank line separates cues, except right after a timing line, where the
    // text of a cue may be a space, and after the last text of the file.
    void takeBlank(const SourceLine& line, bool empty) {
        if (!empty && _last == LastLine::Timing) {
            addText(line);
            _last = LastLine::Timing;
        } else if (!empty && _last == LastLine::Text && line.begin >= _blankFrom) {
            addText(line);
        } else {
            _last = LastLine::Separator;
        }
    }

    std::optional<SourceLine> nextNonBlank(LineCursor& lines) const {
        while (const std::optional<SourceLine> line = lines.next()) {
            if (!isBlankLine(line->content(_document))) return line;
        }
        return std::nullopt;
    }

    void finishCue() {
        if (_cue) _each(std::move(*_cue));
    }

    void open(int number, const SourceLine& timing) {
        finishCue();
        _cue = SubRipCue{number, timing, {}, timing.end};
        _previousNumber = number;
        _last = LastLine::Timing;
    }

    void addText(const SourceLine& line) {
        if (!_cue) _cue = SubRipCue{0, std::nullopt, {}, line.begin};
        std::vector<LineRun>& runs = _cue->text;
        if (!runs.empty() && _lastTextLineEnd == line.begin) {
            runs.back().end = line.contentEnd;
        } else {
            runs.push_back({line.begin, line.contentEnd});
        }
        _lastTextLineEnd = line.end;
        _last = LastLine::Text;
    }

    std::string_view _document;
    LineCursor _lines;
    bool _unicodeBlanks;
    std::size_t _blankFrom = 0;  // where the blank end of the file starts
    const std::function<void(SubRipCue&&)>& _each;
    std::optional<SubRipCue> _cue;  // the one whose lines are being read
    int _previousNumber = 0;
    LastLine _last = LastLine::None;
    std::size_t _lastTextLineEnd = 0;
};

}  // namespace

void forEachSubRipCue(std::string_view document, const std::function<void(SubRipCue&&)>& each, bool unicodeBlanks) {
    CueReader(document, unicodeBlanks, each).read();
}

std::vector<SubRipCue> readSubRipCues(std::string_view document, bool unicodeBlanks) {
    std::vector<SubRipCue> cues;
    forEachSubRipCue(document, [&](SubRipCue&& cue) { cues.push_back(std::move(cue)); }, unicodeBlanks);
    return cues;
}
