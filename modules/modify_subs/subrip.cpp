// The cue model: a cue's times and the analysis of its text.

#include "subrip.h"

#include <cctype>
#include <sstream>
#include <string_view>
#include <utility>

#include "document/leading_int.h"

std::vector<std::string>& split(const std::string& s, char delim, std::vector<std::string>& elems) {
    std::istringstream stream(s);
    std::string item;
    while (std::getline(stream, item, delim)) {
        elems.push_back(item);
    }
    return elems;
}

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isUpper(char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; }

// The piece `split` would give at `index`, or "" when there are fewer.
std::string_view piece(std::string_view text, char delim, std::size_t index) {
    for (; index > 0; --index) {
        const std::size_t end = text.find(delim);
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    return text.substr(0, text.find(delim));
}

// Every character from `open` up to its matching `close` becomes '~'. Nesting is
// counted, so an unclosed `open` swallows the rest; a stray `close` stays.
void mask(std::string& output, char open, char close) {
    int countP = 0;
    for (char& c : output) {
        if (c == open) {
            ++countP;
            c = '~';
        } else if (countP > 0) {
            if (c == close) --countP;
            c = '~';
        }
    }
}

std::string maskedText(const std::string& text, bool keepHTML, bool doNotIgnoreNonDialogues) {
    std::string output = text;
    if (!keepHTML) mask(output, '<', '>');
    if (!doNotIgnoreNonDialogues) mask(output, '(', ')');
    std::erase(output, '~');
    return output;
}

// Where the speaker name before the colon at `colonIndex` starts: it runs back
// over capitalised words to the start of the text, a sentence mark or a line
// break. nullopt when a lower-case word comes first, which makes the colon
// ordinary text ("so hi JOHN: x").
std::optional<std::size_t> speakerNameStart(const std::string& output, std::size_t colonIndex) {
    const std::size_t spaceBeforeColon = colonIndex > 0 && output[colonIndex - 1] == ' ' ? 2 : 0;
    std::size_t tempIndex = 0;
    bool continueFlag = false;
    if (colonIndex < spaceBeforeColon) return tempIndex;
    for (std::size_t j = colonIndex - spaceBeforeColon;; --j) {
        const char c = output[j];
        const bool sentenceMark = c == '.' || c == '!' || c == ',' || c == '?';
        if (!sentenceMark && c != '\n' && c != ' ' && j > 0) continue;
        if (sentenceMark) {
            if (j > 0) tempIndex = j + 1;
            return tempIndex;
        }
        if (j == 0) {
            if (continueFlag && isUpper(c)) tempIndex = 0;
            return tempIndex;
        }
        if (c == ' ' && isUpper(output[j + 1])) {
            tempIndex = j;
            continueFlag = true;
            continue;
        }
        if (c == ' ') return std::nullopt;
        return tempIndex;  // '\n'
    }
}

// Takes "NAME:" markers out of `output` and collects the names. The colon goes
// too only when a blank follows it; the blank itself stays.
void removeSpeakerNames(std::string& output, int& speakerCount, std::vector<std::string>& speakers) {
    // Scanning stops at an embedded NUL as at the end.
    std::size_t i = 0;
    while (output[i] != '\0') {
        if (output[i] != ':') {
            ++i;
            continue;
        }
        const std::size_t colonIndex = i;
        const std::optional<std::size_t> tempIndex = speakerNameStart(output, colonIndex);
        if (!tempIndex) {
            ++i;
            continue;
        }
        ++speakerCount;
        const std::size_t removeSpace = output[colonIndex + 1] == ' ' ? 1 : 0;
        speakers.push_back(output.substr(*tempIndex, colonIndex - *tempIndex));
        output.erase(*tempIndex, colonIndex - *tempIndex + removeSpace);
        i = *tempIndex + 1;
    }
}

// Appends `text`, keeping only the first character of every white-space run
// (counting the run that `dialogue` already ends with).
void appendCollapsed(std::string& dialogue, const std::string& text) {
    for (const char c : text) {
        if (isSpace(c) && !dialogue.empty() && isSpace(dialogue.back())) continue;
        dialogue += c;
    }
}

void trim(std::string& text) {
    static constexpr const char* whiteSpaces = " \t\n\r\f\v";
    text.erase(0, text.find_first_not_of(whiteSpaces));
    const std::size_t last = text.find_last_not_of(whiteSpaces);
    text.erase(last == std::string::npos ? 0 : last + 1);
}

}  // namespace

