#pragma once

// SubRip cues and the parser that reads them.
//
// The parser reads text in the form cleanedSubRipText gives (UTF-8, "\n" line
// ends, no outer empty lines) cue by cue, as document/subrip_cues.h finds them: a
// cue opens at a timing line, and every other line ends up in some cue's text. It
// does no validation: a number line and a timing line are taken as they stand.
//
//     auto parser = SubtitleParserFactory::forText(cleanedSubRipText(fileContent)).getParser();
//     for (const SubtitleItem* cue : parser->getSubtitles()) use(cue->getSubNo(), cue->getText());

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Appends the pieces of `s` cut at every `delim` to `elems` and returns it. A
// delimiter at the very end gives no trailing empty piece; an empty `s` gives none.
std::vector<std::string>& split(const std::string& s, char delim, std::vector<std::string>& elems);

// A file's bytes as the parser reads them: UTF-16 with a byte-order mark decoded
// to UTF-8, a leading UTF-8 byte-order mark dropped, every line end ("\r\n", a lone
// "\r" or "\n") written "\n", and the lines from the first to the last non-empty
// one, without a final line end. A line of blanks stays: after a timing line it is
// a cue's text. Works in place.
std::string cleanedSubRipText(std::string content);

// A cue's timing line as it stands in the file, and the time strings read from
// it: the start is what stands before the arrow, trimmed, the end the first
// blank-separated piece after it, so position fields stay out. Both are empty
// when the line holds no "-->".
struct TimingLine {
    std::string line;
    std::string start;
    std::string end;

    static TimingLine read(std::string_view line);
};

// One SubRip cue: number, timing line, times as written and in milliseconds, the
// text lines joined by single spaces, and an analysis of that text into plain
// dialogue, speaker names and words. The analysis is made when one of its getters
// is first called, as most readers want only the text; that first call is not
// safe from several threads at once.
class SubtitleItem {
public:
    // A cue as the parser reads it.
    SubtitleItem(int subNo, TimingLine timing, std::string text);
    // A cue built from its times; its timing line is "start --> end".
    SubtitleItem(int subNo, std::string startTime, std::string endTime, std::string text, bool ignore = false,
                 std::string justDialogue = "", int speakerCount = 0, int nonDialogueCount = 0, int styleTagCount = 0,
                 int wordCount = 0, std::vector<std::string> speaker = {}, std::vector<std::string> nonDialogue = {},
                 std::vector<std::string> styleTags = {}, std::vector<std::string> word = {});

    // "hh:mm:ss,mmm" in milliseconds. Each field reads like C atoi (the part after
    // ',' is a count, so ",5" is 5 ms); a missing field counts 0.
    static std::int64_t timeMSec(const std::string& value);

    // Masks <style tags> unless keepHTML and (parenthesised asides) unless
    // doNotIgnoreNonDialogues, removes "NAME:" speaker markers unless
    // doNotRemoveSpeakerNames, and adds the result to the dialogue, speakers and
    // words collected so far, after the analysis with every flag off that every cue has.
    void extractInfo(bool keepHTML, bool doNotIgnoreNonDialogues, bool doNotRemoveSpeakerNames);

    int getSubNo() const { return _subNo; }
    // Exactly as read, blanks and position fields included; empty for text that
    // stood before the first cue.
    const std::string& getTimingLine() const { return _timingLine; }
    std::string getStartTimeString() const { return _startTimeString; }
    std::string getEndTimeString() const { return _endTimeString; }
    const std::string& getText() const { return _text; }
    // Hands the text over, leaving the cue's empty, for a reader that is done with
    // it: one cue's text can be most of a file.
    std::string releaseText() { return std::exchange(_text, {}); }

    // Counted from the time strings when asked for.
    std::int64_t getStartTime() const { return timeMSec(_startTimeString); }
    std::int64_t getEndTime() const { return timeMSec(_endTimeString); }
    // True when the analysis left no dialogue at all.
    bool getIgnoreStatus() const { return analysis().ignore; }
    // The dialogue as the analysis with these flags leaves it (the stored
    // dialogue is the one with every flag off).
    std::string getDialogue(bool keepHTML = false, bool doNotIgnoreNonDialogues = false,
                            bool doNotRemoveSpeakerNames = false) const;
    int getSpeakerCount() const { return analysis().speakerCount; }
    int getNonDialogueCount() const { return _nonDialogueCount; }
    int getStyleTagCount() const { return _styleTagCount; }
    int getWordCount() const { return analysis().wordCount; }
    std::vector<std::string> getIndividualWords() const { return analysis().word; }
    // Throws std::out_of_range for an index outside the words.
    std::string getWordByIndex(int index) const;
    std::vector<std::string> getSpeakerNames() const { return analysis().speaker; }
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
    // What extractInfo adds to, starting from the constructor's values.
    struct Analysis {
        bool ignore = false;
        std::string justDialogue;
        int speakerCount = 0;
        std::vector<std::string> speaker;
        int wordCount = 0;
        std::vector<std::string> word;
    };

    SubtitleItem(int subNo, std::string timingLine, std::string startTime, std::string endTime, std::string text,
                 Analysis initial);

    const Analysis& analysis() const;
    static void addAnalysis(const std::string& text, Analysis& analysis, bool keepHTML, bool doNotIgnoreNonDialogues,
                            bool doNotRemoveSpeakerNames);

    std::string _text;
    int _subNo;
    std::string _timingLine;
    std::string _startTimeString;
    std::string _endTimeString;
    mutable Analysis _analysis;
    mutable bool _analysed = false;
    int _nonDialogueCount;
    std::vector<std::string> _nonDialogue;
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
    // Holds no cues until something is parsed.
    SubRipParser() = default;
    // Reads the file `fileName`, cleaned.
    explicit SubRipParser(std::string fileName);

    void parse(std::string fileName) override;
    // Appends the cues of text in the form cleanedSubRipText gives.
    void parseCleanedText(std::string_view text);
};

// Hands out a parser for a file, or for SubRip text already in memory.
class SubtitleParserFactory {
public:
    explicit SubtitleParserFactory(std::string fileName);
    // `text` in the form cleanedSubRipText gives.
    static SubtitleParserFactory forText(std::string text);

    std::unique_ptr<SubtitleParser> getParser() const;

private:
    SubtitleParserFactory(std::string fileName, std::optional<std::string> text);

    std::string _fileName;
    std::optional<std::string> _text;
};
