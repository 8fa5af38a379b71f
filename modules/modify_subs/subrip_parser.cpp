// Reading SubRip text into cues.

#include <algorithm>
#include <fstream>
#include <istream>
#include <sstream>
#include <utility>

#include "leading_int.h"
#include "subrip.h"

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with(byteOrderMark)) text.remove_prefix(byteOrderMark.size());
    return text;
}

// A CRLF file's blank separator lines still hold their "\r".
bool isBlankLine(std::string_view line) { return line.empty() || line == "\r"; }

}  // namespace

std::string cleanedSubRipText(std::string_view content) {
    content = withoutByteOrderMark(content);
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= content.size();) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    std::size_t first = 0;
    std::size_t last = lines.size();
    while (first < last && isBlankLine(lines[first])) ++first;
    while (last > first && isBlankLine(lines[last - 1])) --last;

    std::string cleaned;
    for (std::size_t i = first; i < last; ++i) {
        cleaned += lines[i];
        if (i + 1 != last) cleaned += '\n';
    }
    return cleaned;
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

SubRipParser::SubRipParser(std::istream& content) { parse(content); }

void SubRipParser::parse(std::string fileName) {
    std::ifstream infile(fileName, std::ios::binary);
    if (infile) parse(infile);
}

void SubRipParser::parse(std::istream& content) {
    std::string line;
    std::string start;
    std::string end;
    std::string completeLine;
    std::string timeLine;
    int subNo = 0;
    // Non-blank lines since the last blank line: 0 waits for a number line.
    int turn = 0;
    bool firstLine = true;

    const auto storeCue = [&] {
        _subtitles.push_back(std::make_unique<SubtitleItem>(subNo, start, end, completeLine));
    };

    while (std::getline(content, line)) {
        std::erase(line, '\r');
        if (std::exchange(firstLine, false) && line.starts_with(byteOrderMark)) line.erase(0, byteOrderMark.size());

        if (line.empty()) {
            // Only a blank line that ends a cue stores one; a run of blank lines
            // stores nothing more.
            if (turn > 0) storeCue();
            timeLine.clear();
            completeLine.clear();
            turn = 0;
        } else if (turn == 0) {
            subNo = leadingInt(line);
            turn = 1;
            // A number line alone at the very end of the input is no cue.
            continue;
        } else if (line.find("-->") != std::string::npos) {
            timeLine += line;
            std::vector<std::string> srtTime;
            split(timeLine, ' ', srtTime);
            start = srtTime.empty() ? std::string() : srtTime[0];
            end = srtTime.size() > 2 ? srtTime[2] : std::string();
            ++turn;
        } else {
            if (!completeLine.empty()) completeLine += ' ';
            completeLine += line;
            ++turn;
        }
        // The last cue has no blank line after it when its line isn't terminated.
        if (content.eof() && turn > 0) storeCue();
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
    std::istringstream content(*_text);
    return std::make_unique<SubRipParser>(content);
}
