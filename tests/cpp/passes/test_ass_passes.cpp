#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/libass_handles.h"
#include "io/word_list_file.h"
#include "module_passes.h"
#include "passes/ass_line_loop.h"
#include "rules/reference_substitution.h"
#include "stack/large_stack.h"
#include "test_support.h"
#include "text/utf8_text.h"

using test_support::readFile;
using test_support::TempDir;
using test_support::WorkingDirectory;
using test_support::writeFile;

namespace {

using Pass = std::string (*)(const std::string&, const std::string&);

using PassRun = test_support::CapturedCall;

PassRun runCaptured(Pass pass, const std::string& subfile, const std::string& words) {
    return test_support::captureCall([&] { return pass(subfile, words); });
}

void writeWords(const std::string& path, const ReplacementRules& words) {
    Json::Value root(Json::objectValue);
    for (const auto& [pattern, replacement] : words) root[pattern] = replacement;
    writeFile(path, Json::writeString(Json::StreamWriterBuilder(), root));
}

std::vector<std::string> directoryEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string badPatternMessage() {
    try {
        std::regex("(", std::regex_constants::icase);
    } catch (const std::regex_error& failure) {
        return failure.what();
    }
    return "(accepted)";
}

const std::string scriptInfo = "[Script Info]\nScriptType: v4.00+\n\n";
const std::string tenFields = "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
const std::string nineFieldsIn = "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,";
const std::string commentIn = "Comment: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,";

// ---------------------------------------------------------------- rewrite pass

struct RewriteCase {
    const char* name;
    std::string input;
    ReplacementRules words;
    std::string expected;
    std::string expectedStdout;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

class RewritePass : public testing::TestWithParam<RewriteCase> {};

TEST_P(RewritePass, RewritesOnlyTheTextFieldsOfEventDialogue) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    writeFile("show.ass", GetParam().input);
    writeWords("words.json", GetParam().words);

