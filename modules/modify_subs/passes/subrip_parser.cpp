// Reading SubRip text into cues.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iterator>
#include <utility>

#include "input_file.h"
#include "leading_int.h"
#include "subrip.h"
#include "subrip_lines.h"
#include "utf8_text.h"

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Lines end at "\n" alone; an old Mac file, holding no "\n" at all, at each "\r".
void normaliseLineEnds(std::string& content) {
    if (content.find('\n') == std::string::npos) {
        std::replace(content.begin(), content.end(), '\r', '\n');
    } else {
        std::erase(content, '\r');
    }
}

// Drops the empty lines at the start and the end, and the final line end. A line
// of blanks stays: after a timing line it is a cue's text.
void trimOuterEmptyLines(std::string& content) {
    content.erase(0, content.find_first_not_of('\n'));
    content.erase(content.find_last_not_of('\n') + 1);
}

std::string_view between(const char* begin, const char* end) { return {begin, static_cast<std::size_t>(end - begin)}; }

// The next line of `rest` when it is not blank, which is then taken off `rest`.
std::optional<std::string_view> takeNonBlankLine(std::string_view& rest) {
    std::string_view after = rest;
    const std::optional<std::string_view> line = takeLine(after);
    if (!line || isBlankLine(*line)) return std::nullopt;
    rest = after;
    return line;
}

// Takes the blank lines at the start of `rest` off it; false when nothing else is left.
bool skipBlankLines(std::string_view& rest) {
    for (std::string_view after = rest; const std::optional<std::string_view> line = takeLine(after);) {
        if (!isBlankLine(*line)) break;
        rest = after;
    }
    return !rest.empty();
}

// The blank lines at the start of `rest` up to the first empty one, taken off it.
std::string_view takeBlankTail(std::string_view& rest) {
    const char* const start = rest.data();
    const char* end = start;
    for (std::string_view after = rest; const std::optional<std::string_view> line = takeLine(after);) {
        if (line->empty() || !isBlankLine(*line)) break;
        end = line->data() + line->size();
        rest = after;
    }
    return between(start, end);
}

// Builds cues from cleaned text, block by block (the lines between blank lines),
// in file order.
class CueReader {
public:
    explicit CueReader(std::vector<std::unique_ptr<SubtitleItem>>& cues) : _cues(cues) {}
    CueReader(const CueReader&) = delete;
    CueReader& operator=(const CueReader&) = delete;

    void read(std::string_view text) {
        while (skipBlankLines(text)) readBlock(text);
        finishCue();
    }

private:
    struct Draft {
        int number;
        TimingLine timing;
        std::string text;
    };

    // Takes one block off `rest`, then the blank lines after it up to the first
    // empty one. Those are text after a timing line, so a cue whose text is a
    // space keeps it, and at the end of the file, as in a file cut there.
    void readBlock(std::string_view& rest) {
        _timingLineLast = false;
        const std::string_view first = *takeLine(rest);
        std::string_view afterSecond = rest;
        const std::optional<std::string_view> second = takeNonBlankLine(afterSecond);
        if (isTimingLike(first)) {
            openCue(_previousNumber == INT_MAX ? INT_MAX : _previousNumber + 1, first);
            readText(rest, rest.data(), rest.data());
        } else if (second && (isTimingLike(*second) || isWholeNumber(first))) {
            rest = afterSecond;
            openCue(leadingInt(first), *second);
            readText(rest, rest.data(), rest.data());
        } else if (!second && isWholeNumber(first) && isLast(rest)) {
            return;  // a cut-off file
        } else {
            readText(rest, first.data(), first.data() + first.size());
        }
        const bool last = isLast(rest);
        const std::string_view tail = takeBlankTail(rest);
        if (_timingLineLast || last) appendText(tail);
    }

    static bool isLast(std::string_view rest) { return rest.find_first_not_of(" \t\n") == std::string_view::npos; }

