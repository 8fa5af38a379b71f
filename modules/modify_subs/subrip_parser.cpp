// Reading SubRip text into cues.

#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <utility>

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

// The blank lines right after `block`, a part of `text`, up to the first empty one.
std::string_view blankTail(std::string_view text, std::string_view block) {
    std::string_view after = text.substr(block.data() + block.size() - text.data());
    if (after.empty()) return after;
    after.remove_prefix(1);  // the block's line end
    std::size_t size = 0;
    for (std::string_view rest = after; const std::optional<std::string_view> line = takeLine(rest);) {
        if (line->empty() || !isBlankLine(*line)) break;
        size = line->data() + line->size() - after.data();
    }
    return after.substr(0, size);
}

// Builds cues from the blocks of cleaned text, in file order.
class CueReader {
public:
    explicit CueReader(std::vector<std::unique_ptr<SubtitleItem>>& cues) : _cues(cues) {}
    CueReader(const CueReader&) = delete;
    CueReader& operator=(const CueReader&) = delete;

    // `blankTail` holds the blank lines right after the block, up to the first
    // empty one. They are text after a timing line, so a cue whose text is a space
    // keeps it, and at the end of the file, as in a file cut there.
    void readBlock(std::string_view block, std::string_view blankTail, bool lastInFile) {
        _timingLineLast = false;
        if (!readLines(block, lastInFile)) return;
        if (_timingLineLast || lastInFile) appendText(blankTail);
    }

    // Stores the cue still open at the end of the text.
    void finish() { finishCue(); }

private:
    struct Draft {
        int number;
        TimingLine timing;
        std::string text;
    };

    // False for a block that is left out.
    bool readLines(std::string_view block, bool lastInFile) {
        std::string_view rest = block;
        const std::string_view first = *takeLine(rest);
        if (isTimingLike(first)) {
            openCue(_previousNumber == INT_MAX ? INT_MAX : _previousNumber + 1, first);
            readText(rest);
            return true;
        }
        std::string_view afterSecond = rest;
        if (const std::optional<std::string_view> second = takeLine(afterSecond)) {
            if (isTimingLike(*second) || isWholeNumber(first)) {
                openCue(leadingInt(first), *second);
                readText(afterSecond);
                return true;
            }
        } else if (lastInFile && isWholeNumber(first)) {
            return false;  // a cut-off file
        }
        readText(block);
        return true;
    }

    void openCue(int number, std::string_view timingLine) {
        finishCue();
        _draft = Draft{number, TimingLine::read(timingLine), {}};
        _previousNumber = number;
        _timingLineLast = true;
    }

    void finishCue() {
        if (!_draft) return;
        _cues.push_back(std::make_unique<SubtitleItem>(_draft->number, std::move(_draft->timing),
                                                       std::move(_draft->text)));
        _draft.reset();
    }

    // Text lines of the open cue, where a whole-number line before a timing-like
    // line opens the next cue even without a blank line before it. Text before
    // the first cue makes a cue of its own, numbered 0 and without a timing line.
    void readText(std::string_view lines) {
        std::string_view rest = lines;
        std::size_t runStart = 0;
        while (!rest.empty()) {
            const std::size_t lineStart = lines.size() - rest.size();
            const std::string_view line = *takeLine(rest);
            if (!isWholeNumber(line)) continue;
            std::string_view afterTiming = rest;
            const std::optional<std::string_view> timing = takeLine(afterTiming);
            if (!timing || !isTimingLike(*timing)) continue;
            appendText(lines.substr(runStart, lineStart == runStart ? 0 : lineStart - 1 - runStart));
            openCue(leadingInt(line), *timing);
            rest = afterTiming;
            runStart = lines.size() - rest.size();
        }
        appendText(lines.substr(runStart));
    }

    // `run` is whole lines; they join the text with single spaces.
    void appendText(std::string_view run) {
        if (run.empty()) return;
        if (!_draft) _draft = Draft{0, {}, {}};
        _timingLineLast = false;
        std::string& text = _draft->text;
        if (!text.empty()) text += ' ';
        std::replace_copy(run.begin(), run.end(), std::back_inserter(text), '\n', ' ');
    }

    std::vector<std::unique_ptr<SubtitleItem>>& _cues;
    std::optional<Draft> _draft;
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
    std::string_view after = line.substr(arrow + 3);
    after.remove_prefix(std::min(after.find_first_not_of(blanks), after.size()));
    timing.end = after.substr(0, after.find_first_of(blanks));
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
    std::ifstream infile(fileName, std::ios::binary);
    std::string content{std::istreambuf_iterator<char>(infile), std::istreambuf_iterator<char>()};
    if (infile.bad()) return;
    parseCleanedText(cleanedSubRipText(std::move(content)));
}

void SubRipParser::parseCleanedText(std::string_view text) {
    CueReader reader(_subtitles);
    std::string_view rest = text;
    std::optional<std::string_view> block = takeBlock(rest);
    while (block) {
        const std::string_view tail = blankTail(text, *block);
        const std::optional<std::string_view> following = takeBlock(rest);
        reader.readBlock(*block, tail, !following);
        block = following;
    }
    reader.finish();
}

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