    const PassRun run = runCaptured(assSubtitles, "show.ass", "words.json");
    EXPECT_EQ(run.result, "[Quorvanted] show.ass");
    EXPECT_EQ(readFile("[Quorvanted] show.ass"), GetParam().expected);
    EXPECT_EQ(readFile("show.ass"), GetParam().input);
    EXPECT_EQ(run.out, GetParam().expectedStdout);
    EXPECT_EQ(run.err, "");
}

const ReplacementRules catToDog = {{"cat", "dog"}};
const ReplacementRules emptyFieldMarked = {{"^$", "EMPTY"}, {"cat", "dog"}};

INSTANTIATE_TEST_SUITE_P(
    Lines, RewritePass,
    testing::Values(
        RewriteCase{"crlf_kept_byte_for_byte",
                    "[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
                    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n" +
                        nineFieldsIn + "a cat\r\n" + commentIn + "a cat\r\n",
                    catToDog,
                    "[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
                    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n" +
                        nineFieldsIn + "a dog\r\n" + commentIn + "a cat\r\n",
                    "0\n"},
        RewriteCase{"carriage_return_is_no_part_of_the_text_field",
                    scriptInfo + "[Events]\r\n" + tenFields + nineFieldsIn + "cat\r\n",
                    {{"\r", "<CR>"}},
                    scriptInfo + "[Events]\r\n" + tenFields + nineFieldsIn + "cat\r\n",
                    "0\n"},
        RewriteCase{"last_line_gains_a_newline", scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "cat", catToDog,
                    scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "dog\n", "0\n"},
        RewriteCase{"empty_lines_kept_and_none_added", scriptInfo + "[Events]\n\n" + tenFields + "\n\n", catToDog,
                    scriptInfo + "[Events]\n\n" + tenFields + "\n\n", "0\n"},
        RewriteCase{"dialogue_before_any_format_line_cut_at_nine_commas",
                    scriptInfo + "[Events]\n" + nineFieldsIn + "cat\n" + tenFields + nineFieldsIn + "cat\n", catToDog,
                    scriptInfo + "[Events]\n" + nineFieldsIn + "dog\n" + tenFields + nineFieldsIn + "dog\n", "0\n"},
        RewriteCase{
            "eight_commas_give_an_empty_text_field",
            scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,cat\n",
            emptyFieldMarked,
            scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,catEMPTY\n",
            "0\n"},
        RewriteCase{"seven_commas_and_a_field_give_an_empty_text_field",
                    scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,cat\n",
                    emptyFieldMarked,
                    scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,catEMPTY\n",
                    "0\n"},
        RewriteCase{"seven_commas_ending_the_line_copied",
                    scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,\n" +
                        "Dialogue: 0,0:00:01.00,0:00:02.00,cat,,0\n",
                    emptyFieldMarked,
                    scriptInfo + "[Events]\n" + tenFields + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,\n" +
                        "Dialogue: 0,0:00:01.00,0:00:02.00,cat,,0\n",
                    "0\n"},
        RewriteCase{"commas_after_the_ninth_are_text",
                    scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "Well, well, cat\n",
                    {{",", ";"}},
                    scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "Well; well; cat\n",
                    "0\n"},
        RewriteCase{"styles_format_line_not_taken",
                    scriptInfo + "[V4+ Styles]\nFormat: Name, Fontname\nStyle: Default,Arial\n\n[Events]\n" +
                        nineFieldsIn + "cat\n",
                    {{"cat", "dog"}, {"default", "X"}},
                    scriptInfo + "[V4+ Styles]\nFormat: Name, Fontname\nStyle: Default,Arial\n\n[Events]\n" +
                        nineFieldsIn + "dog\n",
                    ""},
        RewriteCase{"later_styles_format_line_keeps_the_events_one",
                    scriptInfo + "[Events]\n" + tenFields + "[V4+ Styles]\nFormat: Name, Fontname\n[Events]\n" +
                        nineFieldsIn + "Default\n",
                    {{"default", "X"}},
                    scriptInfo + "[Events]\n" + tenFields + "[V4+ Styles]\nFormat: Name, Fontname\n[Events]\n" +
                        nineFieldsIn + "X\n",
                    "0\n"},
        RewriteCase{"bracketed_comment_does_not_end_the_events",
                    scriptInfo + "[Events]\n" + tenFields + commentIn + "[TS] cat\n" + nineFieldsIn + "cat\n", catToDog,
                    scriptInfo + "[Events]\n" + tenFields + commentIn + "[TS] cat\n" + nineFieldsIn + "dog\n", "0\n"},
        RewriteCase{"comment_holding_the_dialogue_marker_copied",
                    scriptInfo + "[Events]\n" + tenFields + commentIn + "Dialogue: cat\n", catToDog,
                    scriptInfo + "[Events]\n" + tenFields + commentIn + "Dialogue: cat\n", "0\n"},
        RewriteCase{"text_holding_the_format_marker_is_text",
                    scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "Format: cat, a\n" + nineFieldsIn + "cat\n",
                    catToDog,
                    scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "Format: dog, a\n" + nineFieldsIn + "dog\n",
                    "0\n"},
        RewriteCase{"blanks_before_markers_kept",
                    scriptInfo + "  [Events]\n\t" + tenFields + "  " + nineFieldsIn + "cat\n", catToDog,
                    scriptInfo + "  [Events]\n\t" + tenFields + "  " + nineFieldsIn + "dog\n", "1\n"},
        RewriteCase{"fonts_section_ends_the_events_and_format_survives",
                    scriptInfo + "[Events]\n" + tenFields + "[Fonts]\n" + nineFieldsIn + "cat\n[Events]\n" +
                        nineFieldsIn + "cat\n",
                    catToDog,
                    scriptInfo + "[Events]\n" + tenFields + "[Fonts]\n" + nineFieldsIn + "cat\n[Events]\n" +
                        nineFieldsIn + "dog\n",
                    "0\n"},
        RewriteCase{
            "byte_order_mark_does_not_hide_the_first_header",
            "\xEF\xBB\xBF[Events]\n" + tenFields + nineFieldsIn + "cat\n[Script Info]\nScriptType: v4.00+\n", catToDog,
            "\xEF\xBB\xBF[Events]\n" + tenFields + nineFieldsIn + "dog\n[Script Info]\nScriptType: v4.00+\n", "0\n"}));

struct FieldCase {
    const char* master;
    const char* word;
    std::size_t expected;
};

void PrintTo(const FieldCase& c, std::ostream* os) { *os << '"' << c.word << '"'; }

class TextFieldStart : public testing::TestWithParam<FieldCase> {};

TEST_P(TextFieldStart, CountsCommasOnly) {
    EXPECT_EQ(find_nth(GetParam().master, GetParam().word), GetParam().expected);
}

constexpr const char* tenNames = " Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";
constexpr std::size_t none = std::string::npos;

// The ordinary comma counts are covered through the rewrite pass above.
INSTANTIATE_TEST_SUITE_P(Fields, TextFieldStart,
                         testing::Values(FieldCase{tenNames, "0,1,2,3,4,5,6,7,8,", 18}, FieldCase{tenNames, "", none},
                                         FieldCase{" Text", "anything, at all", none}, FieldCase{" A, Text", "", 0}));

// ---------------------------------------------------------------- export pass

TEST(ExportPass, KeysFollowTrackPositionAndSortAsText) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    std::string input = scriptInfo + "[Events]\n" + tenFields;
    for (int n = 1; n <= 12; ++n) input += nineFieldsIn + "cat " + std::to_string(n) + "\n";
    writeFile("show.ass", input);
    writeWords("words.json", catToDog);

