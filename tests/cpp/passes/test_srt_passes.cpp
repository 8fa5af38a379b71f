#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "module_passes.h"
#include "passes/srt_passes.h"
#include "test_support.h"

namespace {

using test_support::readFile;
using test_support::TempDir;
using test_support::WorkingDirectory;
using test_support::writeFile;

using PassFunction = std::string (*)(const std::string&, const std::string&);

struct Pass {
    const char* name;
    PassFunction run;
    const char* ending;
};

const Pass rewritePass{"rewrite", srtSubtitles, ".srt"};
const Pass exportPass{"export", modifySrt, ".json"};

void PrintTo(const Pass& p, std::ostream* os) { *os << p.name; }

std::set<std::string> filesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        names.insert(std::filesystem::relative(entry.path(), dir).string());
    }
    return names;
}

using Captured = test_support::CapturedCall;

Captured runCaptured(PassFunction pass, const std::string& subfile, const std::string& words) {
    return test_support::captureCall([&] { return pass(subfile, words); });
}

// Every pass runs in a private working directory holding a word list.
class InTempDir {
protected:
    InTempDir() { writeFile("words.json", R"({"cat": "dog", "(\\w+)-kun": "$1"})"); }

    TempDir _dir;
    WorkingDirectory _cwd{_dir.path()};
};

struct RewriteCase {
    const char* name;
    std::string input;
    std::string output;
};

class SrtRewrite : public InTempDir, public testing::TestWithParam<RewriteCase> {};

TEST_P(SrtRewrite, WritesExactlyTheseBytes) {
    writeFile("show.srt", GetParam().input);
    ASSERT_EQ(srtSubtitles("show.srt", "words.json"), "[Quorvanted] show.srt");
    EXPECT_EQ(readFile("[Quorvanted] show.srt"), GetParam().output);
}

const std::string twoCues =
    "1\n00:00:01,000 --> 00:00:02,000\nA CAT\n\n2\n00:00:03,000 --> 00:00:04,000\nTaro-kun\nand cat";
const std::string twoCuesOut =
    "1\n00:00:01,000 --> 00:00:02,000\nA dog\n\n2\n00:00:03,000 --> 00:00:04,000\nTaro and dog";

