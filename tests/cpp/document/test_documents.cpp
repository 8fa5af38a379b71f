#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "document/format_error.h"
#include "document/subtitle_document.h"
#include "rules/replacement_rules.h"
#include "rules/text_rewriter.h"

namespace {

using KeyedTexts = std::vector<std::pair<std::string, std::string>>;

// One file through the document layer alone: the texts the rules see under their
// export keys, and the bytes written back after the rules.
struct DocumentCase {
    const char* name;
    SubtitleFormat format;
    std::string input;
    ReplacementRules rules;
    KeyedTexts texts;    // as read, before the rules
    std::string output;  // as written after them; empty when `refusedKey` is set
    std::string refusedKey = {};
};

void PrintTo(const DocumentCase& c, std::ostream* os) { *os << c.name; }

const std::string kAssHead =
    "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1\n\n"
    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

std::string assLine(const std::string& kind, const std::string& text, const std::string& end = "\n") {
    return kind + ": 0,0:00:01.00,0:00:02.00,Default,,0,0,0,," + text + end;
}

// Each time stamp field as the WebVTT parsing algorithm takes or refuses it; no rule changes them.
const std::string kTimeStamps =
    "WEBVTT\n\n"
    "00:00:01.0000 --> 00:00:02.000\nfour-digit milliseconds\n\n"
    "00:00:01.00 --> 00:00:02.000\ntwo-digit milliseconds\n\n"
    "0:01.000 --> 0:02.000\none-digit minutes without hours\n\n"
    "00:60.000 --> 00:61.000\nseconds out of range\n\n"
    "00:60:00.000 --> 01:00:00.000\nminutes out of range\n\n"
    "00:01.000 --> 00:02.000\nno hours\n\n"
    "123:00:01.000 --> 123:00:02.000\nthree-digit hours\n\n"
    "1:00:01.000 --> 1:00:02.000\none-digit hours\n";

const DocumentCase kCases[] = {
    // SubRip: lines joined by "\n", keys by cue number, line ends kept one by one.
    {"subrip_lines_and_keys",
     SubtitleFormat::SubRip,
     "1\n00:00:01,000 --> 00:00:02,000\nHello\nworld\n\n2\n00:00:03,000 --> 00:00:04,000\nBye\n",
     {{"o", "0"}},
     {{"1", "Hello\nworld"}, {"2", "Bye"}},
     "1\n00:00:01,000 --> 00:00:02,000\nHell0\nw0rld\n\n2\n00:00:03,000 --> 00:00:04,000\nBye\n"},
    {"subrip_repeated_number_keys",
     SubtitleFormat::SubRip,
     "1\n00:00:01,000 --> 00:00:02,000\nA\n\n1\n00:00:03,000 --> 00:00:04,000\nB\n\n1\n00:00:05,000 --> "
     "00:00:06,000\nC\n",
     {},
     {{"1", "A"}, {"1#2", "B"}, {"1#3", "C"}},
     "1\n00:00:01,000 --> 00:00:02,000\nA\n\n1\n00:00:03,000 --> 00:00:04,000\nB\n\n1\n00:00:05,000 --> "
     "00:00:06,000\nC\n"},
    {"subrip_text_keeps_its_own_line_end",
     SubtitleFormat::SubRip,
     "1\n00:00:01,000 --> 00:00:02,000\na\r\nb\n",
     {{"b", "B"}},
     {{"1", "a\nb"}},
     "1\n00:00:01,000 --> 00:00:02,000\na\r\nB\n"},
    {"subrip_added_line_takes_the_file_line_end",
     SubtitleFormat::SubRip,
     "1\r\n00:00:01,000 --> 00:00:02,000\r\na\rb\r\n",
     {{"b", "b\nc"}},
     {{"1", "a\nb"}},
     "1\r\n00:00:01,000 --> 00:00:02,000\r\na\rb\r\nc\r\n"},
    {"subrip_cr_only_file",
     SubtitleFormat::SubRip,
     "1\r00:00:01,000 --> 00:00:02,000\rx\ry\r",
     {{"y", "z"}},
     {{"1", "x\ny"}},
     "1\r00:00:01,000 --> 00:00:02,000\rx\rz\r"},
    {"subrip_empty_line_written_is_left_out",
     SubtitleFormat::SubRip,
     "1\n00:00:01,000 --> 00:00:02,000\n[MUSIC]\nHello\n",
     {{"\\[MUSIC\\]", ""}},
     {{"1", "[MUSIC]\nHello"}},
     "1\n00:00:01,000 --> 00:00:02,000\nHello\n"},
    {"subrip_line_that_opens_a_cue_is_refused",
     SubtitleFormat::SubRip,
     "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n",
     {{"^B$", "B\n\n3\n00:00:05,000 --> 00:00:06,000\nC"}},
     {{"1", "A"}, {"2", "B"}},
     "",
     "2"},
    // WebVTT: the time stamps the parsing algorithm takes, and arrows written escaped.
    {"webvtt_arrow_written_escaped",
     SubtitleFormat::WebVtt,
     "WEBVTT\n\n00:01.000 --> 00:02.000\ngo to\n",
     {{"to", "-->"}},
     {{"1", "go to"}},
     "WEBVTT\n\n00:01.000 --> 00:02.000\ngo --&gt;\n"},
    {"webvtt_time_stamp_fields",
     SubtitleFormat::WebVtt,
     kTimeStamps,
     {},
     {{"1", "no hours"}, {"2", "three-digit hours"}, {"3", "one-digit hours"}},
     kTimeStamps},
    // ASS: a line break a rule writes is "\N", one for each break whatever its bytes.
    {"ass_crlf_break_is_one",
     SubtitleFormat::Ass,
     kAssHead + assLine("Dialogue", "a b"),
     {{" ", "\r\n"}},
     {{"1", "a b"}},
     kAssHead + assLine("Dialogue", "a\\Nb")},
    {"ass_lf_cr_breaks_are_two",
     SubtitleFormat::Ass,
     kAssHead + assLine("Dialogue", "a b"),
     {{" ", "\n\r"}},
     {{"1", "a b"}},
     kAssHead + assLine("Dialogue", "a\\N\\Nb")},
    {"ass_keys_count_dialogue_lines_only",
     SubtitleFormat::Ass,
     kAssHead + assLine("Comment", "skip me", "\r\n") + assLine("Dialogue", "one", "\r\n") +
         assLine("Dialogue", "two", "\r\n"),
     {{"o", "0"}},
     {{"1", "one"}, {"2", "two"}},
     kAssHead + assLine("Comment", "skip me", "\r\n") + assLine("Dialogue", "0ne", "\r\n") +
         assLine("Dialogue", "tw0", "\r\n")},
};

class DocumentLayer : public testing::TestWithParam<DocumentCase> {};

TEST_P(DocumentLayer, ReadTextsAndWriteThemBack) {
    const DocumentCase& c = GetParam();
    SubtitleDocument document = readDocument(c.input, c.format);
    const std::vector<std::string> keys = exportKeys(document.spans);
    KeyedTexts texts;
    for (std::size_t i = 0; i < keys.size(); ++i)
        texts.emplace_back(keys[i], spanText(document.text, document.spans[i]));
    EXPECT_EQ(texts, c.texts);

    TextRewriter none(ReplacementRules{}, RewriteMode{});
    EXPECT_EQ(rewriteDocument(readDocument(c.input, c.format), none), c.input) << "an empty list changes nothing";

    TextRewriter rules(c.rules, RewriteMode{});
    if (c.refusedKey.empty()) {
        EXPECT_EQ(rewriteDocument(std::move(document), rules), c.output);
        return;
    }
    try {
        rewriteDocument(std::move(document), rules);
        ADD_FAILURE() << "the rewrite was not refused";
    } catch (const UnwritableTextError& refused) {
        EXPECT_EQ(refused.key(), c.refusedKey);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, DocumentLayer, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DocumentCase>& info) { return std::string(info.param.name); });

}  // namespace