    const PassRun run = runCaptured(modifyAss, "show.ass", "words.json");
    EXPECT_EQ(run.result, "[Quorvanted] show.json");
    EXPECT_EQ(run.out, "");

    const std::string document = readFile("[Quorvanted] show.json");
    std::vector<std::string> keys;
    const std::regex member("\"(\\d+)\" : \"dog (\\d+)\"");
    for (std::sregex_iterator it(document.begin(), document.end(), member), end; it != end; ++it) {
        EXPECT_EQ((*it)[1], (*it)[2]);
        keys.push_back((*it)[1]);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"1", "10", "11", "12", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

TEST(ExportPass, TrackWithoutEventsIsNullEvenWithABadPattern) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    writeFile("show.ass", scriptInfo + "[Events]\n" + tenFields + commentIn + "not an event\n");
    writeWords("words.json", {{"(", "x"}});

    const PassRun run = runCaptured(modifyAss, "show.ass", "words.json");
    EXPECT_EQ(run.result, "[Quorvanted] show.json");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile("[Quorvanted] show.json"), "null");
}

TEST(ExportPass, EventWithoutTextReadsAsEmpty) {
    ASS_Event event{};
    event.Text = nullptr;
    EXPECT_EQ(eventText(event), "");
}

// ---------------------------------------------------------------- both passes

struct ReplaceCase {
    const char* name;
    Pass pass;
    const char* output;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

class ExistingOutput : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ExistingOutput, IsReplacedWhole) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    writeFile("show.ass", scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "cat\n");
    writeWords("words.json", catToDog);
    writeFile(GetParam().output, std::string(100000, '~'));

    EXPECT_EQ(runCaptured(GetParam().pass, "show.ass", "words.json").result, GetParam().output);
    const std::string written = readFile(GetParam().output);
    EXPECT_NE(written.find("dog"), std::string::npos);
    EXPECT_EQ(written.find('~'), std::string::npos);
    EXPECT_EQ(directoryEntries(dir.path()), (std::vector<std::string>{GetParam().output, "show.ass", "words.json"}));
}

INSTANTIATE_TEST_SUITE_P(Passes, ExistingOutput,
                         testing::Values(ReplaceCase{"export", modifyAss, "[Quorvanted] show.json"},
                                         ReplaceCase{"rewrite", assSubtitles, "[Quorvanted] show.ass"}));