INSTANTIATE_TEST_SUITE_P(
    Inputs, SrtRewrite,
    testing::Values(RewriteCase{"two_cues", twoCues, twoCuesOut},
                    RewriteCase{"outer_blank_lines", "\n\n" + twoCues + "\n\n\n", twoCuesOut},
                    RewriteCase{"byte_order_mark", "\xEF\xBB\xBF" + twoCues + "\n", twoCuesOut},
                    RewriteCase{"crlf_ending_in_blank_line",
                                std::regex_replace(twoCues, std::regex("\n"), "\r\n") + "\r\n\r\n", twoCuesOut},
                    RewriteCase{"blank_lines_between_cues", std::regex_replace(twoCues, std::regex("\n\n"), "\n\n\n\n"),
                                twoCuesOut},
                    RewriteCase{"one_cue_number_and_timing_line_as_parsed", "007\n0:0:1,5 --> 0:0:2,5 X1:4\ncat\n",
                                "7\n0:0:1,5 --> 0:0:2,5 X1:4\ndog"},
                    RewriteCase{"no_cues", "\n\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class SrtExport : public InTempDir, public testing::Test {
protected:
    Json::Value exported(const std::string& content) {
        writeFile("show.srt", content);
        EXPECT_EQ(modifySrt("show.srt", "words.json"), "[Quorvanted] show.json");
        Json::Value document;
        std::istringstream(readFile("[Quorvanted] show.json")) >> document;
        return document;
    }
};

TEST_F(SrtExport, KeysByCueNumberAndTheLaterDuplicateWins) {
    const std::string at = "\n00:00:01,000 --> 00:00:02,000\n";
    const Json::Value document = exported("1" + at + "cat\n\n2" + at + "first\n\n2" + at + "second cat\n\n-3" + at +
                                          "neg\n\n\n\n3" + at + "J\xC3\xBCrgen-kun \xE6\x97\xA5 \"cat\"\\");
    EXPECT_EQ(document.getMemberNames(), (std::vector<std::string>{"-3", "1", "2", "3"}));
    EXPECT_EQ(document["1"].asString(), "dog");
    EXPECT_EQ(document["2"].asString(), "second dog");
    EXPECT_EQ(document["-3"].asString(), "neg");
    EXPECT_EQ(document["3"].asString(), "J\xC3\xBCrgen \xE6\x97\xA5 \"dog\"\\");
}

TEST_F(SrtExport, NoCuesIsNull) { EXPECT_TRUE(exported("\r\n\r\n").isNull()); }

class SrtPass : public InTempDir, public testing::TestWithParam<Pass> {
protected:
    std::string output(const std::string& stem) const { return "[Quorvanted] " + stem + GetParam().ending; }
};

TEST_P(SrtPass, LeavesTheDirectoryAsItWasApartFromTheOutput) {
    writeFile("cleaned_sub.srt", twoCues);
    const std::set<std::string> before = filesIn(_dir.path());
    EXPECT_EQ(GetParam().run("cleaned_sub.srt", "words.json"), output("cleaned_sub"));
    std::set<std::string> expected = before;
    expected.insert(output("cleaned_sub"));
    EXPECT_EQ(filesIn(_dir.path()), expected);
    EXPECT_EQ(readFile("cleaned_sub.srt"), twoCues);
}

TEST_P(SrtPass, ReportsAnOutputItCannotWrite) {
    std::filesystem::create_directory("dir");
    writeFile("dir/show.srt", twoCues);
    const Captured run = runCaptured(GetParam().run, "dir/show.srt", "words.json");
    EXPECT_EQ(run.result, "");
    EXPECT_EQ(run.err, "Could not open the output file: " + output("dir/show") + "\n");
    EXPECT_EQ(filesIn(_dir.path()), (std::set<std::string>{"dir", "dir/show.srt", "words.json"}));
}

TEST_P(SrtPass, UnreadableInputWritesNothingAndSkipsTheWordList) {
    std::filesystem::create_directory("folder.srt");
    for (const char* subfile : {"missing.srt", "folder.srt"}) {
        const Captured run = runCaptured(GetParam().run, subfile, "no-such-words.json");
        EXPECT_EQ(run.result, "") << subfile;
        EXPECT_EQ(run.err, "Error opening input file.\n") << subfile;
    }
    EXPECT_EQ(filesIn(_dir.path()), (std::set<std::string>{"folder.srt", "words.json"}));
}

TEST_P(SrtPass, WordListAndPatternFailuresRaiseAndKeepTheOldOutput) {
    writeFile("empty.srt", "");
    EXPECT_THROW(GetParam().run("empty.srt", "no-such-words.json"), std::runtime_error);
    writeFile("show.srt", twoCues);
    writeFile(output("show"), "previous");
    writeFile("bad.json", R"({"(unclosed": "x"})");
    EXPECT_THROW(GetParam().run("show.srt", "bad.json"), std::regex_error);
    EXPECT_EQ(readFile(output("show")), "previous");
    EXPECT_EQ(filesIn(_dir.path()).size(), 5U);
}

INSTANTIATE_TEST_SUITE_P(Passes, SrtPass, testing::Values(rewritePass, exportPass),
                         [](const auto& info) { return std::string(info.param.name); });

// What a user's file is made of, through both passes with {"the": "THE"}.
struct UserFileCase {
    const char* name;
    std::string input;
    std::string rewritten;
    std::map<std::string, std::string> exported;
};

class SrtUserFiles : public InTempDir, public testing::TestWithParam<UserFileCase> {};

std::map<std::string, std::string> membersOf(const std::string& document) {
    Json::Value value;
    std::istringstream(document) >> value;
    std::map<std::string, std::string> members;
    for (const std::string& name : value.getMemberNames()) members[name] = value[name].asString();
    return members;
}

TEST_P(SrtUserFiles, KeepEveryCueWithItsOwnTimingAndText) {
    writeFile("the.json", R"({"the": "THE"})");
    writeFile("show.srt", GetParam().input);
    ASSERT_EQ(srtSubtitles("show.srt", "the.json"), "[Quorvanted] show.srt");
    EXPECT_EQ(readFile("[Quorvanted] show.srt"), GetParam().rewritten);
    ASSERT_EQ(modifySrt("show.srt", "the.json"), "[Quorvanted] show.json");
    EXPECT_EQ(membersOf(readFile("[Quorvanted] show.json")), GetParam().exported);
}

// ASCII text as UTF-16 with its byte-order mark.
std::string utf16(const std::string& ascii, bool littleEndian) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii) bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return bytes;
}

const std::string t1 = "00:00:01,000 --> 00:00:02,000";
const std::string t2 = "00:00:03,000 --> 00:00:04,000";
const std::string t3 = "00:00:05,000 --> 00:00:06,000";
const std::string separatorsIn = "1\n" + t1 + "\nthe first\n \n2\n" + t2 + "\nthe second\n3\n" + t3 + "\nthe third\n";
const std::string separatorsOut = "1\n" + t1 + "\nTHE first\n\n2\n" + t2 + "\nTHE second\n\n3\n" + t3 + "\nTHE third";
const std::map<std::string, std::string> firstSecondThird{{"1", "THE first"}, {"2", "THE second"}, {"3", "THE third"}};
const std::string oldMacIn = "1\r" + t1 + "\rthe first line\r\r2\r" + t2 + "\rthe end\r";
const std::string oldMacOut = "1\n" + t1 + "\nTHE first line\n\n2\n" + t2 + "\nTHE end";
const std::map<std::string, std::string> firstLineEnd{{"1", "THE first line"}, {"2", "THE end"}};
const std::string oddTimings[] = {"00:00:01,000  -->  00:00:02,000", "00:00:03,000\t-->\t00:00:04,000",
                                  "00:00:05,000-->00:00:06,000"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SrtUserFiles,
    testing::Values(UserFileCase{"blank_looking_separator_and_missing_blank_line", separatorsIn, separatorsOut,
                                 firstSecondThird},
                    UserFileCase{"arrow_inside_the_text",
                                 "1\n" + t1 + "\nthe way --> there\nand back\n",
                                 "1\n" + t1 + "\nTHE way --> THEre and back",
                                 {{"1", "THE way --> THEre and back"}}},
                    UserFileCase{"mistyped_arrow",
                                 "1\n" + t1 + "\nthe first\n\n2\n00:00:03,000 - > 00:00:04,000\nthe second\n",
                                 "1\n" + t1 + "\nTHE first\n\n2\n00:00:03,000 - > 00:00:04,000\nTHE second",
                                 {{"1", "THE first"}, {"2", "THE second"}}},
                    UserFileCase{"timing_lines_as_written",
                                 "1\n" + oddTimings[0] + "\nthe first\n\n2\n" + oddTimings[1] + "\nthe second\n\n3\n" +
                                     oddTimings[2] + "\nthe third\n",
                                 "1\n" + oddTimings[0] + "\nTHE first\n\n2\n" + oddTimings[1] + "\nTHE second\n\n3\n" +
                                     oddTimings[2] + "\nTHE third",
                                 firstSecondThird},
                    UserFileCase{"no_number_lines",
                                 t1 + "\nthe first\n\n" + t2 + "\nthe second\n",
                                 "1\n" + t1 + "\nTHE first\n\n2\n" + t2 + "\nTHE second",
                                 {{"1", "THE first"}, {"2", "THE second"}}},
                    UserFileCase{"old_mac_line_ends", oldMacIn, oldMacOut, firstLineEnd},
                    UserFileCase{"utf16_le", utf16(separatorsIn, true), separatorsOut, firstSecondThird},
                    UserFileCase{"utf16_be", utf16(oldMacIn, false), oldMacOut, firstLineEnd},
                    UserFileCase{"text_before_the_first_cue",
                                 "the title\n\n1\n" + t1 + "\nthe first",
                                 "THE title\n\n1\n" + t1 + "\nTHE first",
                                 {{"0", "THE title"}, {"1", "THE first"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Mistyped arrows, a few right after a cue's text without a blank line.
TEST(SrtBrokenArrows, EveryCueKeepsItsTimingLineAndIsExported) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    std::filesystem::copy_file(std::string(TEST_DATA_DIR) + "/y_mentalist-fr-broken-arrows.srt", "in.srt");
    writeFile("words.json", "{}");
    std::vector<std::string> timings;
    std::istringstream input(readFile("in.srt"));
    const std::regex timing(R"(\d+:\d+:\d+,\d+ *(-->|- >) *\d+:\d+:\d+,\d+\r?)");
    for (std::string line; std::getline(input, line);) {
        if (std::regex_match(line, timing)) timings.push_back(line.substr(0, line.find('\r')));
    }
    ASSERT_EQ(timings.size(), 788U);

    ASSERT_EQ(srtSubtitles("in.srt", "words.json"), "[Quorvanted] in.srt");
    const std::string rewritten = readFile("[Quorvanted] in.srt");
    std::vector<std::string> writtenTimings;
    std::map<std::string, std::string> texts;
    for (std::size_t start = 0; start < rewritten.size();) {
        const std::size_t end = std::min(rewritten.find("\n\n", start), rewritten.size());
        std::istringstream block(rewritten.substr(start, end - start));
        std::string number, timingLine, text;
        std::getline(block, number);
        std::getline(block, timingLine);
        std::getline(block, text);
        writtenTimings.push_back(timingLine);
        texts[number] = text;
        start = end + 2;
    }
    EXPECT_EQ(writtenTimings, timings);
    ASSERT_EQ(modifySrt("in.srt", "words.json"), "[Quorvanted] in.json");
    EXPECT_EQ(membersOf(readFile("[Quorvanted] in.json")), texts);
}

struct CorpusCue {
    std::string number, timing, text;
};

// A reading of a well-formed file that shares nothing with the parser: blocks of
// non-blank lines, each a number line, a timing line and text lines.
std::vector<CorpusCue> wellFormedCues(std::string content) {
    if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
    std::erase(content, '\r');
    std::vector<CorpusCue> cues;
    std::vector<std::string> block;
    const auto endBlock = [&] {
        if (block.empty()) return;
        EXPECT_TRUE(block.size() >= 2 && block[1].find("-->") != std::string::npos) << block[0];
        block.resize(std::max<std::size_t>(block.size(), 2));
        CorpusCue cue{block[0], block[1], ""};
        for (std::size_t i = 2; i < block.size(); ++i) cue.text += (i > 2 ? " " : "") + block[i];
        cues.push_back(cue);
        block.clear();
    };
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty())
            endBlock();
        else
            block.push_back(line);
    }
    endBlock();
    return cues;
}

// What the corpus word list {"a": "4", "o": "0"} makes of a text.
std::string corpusSubstituted(std::string text) {
    for (char& c : text) {
        if (c == 'a' || c == 'A') c = '4';
        if (c == 'o' || c == 'O') c = '0';
    }
    return text;
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct CorpusFile {
    const char* name;
    bool utf8;
};

class SrtCorpus : public testing::TestWithParam<CorpusFile> {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(TEST_DATA_DIR) + "/" + GetParam().name, _dir.file("in.srt"));
        writeFile("words.json", R"({"a": "4", "o": "0"})");
        _cues = wellFormedCues(readFile("in.srt"));
        ASSERT_GT(_cues.size(), 2U);
    }

    TempDir _dir;
    WorkingDirectory _cwd{_dir.path()};
    std::vector<CorpusCue> _cues;
};

TEST_P(SrtCorpus, RewriteChangesOnlyTheTextsAndTheLayout) {
    ASSERT_EQ(srtSubtitles("in.srt", "words.json"), "[Quorvanted] in.srt");
    std::string expected;
    for (const CorpusCue& cue : _cues) {
        if (!expected.empty()) expected += "\n\n";
        const std::string text = corpusSubstituted(cue.text);
        expected += std::to_string(std::stoi(cue.number)) + "\n" + cue.timing + (text.empty() ? "" : "\n" + text);
    }
    EXPECT_EQ(readFile("[Quorvanted] in.srt"), expected);
}

TEST_P(SrtCorpus, ExportHoldsEveryTextUnderItsNumber) {
    ASSERT_EQ(modifySrt("in.srt", "words.json"), "[Quorvanted] in.json");
    Json::Value document;
    std::istringstream(readFile("[Quorvanted] in.json")) >> document;
    std::set<std::string> numbers;
    for (const CorpusCue& cue : _cues) {
        const std::string key = std::to_string(std::stoi(cue.number));
        numbers.insert(key);
        // The JSON writer only keeps text that is UTF-8.
        if (GetParam().utf8 || isAscii(cue.text)) {
            EXPECT_EQ(document[key].asString(), corpusSubstituted(cue.text)) << key;
        }
    }
    const std::vector<std::string> members = document.getMemberNames();
    EXPECT_EQ(std::set<std::string>(members.begin(), members.end()), numbers);
}

INSTANTIATE_TEST_SUITE_P(Files, SrtCorpus,
                         testing::Values(CorpusFile{"y_monsters-win-crlf.srt", true},
                                         CorpusFile{"y_danish-bom.srt", true},
                                         CorpusFile{"y_tenshi-no-tamago-en-italics-crlf.srt", true},
                                         CorpusFile{"y_yyh-08-pt-cp1252-gap.srt", false}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

}  // namespace
