#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "subrip.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

struct AnalysisCase {
    std::string text;
    Strings speakers;
    std::string dialogue;
    Strings words;
};

void PrintTo(const AnalysisCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class CueAnalysis : public testing::TestWithParam<AnalysisCase> {};

TEST_P(CueAnalysis, SplitsSpeakersDialogueAndWords) {
    const AnalysisCase& c = GetParam();
    const SubtitleItem cue(1, "00:00:01,000", "00:00:02,000", c.text);
    EXPECT_EQ(cue.getSpeakerNames(), c.speakers);
    EXPECT_EQ(cue.getSpeakerCount(), static_cast<int>(c.speakers.size()));
    EXPECT_EQ(cue.getDialogue(), c.dialogue);
    EXPECT_EQ(cue.getIndividualWords(), c.words);
    EXPECT_EQ(cue.getWordCount(), static_cast<int>(c.words.size()));
    EXPECT_EQ(cue.getIgnoreStatus(), c.dialogue.empty());
    EXPECT_EQ(cue.getText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CueAnalysis,
    testing::Values(
        AnalysisCase{"JOHN: Hello there.", {"JOHN"}, "Hello there.", {"Hello", "there."}},
        AnalysisCase{"MARY JANE: hi", {"MARY JANE"}, "hi", {"hi"}},
        AnalysisCase{"Hi. JOHN: hi", {" JOHN"}, "Hi. hi", {"Hi.", "hi"}},
        AnalysisCase{"hi JOHN: x", {" JOHN"}, "hi x", {"hi", "x"}},
        AnalysisCase{"so hi JOHN: x", {}, "so hi JOHN: x", {"so", "hi", "JOHN:", "x"}},
        AnalysisCase{"JOHN:Hello", {"JOHN"}, ":Hello", {":Hello"}},
        AnalysisCase{"Time: 10:30", {"Time", " 10"}, ":30", {":30"}}, AnalysisCase{":x", {""}, ":x", {":x"}},
        AnalysisCase{"<i>Hello</i>", {}, "Hello", {"Hello"}}, AnalysisCase{"<<a>b>c", {}, "c", {"c"}},
        AnalysisCase{"(laughs) Yes", {}, "Yes", {"Yes"}}, AnalysisCase{"(laughs)", {}, "", {}},
        AnalysisCase{"a <b c", {}, "a", {"a"}}, AnalysisCase{"a > b", {}, "a > b", {"a", ">", "b"}},
        AnalysisCase{"a  \t b", {}, "a b", {"a", "b"}}, AnalysisCase{"a\t b", {}, "a\tb", {"a\tb"}},
        AnalysisCase{"x~y", {}, "xy", {"xy"}}, AnalysisCase{"A\0B: x"s, {}, "A\0B: x"s, {"A\0B:"s, "x"}},
        AnalysisCase{"caf\xc3\xa9 JOS\xc3\x89: oui", {" JOS\xc3\x89"}, "caf\xc3\xa9 oui", {"caf\xc3\xa9", "oui"}},
        // Only ASCII capitals start a name.
        AnalysisCase{
            "so \xc3\x89T\xc3\x89: oui", {}, "so \xc3\x89T\xc3\x89: oui", {"so", "\xc3\x89T\xc3\x89:", "oui"}}));

TEST(CueAnalysis, FlagsKeepWhatTheyName) {
    const SubtitleItem cue(1, "", "", "JOHN: <i>(sighs) hi</i>");
    EXPECT_EQ(cue.getDialogue(true, false, false), "<i> hi</i>");
    EXPECT_EQ(cue.getDialogue(false, true, false), "(sighs) hi");
    EXPECT_EQ(cue.getDialogue(false, false, true), "JOHN: hi");
    EXPECT_THROW(cue.getWordByIndex(1), std::out_of_range);
    EXPECT_EQ(cue.getWordByIndex(0), "hi");
}

// The analysis a getter makes on first use is the one extractInfo adds to.
TEST(CueAnalysis, ExtractInfoAddsToTheFirstAnalysis) {
    SubtitleItem extractedFirst(1, "", "", "JOHN: hi");
    extractedFirst.extractInfo(true, true, true);
    SubtitleItem readFirst(1, "", "", "JOHN: hi");
    EXPECT_EQ(readFirst.getIndividualWords(), Strings{"hi"});
    readFirst.extractInfo(true, true, true);
    for (const SubtitleItem* cue : {&extractedFirst, &readFirst}) {
        EXPECT_EQ(cue->getSpeakerNames(), Strings{"JOHN"});
        EXPECT_EQ(cue->getIndividualWords(), (Strings{"hi", "hiJOHN:", "hi"}));
    }
}

struct TimeCase {
    const char* value;
    std::int64_t milliseconds;
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << '"' << c.value << '"'; }

class TimeMSec : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeMSec, CountsEachFieldLikeAtoi) {
    EXPECT_EQ(SubtitleItem::timeMSec(GetParam().value), GetParam().milliseconds);
}

INSTANTIATE_TEST_SUITE_P(Values, TimeMSec,
                         testing::Values(TimeCase{"01:02:03,456", 3723456}, TimeCase{"00:00:01,5", 1005},
                                         TimeCase{"596:31:23,648", 2147483648},
                                         TimeCase{"99999999999:00:00,000", 2147483647LL * 3600000},
                                         TimeCase{"00:00:01.000", 1000}, TimeCase{"", 0}, TimeCase{"7", 25200000},
                                         TimeCase{"0:2", 120000}, TimeCase{" 1:x:3,7", 3603007},
                                         TimeCase{"-00:00:06,843", 6843}, TimeCase{"00:00:01,", 1000},
                                         TimeCase{"0:0:2147483647,7", 2147483647LL * 1000 + 7}));

TEST(Split, KeepsInnerEmptyPiecesAndAppends) {
    Strings elems{"old"};
    EXPECT_EQ(split("a,,b,", ',', elems), (Strings{"old", "a", "", "b"}));
    Strings none;
    EXPECT_TRUE(split("", ',', none).empty());
}

struct Cue {
    int number;
    std::string start, end, text;
    bool operator==(const Cue&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Cue& c) {
    return os << c.number << '|' << c.start << '|' << c.end << '|' << c.text;
}

std::vector<Cue> cuesOf(const SubtitleParser& parser) {
    std::vector<Cue> cues;
    for (const SubtitleItem* item : parser.getSubtitles()) {
        cues.push_back({item->getSubNo(), item->getStartTimeString(), item->getEndTimeString(), item->getText()});
    }
    return cues;
}

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Cue> cues;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class Parser : public testing::TestWithParam<ParseCase> {};

TEST_P(Parser, ReadsTheCues) {
    const auto parser = SubtitleParserFactory::forText(cleanedSubRipText(GetParam().text)).getParser();
    EXPECT_EQ(cuesOf(*parser), GetParam().cues);
}

const std::string t1 = "00:00:01,000 --> 00:00:02,000";
const std::string t2 = "00:00:03,000 --> 00:00:04,000";
const Cue one{1, "00:00:01,000", "00:00:02,000", "a"};
const Cue two{2, "00:00:03,000", "00:00:04,000", "b"};

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Parser,
    testing::Values(
        ParseCase{"unterminated_last_line", "1\n" + t1 + "\na", {one}},
        ParseCase{"terminated_last_line", "1\n" + t1 + "\na\n", {one}},
        ParseCase{"lone_number_line_at_end", "1\n" + t1 + "\na\n\n2\n \n", {one}},
        ParseCase{"lines_joined_by_spaces", "1\n" + t1 + "\na\n b\nc", {{1, one.start, one.end, "a  b c"}}},
        ParseCase{"blank_lines_around_a_cue_without_number", "  \n" + t1 + "\n  ", {{1, one.start, one.end, "  "}}},
        ParseCase{"blank_text_line_after_timing",
                  "1\n" + t1 + "\n \t\n\n2\n" + t2 + "\nb",
                  {{1, one.start, one.end, " \t"}, two}},
        ParseCase{"arrow_in_text", "1\n" + t1 + "\nA --> B", {{1, one.start, one.end, "A --> B"}}},
        ParseCase{"positions_after_end", "1\n" + t1 + " X1:40 X2:600\na", {one}},
        ParseCase{"arrow_without_blanks", "1\n1-->2\na", {{1, "1", "2", "a"}}},
        ParseCase{"blanks_and_tabs_around_arrow", "1\n\t00:00:01,000 \t-->\t 00:00:02,000\t\na", {one}},
        ParseCase{"no_arrow_no_times", "1\n00:00:01,000 - > 00:00:02,000\na", {{1, "", "", "a"}}},
        ParseCase{"number_as_int",
                  "007\n" + t1 + "\na\n\n-2\n" + t1 + "\nb\n\n99999999999\n" + t1 + "\nc",
                  {{7, one.start, one.end, "a"}, {-2, one.start, one.end, "b"}, {2147483647, one.start, one.end, "c"}}},
        ParseCase{"byte_order_mark",
                  "\xEF\xBB\xBF"
                  "1\n" +
                      t1 + "\na",
                  {one}},
        ParseCase{"blank_run_stores_once", "1\n" + t1 + "\na\n\n \n\t\n2\n" + t2 + "\nb", {one, two}},
        ParseCase{"crlf_with_carriage_return_last", "1\r\n" + t1 + "\r\na\r\n\r", {one}},
        ParseCase{"lone_number_inside_continues_the_text",
                  "1\n" + t1 + "\na\n\n2\n\n3\n" + t1 + "\nc",
                  {{1, one.start, one.end, "a 2"}, {3, one.start, one.end, "c"}}},
        ParseCase{"block_without_cue_continues_the_text",
                  "1\n" + t1 + "\na\n\nb\nc\n\n2\n" + t2 + "\nb",
                  {{1, one.start, one.end, "a b c"}, two}},
        ParseCase{"next_cue_without_blank_line",
                  "1\n" + t1 + "\na\n2\n" + t2 + "\nb\n3\nx",
                  {one, {2, two.start, two.end, "b 3 x"}}},
        ParseCase{"cues_without_numbers_count_on",
                  "5\n" + t1 + "\na\n\n" + t2 + "\nb\n\n2147483647\n" + t1 + "\nc\n\n" + t2 + "\nd",
                  {{5, one.start, one.end, "a"},
                   {6, two.start, two.end, "b"},
                   {2147483647, one.start, one.end, "c"},
                   {2147483647, two.start, two.end, "d"}}},
        ParseCase{"only_a_whole_number_is_a_cue_number",
                  "abc\n" + t1 + "\na",
                  {{0, "", "", "abc"}, {1, one.start, one.end, "a"}}},
        ParseCase{"whole_number_then_any_line_is_text", "1\nnot a time\na", {{0, "", "", "1 not a time a"}}},
        ParseCase{"text_paragraph_before_a_numberless_cue",
                  "1\n" + t1 + "\nA\n\nHello\n" + t2 + "\nB",
                  {{1, one.start, one.end, "A Hello"}, {2, two.start, two.end, "B"}}},
        ParseCase{"numberless_cues_without_blank_lines",
                  t1 + "\nA\n" + t2 + "\nB\n" + t1 + "\n" + t2 + "\nC",
                  {{1, one.start, one.end, "A"},
                   {2, two.start, two.end, "B"},
                   {3, one.start, one.end, ""},
                   {4, two.start, two.end, "C"}}},
        ParseCase{"number_blank_line_timing_line",
                  "1\n\n" + t1 + "\n\na\n\n2\n\n" + t2 + "\n\nb",
                  {{1, one.start, one.end, "a"}, {2, two.start, two.end, "b"}}},
        ParseCase{"arrow_paragraph_without_time_is_text",
                  "1\n" + t1 + "\na\n\n--> b\n\n2\nwas a good year",
                  {{1, one.start, one.end, "a --> b 2 was a good year"}}},
        ParseCase{"lone_carriage_return_ends_a_line",
                  "1\n" + t1 + "\nline one\rline two\n",
                  {{1, one.start, one.end, "line one line two"}}},
        ParseCase{"byte_order_mark_inside",
                  "1\n" + t1 +
                      "\na\n\n\xEF\xBB\xBF"
                      "2\n" +
                      t2 + "\nb",
                  {one, two}},
        ParseCase{"text_before_the_first_cue",
                  "Subtitles by X\nfor Y\n\n1\n" + t1 + "\na",
                  {{0, "", "", "Subtitles by X for Y"}, one}},
        ParseCase{"old_mac_line_ends", "1\r" + t1 + "\ra\r\r2\r" + t2 + "\rb\r", {one, two}},
        ParseCase{"empty", "", {}}));

struct CleanCase {
    const char* name;
    std::string raw;
    std::string cleaned;
};

void PrintTo(const CleanCase& c, std::ostream* os) { *os << c.name; }

class Cleaning : public testing::TestWithParam<CleanCase> {};

TEST_P(Cleaning, TrimsOuterBlankLinesAndTheFinalLineEnd) {
    EXPECT_EQ(cleanedSubRipText(GetParam().raw), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(Texts, Cleaning,
                         testing::Values(CleanCase{"outer_blank_lines", "\n\n1\nx\n\n\n2\ny\n\n", "1\nx\n\n\n2\ny"},
                                         CleanCase{"carriage_returns_end_lines", "\r\n1\r\nx\ry\r\n\r\n", "1\nx\ny"},
                                         CleanCase{"old_mac_line_ends", "\r1\rx\r\r2\r", "1\nx\n\n2"},
                                         CleanCase{"utf16_le",
                                                   "\xFF\xFE"
                                                   "1\0\r\0\n\0\xE9\0\r\0"s,
                                                   "1\n\xC3\xA9"},
                                         CleanCase{"utf16_be",
                                                   "\xFE\xFF\0"
                                                   "1\0\n\0a"s,
                                                   "1\na"},
                                         CleanCase{"spaces_are_not_blank", " \n1\n \n", " \n1\n "},
                                         CleanCase{"byte_order_mark_then_blank", "\xEF\xBB\xBF\n1\nx", "1\nx"},
                                         CleanCase{"only_blank", "\n\r\n\n", ""}));

TEST(ParserFactory, ReadsAFileLikeText) {
    test_support::TempDir dir;
    test_support::writeFile(dir.file("a.srt"), "1\n" + t1 + "\na");
    EXPECT_EQ(cuesOf(*SubtitleParserFactory(dir.file("a.srt")).getParser()), std::vector<Cue>{one});
    EXPECT_TRUE(SubtitleParserFactory(dir.file("missing.srt")).getParser()->getSubtitles().empty());
}

}  // namespace