// A failure the pass reports itself: one line on the stated stream, "" returned,
// and no file left behind.
struct FailureCase {
    const char* name;
    Pass pass;
    std::string subfile;
    std::optional<std::string> subtitles;   // nullopt: no such file
    std::optional<ReplacementRules> words;  // nullopt: no such file
    std::string expectedStdout;
    std::string expectedStderr;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ReportedFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ReportedFailure, OneLineNoResultNoFile) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    std::filesystem::create_directory("sub");
    if (GetParam().subtitles) writeFile(GetParam().subfile, *GetParam().subtitles);
    if (GetParam().words) writeWords("words.json", *GetParam().words);
    const std::vector<std::string> before = directoryEntries(dir.path());
    const std::vector<std::string> beforeSub = directoryEntries("sub");

    const PassRun run = runCaptured(GetParam().pass, GetParam().subfile, "words.json");
    EXPECT_EQ(run.result, "");
    EXPECT_EQ(run.thrown, "");
    EXPECT_EQ(run.out, GetParam().expectedStdout);
    EXPECT_EQ(run.err, GetParam().expectedStderr);
    EXPECT_EQ(directoryEntries(dir.path()), before);
    EXPECT_EQ(directoryEntries("sub"), beforeSub);
}

const std::string validInput = scriptInfo + "[Events]\n" + tenFields + nineFieldsIn + "cat\n";

INSTANTIATE_TEST_SUITE_P(
    Failures, ReportedFailure,
    testing::Values(FailureCase{"export_missing_subtitles", modifyAss, "show.ass", std::nullopt, catToDog,
                                "Failed to load SSA file\n", ""},
                    FailureCase{"export_missing_both", modifyAss, "show.ass", std::nullopt, std::nullopt,
                                "Failed to load SSA file\n", ""},
                    FailureCase{"export_refused_by_library", modifyAss, "show.ass", "not a subtitle file\n", catToDog,
                                "Failed to load SSA file\n", ""},
                    FailureCase{"export_missing_words", modifyAss, "show.ass", validInput, std::nullopt,
                                "Failed to open replacement words file\n", ""},
                    FailureCase{"export_bad_pattern", modifyAss, "show.ass", validInput, ReplacementRules{{"(", "x"}},
                                badPatternMessage() + "\n", ""},
                    FailureCase{"export_missing_output_directory", modifyAss, "sub/show.ass", validInput, catToDog,
                                "Failed to open output file\n", ""},
                    FailureCase{"rewrite_missing_subtitles", assSubtitles, "show.ass", std::nullopt, catToDog, "",
                                "Could not open the input file: show.ass\n"},
                    FailureCase{"rewrite_missing_both", assSubtitles, "show.ass", std::nullopt, std::nullopt, "",
                                "Could not open the input file: show.ass\n"},
                    FailureCase{"rewrite_directory_as_input", assSubtitles, "sub", std::nullopt, catToDog, "",
                                "Error reading the input file.\n"},
                    FailureCase{"rewrite_refused_by_library", assSubtitles, "show.ass", "not a subtitle file\n",
                                catToDog, "", "Failed to parse the ASS file.\n"},
                    FailureCase{"rewrite_missing_output_directory", assSubtitles, "sub/show.ass", validInput, catToDog,
                                "0\n", "Could not open the output file: [Quorvanted] sub/show.ass\n"}));

// Failures the rewrite pass lets out as exceptions, with nothing written anywhere.
struct ThrownCase {
    const char* name;
    std::optional<ReplacementRules> words;
    std::string message;
    std::string expectedStdout;
};

void PrintTo(const ThrownCase& c, std::ostream* os) { *os << c.name; }

class RewriteThrows : public testing::TestWithParam<ThrownCase> {};

