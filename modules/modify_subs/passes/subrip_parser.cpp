// Reading SubRip text into cues.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iterator>
#include <utility>

#include "document/subrip_cues.h"
#include "document/subrip_lines.h"
#include "io/input_file.h"
#include "subrip.h"
#include "text/utf8_text.h"

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Lines end at "\n" alone: each "\r\n" and each other "\r" is one line end.
void normaliseLineEnds(std::string& content) {
    std::size_t kept = 0;
    for (std::size_t at = 0; at < content.size(); ++at) {
        if (content[at] == '\r') {
            content[kept++] = '\n';
            if (at + 1 < content.size() && content[at + 1] == '\n') ++at;
        } else {
            content[kept++] = content[at];
        }
    }
    content.resize(kept);
}

// Drops the empty lines at the start and the end, and the final line end. A line
// of blanks stays: after a timing line it is a cue's text.
void trimOuterEmptyLines(std::string& content) {
    content.erase(0, content.find_first_not_of('\n'));
    content.erase(content.find_last_not_of('\n') + 1);
}

// The cue's text runs joined by single spaces, as one line.
std::string joinedText(std::string_view text, const std::vector<LineRun>& runs) {
    std::string joined;
    for (const LineRun& run : runs) {
        if (!joined.empty()) joined += ' ';
        const std::size_t runStart = joined.size();
        joined += text.substr(run.begin, run.end - run.begin);
        std::replace(joined.begin() + static_cast<std::ptrdiff_t>(runStart), joined.end(), '\n', ' ');
    }
    return joined;
}

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

void SubRipParser::parseCleanedText(std::string_view text) {
    for (const SubRipCue& cue : readSubRipCues(text)) {
        TimingLine timing = cue.timing ? TimingLine::read(cue.timing->content(text)) : TimingLine{};
        _subtitles.push_back(std::make_unique<SubtitleItem>(cue.number, std::move(timing), joinedText(text, cue.text)));
    }
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
