#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/format_error.h"
#include "document/subtitle_document.h"
#include "document/webvtt_spans.h"
#include "document/written_form.h"
#include "test_support.h"

namespace {

using KeyedTexts = std::vector<std::pair<std::string, std::string>>;

KeyedTexts keyedTexts(const std::string& document) {
    KeyedTexts texts;
    for (const TextSpan& span : findWebVttSpans(document)) texts.emplace_back(span.key(), spanText(document, span));
    return texts;
}

// `document` with the text of its span `index` replaced by `text`.
std::string withText(const std::string& document, std::size_t index, const std::string& text) {
    const SubtitleDocument read = readDocument(document, SubtitleFormat::WebVtt);
    const TextSpan& span = read.spans.at(index);
    return document.substr(0, span.begin) + writtenSpan(read.format, read.text, span, text) + document.substr(span.end);
}

TEST(WebVttSpans, CueTextsAreThePayloadsAfterTimingLines) {
    const struct {
        std::string document;
        KeyedTexts expected;
    } cases[] = {
        {"WEBVTT\n\n00:01.000 --> 00:02.000\nHello\nworld\n\n00:03.000 --> 00:04.000\nBye\n",
         {{"1", "Hello\nworld"}, {"2", "Bye"}}},
        {"\xEF\xBB\xBFWEBVTT\r\n\r\nintro\r\n00:00:01.000 --> 00:00:02.000 align:start line:0\r\n<v Ann>Hi</v>\r\n"
         "there\r\n",
         {{"1", "<v Ann>Hi</v>\nthere"}}},
        {"WEBVTT\r\r00:01.000 --> 00:02.000\rOne\rTwo", {{"1", "One\nTwo"}}},
        {"WEBVTT - title\nKind: captions\n\nSTYLE\n::cue { color: red }\n\nREGION\nid:r1\nwidth:40%\n\n"
         "NOTE a comment\nover lines\n\n00:01.000 --> 00:02.000 region:r1\nText\n\nNOTE\nafter\n\nSTYLE\n::cue {}\n",
         {{"1", "Text"}}},
        // A timing line cuts short the header and a payload; NOTE, STYLE and REGION
        // blocks are never cues, whatever they hold.
        {"WEBVTT\tx\nKind: captions\n00:01.000 --> 00:02.000\nA\n00:03.000 --> 00:04.000\nB\n\n"
         "NOTE x\n00:05.000 --> 00:06.000\nC\n\nSTYLE\n00:05.000 --> 00:06.000\n\nNOTE\nsee --> v2\nrest\n\n"
         "00:07.000 --> 00:08.000\nD",
         {{"1", "A"}, {"2", "B"}, {"3", "D"}}},
        // An arrow opens a cue only between time stamps that parse; any arrow line ends a payload.
        {"WEBVTT\n\n00:01 --> 00:02\nA\n\nid\n0:00:01.000 --> 0:00:02.000\nB\nC --> D\nE\n"
         "00:03.000-->00:04.000 align:start\nF\n\n00:05.000 --> 00:61.000\nG\n\n1:2:03.000 --> 1:02:03.000\nH\n",
         {{"1", "B"}, {"2", "F"}}},
        {"WEBVTT\n\n00:01.000 --> 00:02.000\n \nso<00:00:01.500><c> far</c>\n\n",
         {{"1", " \nso<00:00:01.500><c> far</c>"}}},
        {"WEBVTT\n\n1\n00:01.000 --> 00:02.000\n\n2\n00:03.000 --> 00:04.000\n00:05.000 --> 00:06.000\nX\n\n"
         "00:07.000 --> 00:08.000",
         {{"1", ""}, {"2", ""}, {"3", "X"}, {"4", ""}}},
        // Line ends of every kind are read as "\n".
        {"WEBVTT\n\n00:01.000 --> 00:02.000\na\r\nb\r\n\n00:03.000 --> 00:04.000\nc\r\nd\ne\n",
         {{"1", "a\nb"}, {"2", "c\nd\ne"}}},
        {"WEBVTT\n\nstray line\nanother\n\n", {}},
        {"WEBVTT", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(keyedTexts(c.document), c.expected) << c.document;
}

TEST(WebVttSpans, FileWithoutTheHeaderIsRefused) {
    for (const std::string document : {"", "WEBVTTX\n", "webvtt\n", " WEBVTT\n", "\xEF\xBB\xBF\xEF\xBB\xBFWEBVTT\n",
                                       "1\n00:01,000 --> 00:02,000\nA\n"}) {
        EXPECT_THROW(findWebVttSpans(document), SubtitleFormatError) << document;
    }
}

// A text written into a span takes the file's line ends, gets lines of its own in
// a cue that had none, and reads back as written.
TEST(WebVttSpans, WrittenTextKeepsTheCueStructure) {
    const struct {
        std::string document;
        std::string text;
        std::string expected;
    } cases[] = {
        {"WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\nA\r\nB\r\n", "X\nY\nZ",
         "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\nX\r\nY\r\nZ\r\n"},
        {"WEBVTT\n\n00:01.000 --> 00:02.000\n\n00:03.000 --> 00:04.000\nB\n", "A",
         "WEBVTT\n\n00:01.000 --> 00:02.000\nA\n\n00:03.000 --> 00:04.000\nB\n"},
        {"WEBVTT\n\n00:01.000 --> 00:02.000\n00:03.000 --> 00:04.000\nB\n", "A",
         "WEBVTT\n\n00:01.000 --> 00:02.000\nA\n\n00:03.000 --> 00:04.000\nB\n"},
        {"WEBVTT\r\r00:01.000 --> 00:02.000", "A\nB", "WEBVTT\r\r00:01.000 --> 00:02.000\rA\rB"},
        {"WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\n", "A", "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\nA"},
    };
    for (const auto& c : cases) {
        const std::string written = withText(c.document, 0, c.text);
        EXPECT_EQ(written, c.expected) << c.document;
        EXPECT_EQ(keyedTexts(written).at(0).second, c.text) << c.document;
    }
}

TEST(WebVttSpans, SampleFilesGiveTheirCues) {
    const struct {
        std::string file;
        std::size_t cues;
        std::size_t index;
        std::string text;
    } cases[] = {
        {"y_captions-auto.vtt", 7, 1, "okay so this fern has clearly\n "},
        {"y_dialogue-crlf.vtt", 5, 1, "<v.loud Old Tomas>Who's asking at this hour?\nGo home, girl!</v>"},
        {"y_quiz-cr-empty-cues.vtt", 4, 0, "Question one:\nwhat is the capital of Peru?"},
    };
    for (const auto& c : cases) {
        const KeyedTexts texts = keyedTexts(test_support::readFile(std::string(TEST_DATA_DIR) + "/" + c.file));
        ASSERT_EQ(texts.size(), c.cues) << c.file;
        EXPECT_EQ(texts[c.index].second, c.text) << c.file;
    }
}

}  // namespace