TEST_P(RewriteThrows, AndLeavesNoFile) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    writeFile("show.ass", validInput);
    if (GetParam().words) writeWords("words.json", *GetParam().words);
    const std::vector<std::string> before = directoryEntries(dir.path());

    const PassRun run = runCaptured(assSubtitles, "show.ass", "words.json");
    EXPECT_EQ(run.thrown, GetParam().message);
    EXPECT_EQ(run.out, GetParam().expectedStdout);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(directoryEntries(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Exceptions, RewriteThrows,
    testing::Values(ThrownCase{"missing_words", std::nullopt, "Failed to open replacement words file", ""},
                    ThrownCase{"bad_pattern", ReplacementRules{{"(", "x"}}, badPatternMessage(), "0\n"}));

// ---------------------------------------------------------------- real files

const ReplacementRules sampleWords = {{"a", "@"}, {"(\\w+)-san", "$1"}, {"e", "3"}};

// On the passes' stack: a drawing can be longer than the test thread's budget allows.
std::string substitutedReference(const std::string& text) {
    return onLargeStack([&] { return referenceSubstitution(sampleWords, text); });
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// These files put every event's "Dialogue:" at the start of a line and list the
// ten usual fields, so the text is whatever follows the ninth comma.
std::size_t textStart(const std::string& dialogue) {
    std::size_t pos = 0;
    for (int comma = 0; comma < 9; ++comma) pos = dialogue.find(',', pos) + 1;
    return pos;
}

class RealFile : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        _cwd.emplace(_dir.path());
        std::filesystem::copy_file(std::string(TEST_DATA_DIR) + "/" + GetParam(), "show.ass");
        writeWords("words.json", sampleWords);
        _input = readFile("show.ass");
    }

    TempDir _dir;
    std::optional<WorkingDirectory> _cwd;
    std::string _input;
};

TEST_P(RealFile, RewriteChangesOnlyDialogueText) {
    const PassRun run = runCaptured(assSubtitles, "show.ass", "words.json");
    ASSERT_EQ(run.result, "[Quorvanted] show.ass");
    EXPECT_EQ(run.out, "0\n");
    EXPECT_EQ(run.err, "");

    const std::vector<std::string> in = linesOf(_input);
    const std::vector<std::string> out = linesOf(readFile("[Quorvanted] show.ass"));
    ASSERT_EQ(in.size(), out.size());
    int rewritten = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (!in[i].starts_with("Dialogue:")) {
            EXPECT_EQ(out[i], in[i]) << "line " << i + 1;
            continue;
        }
        const std::size_t text = textStart(in[i]);
        EXPECT_EQ(out[i], in[i].substr(0, text) + substitutedReference(in[i].substr(text))) << "line " << i + 1;
        rewritten += out[i] != in[i];
    }
    EXPECT_GT(rewritten, 0);
}

TEST_P(RealFile, ExportHoldsEveryDialogueTextInOrder) {
    const PassRun run = runCaptured(modifyAss, "show.ass", "words.json");
    ASSERT_EQ(run.result, "[Quorvanted] show.json");
    EXPECT_EQ(run.out, "");

    Json::Value document;
    std::istringstream(readFile("[Quorvanted] show.json")) >> document;
    int position = 0;
    for (const std::string& line : linesOf(_input)) {
        if (!line.starts_with("Dialogue:")) continue;
        std::string text = line.substr(textStart(line));
        // libass drops the carriage return of a CRLF line end from the text.
        if (text.ends_with('\r')) text.pop_back();
        const std::string key = std::to_string(++position);
        EXPECT_EQ(document[key].asString(), substitutedReference(text)) << "event " << key;
    }
    EXPECT_EQ(document.size(), static_cast<Json::ArrayIndex>(position));
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealFile,
                         testing::Values("y_ass-format-tests.ass", "y_bleach-mon-ed-kara-templates.ass",
                                         "y_elfen-lied-op.ass", "y_haruhi-01-pt.ass"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// ---------------------------------------------------------------- rewrite agrees with export

// A file as the rewrite pass must see it, whatever libass makes of it.
struct AgreementCase {
    const char* name;
    std::string content;
    ReplacementRules words;
};

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.name; }

std::string sample(const char* name) { return readFile(std::string(TEST_DATA_DIR) + "/" + name); }

std::string utf16(std::u16string_view text, bool littleEndian) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

std::string withoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(" \t") + 1);
    return text;
}

struct SplitLine {
    std::string text;
    std::string end;
};

