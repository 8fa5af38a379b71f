#pragma once

// SubRip cues and the parser that reads them.
//
// The parser is line-driven and does no validation: a number line and a timing
// line are taken as they stand, everything else in a cue is text. The last cue
// is stored only when its last line has no line end, so parse the cleaned form of
// a file (cleanedSubRipText) to get every cue:
//
//     auto parser = SubtitleParserFactory::forText(cleanedSubRipText(fileContent)).getParser();
//     for (const SubtitleItem* cue : parser->getSubtitles()) use(cue->getSubNo(), cue->getText());

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Appends the pieces of `s` cut at every `delim` to `elems` and returns it. A
// delimiter at the very end gives no trailing empty piece; an empty `s` gives none.
std::vector<std::string>& split(const std::string& s, char delim, std::vector<std::string>& elems);

// The content from its first to its last non-blank line, without a final line
// end and without a leading UTF-8 byte-order mark. A line holding only "\r" is
// blank too; blank lines in the middle stay.
std::string cleanedSubRipText(std::string_view content);

// One SubRip cue: number, times as written and in milliseconds, the text lines
// joined by single spaces, and an analysis of that text into plain dialogue,
// speaker names and words.
class SubtitleItem {
public:
    SubtitleItem(int subNo, std::string startTime, std::string endTime, std::string text, bool ignore = false,
                 std::string justDialogue = "", int speakerCount = 0, int nonDialogueCount = 0,
                 int styleTagCount = 0, int wordCount = 0, std::vector<std::string> speaker = {},
                 std::vector<std::string> nonDialogue = {}, std::vector<std::string> styleTags = {},
                 std::vector<std::string> word = {});

    // "hh:mm:ss,mmm" in milliseconds. Each field reads like C atoi (the part after
    // ',' is a count, so ",5" is 5 ms); a missing field counts 0.
    static std::int64_t timeMSec(const std::string& value);

    // Masks <style tags> unless keepHTML and (parenthesised asides) unless
    // doNotIgnoreNonDialogues, removes "NAME:" speaker markers unless
    // doNotRemoveSpeakerNames, and adds the result to the dialogue, speakers and
    // words collected so far. The constructor runs it once with every flag off.
    void extractInfo(bool keepHTML, bool doNotIgnoreNonDialogues, bool doNotRemoveSpeakerNames);

    int getSubNo() const { return _subNo; }
    std::string getStartTimeString() const { return _startTimeString; }
    std::string getEndTimeString() const { return _endTimeString; }
    std::string getText() const { return _text; }

    std::int64_t getStartTime() const { return _startTime; }
    std::int64_t getEndTime() const { return _endTime; }
    // True when the analysis left no dialogue at all.
    bool getIgnoreStatus() const { return _ignore; }
    // The dialogue as the analysis with these flags leaves it (the stored
    // dialogue is the one with every flag off).
    std::string getDialogue(bool keepHTML = false, bool doNotIgnoreNonDialogues = false,
                            bool doNotRemoveSpeakerNames = false) const;
    int getSpeakerCount() const { return _speakerCount; }
    int getNonDialogueCount() const { return _nonDialogueCount; }
    int getStyleTagCount() const { return _styleTagCount; }
    int getWordCount() const { return _wordCount; }
    std::vector<std::string> getIndividualWords() const { return _word; }
    // Throws std::out_of_range for an index outside the words.
    std::string getWordByIndex(int index) const;
    std::vector<std::string> getSpeakerNames() const { return _speaker; }
    std::vector<std::string> getNonDialogueWords() const { return _nonDialogue; }
    std::vector<std::string> getStyleTags() const { return _styleTag; }

    // Word timings are not in a SubRip file; they are whatever setWordTimes gave.
    std::vector<std::int64_t> getWordStartTimes() const { return _wordStartTime; }
    std::vector<std::int64_t> getWordEndTimes() const { return _wordEndTime; }
    std::vector<std::int64_t> getWordDurations() const { return _wordDuration; }
    // Throw std::out_of_range for an index outside the timings.
    std::int64_t getWordStartTimeByIndex(int index) const;
    std::int64_t getWordEndTimeByIndex(int index) const;
    void setWordTimes(std::vector<std::int64_t> startTimes, std::vector<std::int64_t> endTimes,
                      std::vector<std::int64_t> durations);

private:
    std::int64_t _startTime;
    std::int64_t _endTime;
    std::string _text;
    int _subNo;
    std::string _startTimeString;
    std::string _endTimeString;
    bool _ignore;
    std::string _justDialogue;
    int _speakerCount;
    std::vector<std::string> _speaker;
    int _nonDialogueCount;
    std::vector<std::string> _nonDialogue;
    int _wordCount;
    std::vector<std::string> _word;
    std::vector<std::int64_t> _wordStartTime;
    std::vector<std::int64_t> _wordEndTime;
    std::vector<std::int64_t> _wordDuration;
    int _styleTagCount;
    std::vector<std::string> _styleTag;
};

// One word of a cue.
class SubtitleWord {
public:
    SubtitleWord() = default;
    explicit SubtitleWord(std::string text) : _text(std::move(text)) {}
    virtual ~SubtitleWord() = default;

    virtual std::string getText() const { return _text; }

private:
    std::string _text;
};

// A parser owns the cues it read; they live as long as the parser.
class SubtitleParser {
public:
    SubtitleParser() = default;
    SubtitleParser(const SubtitleParser&) = delete;
    SubtitleParser& operator=(const SubtitleParser&) = delete;
    virtual ~SubtitleParser() = default;

    // Appends the cues of the file `fileName`; a file that can't be read adds none.
    virtual void parse(std::string fileName) = 0;
    // The cues in file order. The pointers stay owned by the parser.
    virtual std::vector<SubtitleItem*> getSubtitles() const;

protected:
    std::vector<std::unique_ptr<SubtitleItem>> _subtitles;
    std::string _fileName;
};

class SubRipParser : public SubtitleParser {
public:
    // Reads the file `fileName`.
    explicit SubRipParser(std::string fileName);
    // Reads SubRip text from `content`, for text that is already in memory.
    explicit SubRipParser(std::istream& content);

    void parse(std::string fileName) override;
    void parse(std::istream& content);
};

// Hands out a parser for a file, or for SubRip text already in memory.
class SubtitleParserFactory {
public:
    explicit SubtitleParserFactory(std::string fileName);
    static SubtitleParserFactory forText(std::string text);

    std::unique_ptr<SubtitleParser> getParser() const;

private:
    SubtitleParserFactory(std::string fileName, std::optional<std::string> text);

    std::string _fileName;
    std::optional<std::string> _text;
};
