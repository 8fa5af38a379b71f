// The cue model: a cue's times and the analysis of its text.

#include "subrip.h"

#include <cctype>
#include <sstream>
#include <utility>

#include "leading_int.h"

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

std::string fieldOrEmpty(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? fields[index] : std::string();
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

SubtitleItem::SubtitleItem(int subNo, std::string startTime, std::string endTime, std::string text, bool ignore,
                           std::string justDialogue, int speakerCount, int nonDialogueCount, int styleTagCount,
                           int wordCount, std::vector<std::string> speaker, std::vector<std::string> nonDialogue,
                           std::vector<std::string> styleTags, std::vector<std::string> word)
    : _startTime(timeMSec(startTime)),
      _endTime(timeMSec(endTime)),
      _text(std::move(text)),
      _subNo(subNo),
      _startTimeString(std::move(startTime)),
      _endTimeString(std::move(endTime)),
      _ignore(ignore),
      _justDialogue(std::move(justDialogue)),
      _speakerCount(speakerCount),
      _speaker(std::move(speaker)),
      _nonDialogueCount(nonDialogueCount),
      _nonDialogue(std::move(nonDialogue)),
      _wordCount(wordCount),
      _word(std::move(word)),
      _styleTagCount(styleTagCount),
      _styleTag(std::move(styleTags)) {
    extractInfo(false, false, false);
}

std::int64_t SubtitleItem::timeMSec(const std::string& value) {
    std::vector<std::string> t;
    split(value, ':', t);
    std::vector<std::string> secs;
    split(fieldOrEmpty(t, 2), ',', secs);
    const std::int64_t hours = leadingInt(fieldOrEmpty(t, 0));
    const std::int64_t mins = leadingInt(fieldOrEmpty(t, 1));
    const std::int64_t seconds = leadingInt(fieldOrEmpty(secs, 0));
    const std::int64_t milliseconds = leadingInt(fieldOrEmpty(secs, 1));
    return hours * 3600000 + mins * 60000 + seconds * 1000 + milliseconds;
}

void SubtitleItem::extractInfo(bool keepHTML, bool doNotIgnoreNonDialogues, bool doNotRemoveSpeakerNames) {
    std::string output = maskedText(_text, keepHTML, doNotIgnoreNonDialogues);
    if (!doNotRemoveSpeakerNames) removeSpeakerNames(output, _speakerCount, _speaker);
    appendCollapsed(_justDialogue, output);
    trim(_justDialogue);
    if (_justDialogue.empty()) {
        _ignore = true;
        return;
    }
    split(_justDialogue, ' ', _word);
    _wordCount = static_cast<int>(_word.size());
}

std::string SubtitleItem::getDialogue(bool keepHTML, bool doNotIgnoreNonDialogues,
                                      bool doNotRemoveSpeakerNames) const {
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

std::string SubtitleItem::getWordByIndex(int index) const { return _word.at(static_cast<std::size_t>(index)); }

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