// Lines as libass splits them, each with its own end.
std::vector<SplitLine> splitLines(std::string_view text) {
    std::vector<SplitLine> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::size_t endLength = text.substr(end).starts_with("\r\n") ? 2 : end < text.size() ? 1 : 0;
        lines.push_back({std::string(text.substr(0, end)), std::string(text.substr(end, endLength))});
        text.remove_prefix(end + endLength);
    }
    return lines;
}

std::vector<std::string> exportedTexts(const std::string& wordsFile) {
    const PassRun run = runCaptured(modifyAss, "show.ass", wordsFile);
    EXPECT_EQ(run.result, "[Quorvanted] show.json") << run.out;
    Json::Value document;
    std::istringstream(readFile("[Quorvanted] show.json")) >> document;
    std::vector<std::string> texts;
    for (Json::ArrayIndex key = 1; key <= document.size(); ++key) {
        texts.push_back(withoutTrailingBlanks(document[std::to_string(key)].asString()));
    }
    return texts;
}

std::vector<std::string> libassTexts(const std::string& content) {
    const AssLibrary library = startQuietLibrary();
    const AssTrack track = readTrackMemory(*library, content);
    std::vector<std::string> texts;
    for (int i = 0; track && i < track->n_events; ++i) {
        texts.push_back(withoutTrailingBlanks(withValidUtf8(eventText(track->events[i]))));
    }
    return texts;
}

class RewriteAgreesWithExport : public testing::TestWithParam<AgreementCase> {};

// Every event's line, and no other, comes out with the export's text in place of
// its own; every other byte, line ends included, is as it was.
TEST_P(RewriteAgreesWithExport, TextForTextAndByteForByte) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    writeFile("show.ass", GetParam().content);
    writeWords("words.json", GetParam().words);
    writeWords("none.json", {});

    const std::vector<std::string> original = exportedTexts("none.json");
    const std::vector<std::string> exported = exportedTexts("words.json");
    ASSERT_FALSE(exported.empty());
    const PassRun run = runCaptured(assSubtitles, "show.ass", "words.json");
    ASSERT_EQ(run.result, "[Quorvanted] show.ass") << run.err;
    std::string copy = readFile(run.result);
    EXPECT_EQ(libassTexts(copy), exported);

    std::string input = GetParam().content;
    if (const std::optional<std::string> decoded = utf8FromUtf16(input)) {
        input = *decoded;
        ASSERT_TRUE(copy.starts_with("\xEF\xBB\xBF"));
        copy.erase(0, 3);
    }
    const std::vector<SplitLine> in = splitLines(input);
    const std::vector<SplitLine> out = splitLines(copy);
    ASSERT_EQ(in.size(), out.size());
    std::size_t event = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(out[i].end, in[i].end.empty() ? "\n" : in[i].end) << "line " << i + 1;
        // The export repairs texts that are not UTF-8; compare in its terms.
        const std::string before = withValidUtf8(withoutTrailingBlanks(in[i].text));
        const std::string after = withValidUtf8(withoutTrailingBlanks(out[i].text));
        if (event < original.size() && before.ends_with(original[event]) &&
            after == before.substr(0, before.size() - original[event].size()) + exported[event]) {
            ++event;
        } else {
            EXPECT_EQ(out[i].text, in[i].text) << "line " << i + 1;
        }
    }
    EXPECT_EQ(event, original.size()) << "events found in the copy's lines";
}

const std::string eventsHead = scriptInfo + "[Events]\n" + tenFields;
const std::string crlfEventsHead =
    "[Script Info]\r\nScriptType: v4.00+\r\n[Events]\r\n" + tenFields.substr(0, tenFields.size() - 1) + "\r\n";
const ReplacementRules theToUpper = {{"the", "THE"}};