SubtitleItem::SubtitleItem(int subNo, TimingLine timing, std::string text)
    : SubtitleItem(subNo, std::move(timing.line), std::move(timing.start), std::move(timing.end), std::move(text),
                   Analysis{}) {}

SubtitleItem::SubtitleItem(int subNo, std::string startTime, std::string endTime, std::string text, bool ignore,
                           std::string justDialogue, int speakerCount, int nonDialogueCount, int styleTagCount,
                           int wordCount, std::vector<std::string> speaker, std::vector<std::string> nonDialogue,
                           std::vector<std::string> styleTags, std::vector<std::string> word)
    : SubtitleItem(
          subNo, startTime + " --> " + endTime, std::move(startTime), std::move(endTime), std::move(text),
          Analysis{ignore, std::move(justDialogue), speakerCount, std::move(speaker), wordCount, std::move(word)}) {
    _nonDialogueCount = nonDialogueCount;
    _nonDialogue = std::move(nonDialogue);
    _styleTagCount = styleTagCount;
    _styleTag = std::move(styleTags);
}

SubtitleItem::SubtitleItem(int subNo, std::string timingLine, std::string startTime, std::string endTime,
                           std::string text, Analysis initial)
    : _text(std::move(text)),
      _subNo(subNo),
      _timingLine(std::move(timingLine)),
      _startTimeString(std::move(startTime)),
      _endTimeString(std::move(endTime)),
      _analysis(std::move(initial)),
      _nonDialogueCount(0),
      _styleTagCount(0) {}

std::int64_t SubtitleItem::timeMSec(const std::string& value) {
    const std::string_view seconds = piece(value, ':', 2);
    const std::int64_t hours = leadingInt(piece(value, ':', 0));
    const std::int64_t mins = leadingInt(piece(value, ':', 1));
    const std::int64_t wholeSeconds = leadingInt(piece(seconds, ',', 0));
    return hours * 3600000 + mins * 60000 + wholeSeconds * 1000 + leadingInt(piece(seconds, ',', 1));
}

const SubtitleItem::Analysis& SubtitleItem::analysis() const {
    if (!_analysed) {
        _analysed = true;
        addAnalysis(_text, _analysis, false, false, false);
    }
    return _analysis;
}

void SubtitleItem::extractInfo(bool keepHTML, bool doNotIgnoreNonDialogues, bool doNotRemoveSpeakerNames) {
    analysis();
    addAnalysis(_text, _analysis, keepHTML, doNotIgnoreNonDialogues, doNotRemoveSpeakerNames);
}

void SubtitleItem::addAnalysis(const std::string& text, Analysis& analysis, bool keepHTML, bool doNotIgnoreNonDialogues,
                               bool doNotRemoveSpeakerNames) {
    std::string output = maskedText(text, keepHTML, doNotIgnoreNonDialogues);
    if (!doNotRemoveSpeakerNames) removeSpeakerNames(output, analysis.speakerCount, analysis.speaker);
    appendCollapsed(analysis.justDialogue, output);
    trim(analysis.justDialogue);
    if (analysis.justDialogue.empty()) {
        analysis.ignore = true;
        return;
    }
    split(analysis.justDialogue, ' ', analysis.word);
    analysis.wordCount = static_cast<int>(analysis.word.size());
}

std::string SubtitleItem::getDialogue(bool keepHTML, bool doNotIgnoreNonDialogues, bool doNotRemoveSpeakerNames) const {
    std::string output = maskedText(_text, keepHTML, doNotIgnoreNonDialogues);
    if (!doNotRemoveSpeakerNames) {
        int speakerCount = 0;
        std::vector<std::string> speakers;
        removeSpeakerNames(output, speakerCount, speakers);
    }
    std::string dialogue;
    appendCollapsed(dialogue, output);
    trim(dialogue);
    return dialogue;
}

std::string SubtitleItem::getWordByIndex(int index) const {
    return analysis().word.at(static_cast<std::size_t>(index));
}

std::int64_t SubtitleItem::getWordStartTimeByIndex(int index) const {
    return _wordStartTime.at(static_cast<std::size_t>(index));
}

std::int64_t SubtitleItem::getWordEndTimeByIndex(int index) const {
    return _wordEndTime.at(static_cast<std::size_t>(index));
}

void SubtitleItem::setWordTimes(std::vector<std::int64_t> startTimes, std::vector<std::int64_t> endTimes,
                                std::vector<std::int64_t> durations) {
    _wordStartTime = std::move(startTimes);
    _wordEndTime = std::move(endTimes);
    _wordDuration = std::move(durations);
}