    // Takes the block's text lines off `rest`, adding them to the run of lines
    // from `runStart` to `runEnd` read already. A whole-number line before a
    // timing-like line opens the next cue even without a blank line before it.
    void readText(std::string_view& rest, const char* runStart, const char* runEnd) {
        while (const std::optional<std::string_view> line = takeNonBlankLine(rest)) {
            if (isWholeNumber(*line)) {
                std::string_view afterTiming = rest;
                const std::optional<std::string_view> timing = takeNonBlankLine(afterTiming);
                if (timing && isTimingLike(*timing)) {
                    appendText(between(runStart, runEnd));
                    openCue(leadingInt(*line), *timing);
                    rest = afterTiming;
                    runStart = runEnd = rest.data();
                    continue;
                }
            }
            runEnd = line->data() + line->size();
        }
        appendText(between(runStart, runEnd));
    }

    void openCue(int number, std::string_view timingLine) {
        finishCue();
        _draft = Draft{number, TimingLine::read(timingLine), {}};
        _open = true;
        _previousNumber = number;
        _timingLineLast = true;
    }

    void finishCue() {
        if (!std::exchange(_open, false)) return;
        _cues.push_back(
            std::make_unique<SubtitleItem>(_draft.number, std::move(_draft.timing), std::move(_draft.text)));
    }

    // `run` is whole lines; they join the text with single spaces. Text before
    // the first cue makes a cue of its own, numbered 0 and without a timing line.
    void appendText(std::string_view run) {
        if (run.empty()) return;
        if (!_open) {
            _draft = Draft{0, {}, {}};
            _open = true;
        }
        _timingLineLast = false;
        std::string& text = _draft.text;
        if (!text.empty()) text += ' ';
        const std::size_t runStart = text.size();
        text += run;
        for (std::size_t end = text.find('\n', runStart); end != std::string::npos; end = text.find('\n', end + 1)) {
            text[end] = ' ';
        }
    }

    std::vector<std::unique_ptr<SubtitleItem>>& _cues;
    Draft _draft{0, {}, {}};
    bool _open = false;
    int _previousNumber = 0;
    // The block read last ends with the open cue's timing line.
    bool _timingLineLast = false;
};

}  // namespace

std::string cleanedSubRipText(std::string content) {
    if (std::optional<std::string> decoded = utf8FromUtf16(content)) content = std::move(*decoded);
    if (content.starts_with(byteOrderMark)) content.erase(0, byteOrderMark.size());
    normaliseLineEnds(content);
    trimOuterEmptyLines(content);
    return content;
}

TimingLine TimingLine::read(std::string_view line) {
    TimingLine timing{std::string(line), {}, {}};
    const std::size_t arrow = line.find("-->");
    if (arrow == std::string_view::npos) return timing;
    timing.start = trimmedBlanks(line.substr(0, arrow));
    const std::string_view after = trimmedBlanks(line.substr(arrow + 3));
    timing.end =
        after.substr(0, static_cast<std::size_t>(std::find_if(after.begin(), after.end(), isBlank) - after.begin()));
    return timing;
}

std::vector<SubtitleItem*> SubtitleParser::getSubtitles() const {
    std::vector<SubtitleItem*> subtitles;
    subtitles.reserve(_subtitles.size());
    for (const std::unique_ptr<SubtitleItem>& item : _subtitles) subtitles.push_back(item.get());
    return subtitles;
}

SubRipParser::SubRipParser(std::string fileName) {
    _fileName = fileName;
    parse(std::move(fileName));
}

void SubRipParser::parse(std::string fileName) {
    InputFile file = readInputFile(fileName);
    if (file) parseCleanedText(cleanedSubRipText(std::move(file.bytes)));
}

void SubRipParser::parseCleanedText(std::string_view text) { CueReader(_subtitles).read(text); }

SubtitleParserFactory::SubtitleParserFactory(std::string fileName)
    : SubtitleParserFactory(std::move(fileName), std::nullopt) {}

SubtitleParserFactory::SubtitleParserFactory(std::string fileName, std::optional<std::string> text)
    : _fileName(std::move(fileName)), _text(std::move(text)) {}

SubtitleParserFactory SubtitleParserFactory::forText(std::string text) {
    return SubtitleParserFactory("", std::move(text));
}

std::unique_ptr<SubtitleParser> SubtitleParserFactory::getParser() const {
    if (!_text) return std::make_unique<SubRipParser>(_fileName);
    auto parser = std::make_unique<SubRipParser>();
    parser->parseCleanedText(*_text);
    return parser;
}