INSTANTIATE_TEST_SUITE_P(
    Files, RewriteAgreesWithExport,
    testing::Values(
        AgreementCase{"header_in_lower_case", scriptInfo + "[events]\n" + tenFields + nineFieldsIn + "the cat\n",
                      theToUpper},
        AgreementCase{"header_in_upper_case_with_a_tail",
                      scriptInfo + "[EVENTS] of the day\n" + tenFields + nineFieldsIn + "the cat\n", theToUpper},
        AgreementCase{"format_marker_in_lower_case_ignored",
                      scriptInfo + "[Events]\nformat: Start, End, Text\n" + nineFieldsIn + "the, cat\n", theToUpper},
        AgreementCase{"no_format_line", scriptInfo + "[Events]\n" + nineFieldsIn + "the cat\n", theToUpper},
        AgreementCase{"no_format_line_in_an_ssa_script",
                      "[Script Info]\nScriptType: v4.00\n\n[V4 Styles]\n\n[Events]\n"
                      "Dialogue: Marked=0,0:00:01.00,0:00:02.00,Default,,0,0,0,,the, cat\n",
                      theToUpper},
        AgreementCase{
            "lone_carriage_returns",
            "[Script Info]\rScriptType: v4.00+\r\r[Events]\r" + nineFieldsIn + "the cat\r" + nineFieldsIn + "the end",
            theToUpper},
        AgreementCase{
            "crlf_and_an_anchored_rule", crlfEventsHead + nineFieldsIn + "my friend\r\n", {{"friend$", "FRIEND"}}},
        AgreementCase{"crlf_and_a_trimming_rule",
                      crlfEventsHead + nineFieldsIn + "the cat \t\r\n" + nineFieldsIn + "end\n",
                      {{"\\s+$", ""}}},
        AgreementCase{"utf16_little_endian",
                      utf16(u"[Script Info]\r\nScriptType: v4.00+\r\n[Events]\r\n"
                            u"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,the caf\u00E9\r\n",
                            true),
                      theToUpper},
        AgreementCase{"utf16_big_endian",
                      utf16(u"[Script Info]\nScriptType: v4.00+\n[Events]\n"
                            u"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,the \u65E5\u672C",
                            false),
                      theToUpper},
        AgreementCase{"headers_that_keep_the_events_open",
                      eventsHead + "[Graphics]\n" + nineFieldsIn + "the a\n[Aegisub Project Garbage]\n" + nineFieldsIn +
                          "the b\n[V4++ Styles]\n[Fonts\n" + nineFieldsIn + "the c\n",
                      theToUpper},
        AgreementCase{"headers_that_end_the_events",
                      eventsHead + nineFieldsIn + "the a\n[fonts]\n" + nineFieldsIn + "the b\n[Events]\n" +
                          nineFieldsIn + "the c\n[v4+ styles]\n" + nineFieldsIn + "the d\n[Events]\n[V4 Styles]\n" +
                          nineFieldsIn + "the e\n[Events]\n[SCRIPT INFO]x\n" + nineFieldsIn + "the f\n",
                      theToUpper},
        AgreementCase{"markers_after_blanks_and_byte_order_marks",
                      scriptInfo + "\xEF\xBB\xBF\t[Events]\n \t" + tenFields + "  " + nineFieldsIn + "the a\n" +
                          "dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,the b\n" + commentIn + "the c\n" +
                          " \xEF\xBB\xBF" + nineFieldsIn + "the d\n",
                      theToUpper},
        AgreementCase{"corpus_utf16", sample("y_onegai-teacher-01-utf16le.ass"), sampleWords},
        AgreementCase{"corpus_ssa", sample("y_seconv-test.ssa"), sampleWords},
        AgreementCase{"corpus_ssa_cp1252", sample("y_db10-bom-but-cp1252.ssa"), sampleWords},
        AgreementCase{"corpus_format_tests", sample("y_ass-format-tests.ass"), sampleWords},
        AgreementCase{"corpus_karaoke_templates", sample("y_bleach-mon-ed-kara-templates.ass"), sampleWords},
        AgreementCase{"corpus_long_overrides", sample("y_elfen-lied-op.ass"), sampleWords},
        AgreementCase{"corpus_crlf_episode", sample("y_haruhi-01-pt.ass"), sampleWords}));

}  // namespace
