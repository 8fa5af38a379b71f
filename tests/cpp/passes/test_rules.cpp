#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <json/json.h>

#include "module_passes.h"
#include "preview.h"
#include "rule_check.h"
#include "test_support.h"

namespace {

TEST(CheckRules, ListsEveryRuleInApplicationOrderWithItsVerdict) {
    const WordList words{{"cat", "dog"}, {"b(", "x"}, {"Zebra", ""}, {"[z-a]", "q"}, {"(\\w+)-san", "$1"}};
    const std::vector<RuleCheck> checks = checkRules(words);

    ASSERT_EQ(checks.size(), words.size());
    std::vector<std::string> patterns;
    for (const RuleCheck& check : checks) patterns.push_back(check.pattern);
    EXPECT_EQ(patterns, (std::vector<std::string>{"(\\w+)-san", "Zebra", "[z-a]", "b(", "cat"}));

    EXPECT_EQ(checks[0].replacement, "$1");
    EXPECT_EQ(checks[0].problem, "");
    EXPECT_EQ(checks[1].problem, "");
    EXPECT_NE(checks[2].problem, "");
    EXPECT_NE(checks[3].problem, "");
    EXPECT_EQ(checks[4].problem, "");
}

// ECMAScript as the passes compile it: lookahead and \\d are fine, named groups and
// a bare leading quantifier are not.
struct Verdict {
    const char* pattern;
    bool valid;
};

class CheckRulesJudgesLikeThePasses : public testing::TestWithParam<Verdict> {};

TEST_P(CheckRulesJudgesLikeThePasses, OnEachPattern) {
    const RuleCheck check = checkRules({{GetParam().pattern, "x"}}).at(0);
    EXPECT_EQ(check.problem.empty(), GetParam().valid) << check.problem;
}

INSTANTIATE_TEST_SUITE_P(Patterns, CheckRulesJudgesLikeThePasses,
                         testing::Values(Verdict{"", true}, Verdict{"(?=a)b", true}, Verdict{"\\d+-san", true},
                                         Verdict{"[[:alpha:]]", true}, Verdict{"Mr\\.", true}, Verdict{"a{2,1}", false},
                                         Verdict{"*a", false}, Verdict{"(?<name>x)", false}, Verdict{"\\", false},
                                         Verdict{"a)", false}));

TEST(CheckRules, EmptyListHasNothingToReport) { EXPECT_TRUE(checkRules({}).empty()); }

using test_support::TempDir;
using test_support::WorkingDirectory;
using test_support::writeFile;

const char* const kAss =
    "[Script Info]\nScriptType: v4.00+\n\n"
    "[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
    "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Morning, Tanaka-san.\n"
    "Comment: 0,0:00:02.00,0:00:03.00,Default,,0,0,0,,[TS] Tanaka-san\n"
    "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,Nothing here.\n"
    "Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,{\\i1}Taro-kun{\\i0}, wait!\n";

// A byte-order mark, a cue number out of order, two text lines, blank lines around.
const char* const kSrt =
    "\xEF\xBB\xBF\n\n5\n00:00:01,000 --> 00:00:02,000\nHello,\nAoi-san.\n\n"
    "7\n00:00:03,000 --> 00:00:04,000\nPlain.\n\n"
    "6\r\n00:00:05,000 --> 00:00:06,000\r\nBye, Taro-kun.\r\n\r\n";

const WordList kWords{{"(\\w+)-san", "$1"}, {"kun", "KUN"}};

std::vector<int> keysOf(const PreviewResult& result) {
    std::vector<int> keys;
    for (const TextChange& change : result.changes) keys.push_back(change.key);
    return keys;
}

struct FormatCase {
    const char* name;
    const char* content;
    std::vector<int> changedKeys;  // ASS: event positions; SubRip: cue numbers
    const char* firstBefore;
    const char* firstAfter;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

// The preview promises the export pass's texts under the export's keys: every text
// it reports must be what the export document holds, and it writes nothing itself.
class PreviewMatchesExport : public testing::TestWithParam<FormatCase> {};

TEST_P(PreviewMatchesExport, TextForText) {
    TempDir dir;
    const WorkingDirectory inside(dir.path());
    const FormatCase& format = GetParam();
    writeFile(format.name, format.content);
    writeFile("words.json", R"({"(\\w+)-san": "$1", "kun": "KUN"})");

    const PreviewResult result = previewChanges(format.name, loadReplacementWords("words.json"));

    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_EQ(keysOf(result), format.changedKeys);
    ASSERT_FALSE(result.changes.empty());
    EXPECT_EQ(result.changes[0].before, format.firstBefore);
    EXPECT_EQ(result.changes[0].after, format.firstAfter);

    const std::string name = format.name;
    const std::string exported = name.ends_with(".ass") ? modifyAss(name, "words.json") : modifySrt(name, "words.json");
    Json::Value document;
    std::istringstream(test_support::readFile(exported)) >> document;
    EXPECT_EQ(static_cast<int>(document.size()), result.textCount);
    for (const TextChange& change : result.changes) {
        EXPECT_EQ(document[std::to_string(change.key)].asString(), change.after) << change.key;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PreviewMatchesExport,
                         testing::Values(FormatCase{"ep.ass", kAss, {1, 3}, "Morning, Tanaka-san.", "Morning, Tanaka."},
                                         FormatCase{"ep.srt", kSrt, {5, 6}, "Hello, Aoi-san.", "Hello, Aoi."}));

TEST(PreviewChanges, RefusesWhatItCannotRead) {
    TempDir dir;
    EXPECT_THROW(previewChanges(dir.file("notes.txt"), kWords), std::invalid_argument);
    EXPECT_THROW(previewChanges(dir.file("absent.ass"), kWords), std::runtime_error);
    EXPECT_THROW(previewChanges(dir.file("absent.srt"), kWords), std::runtime_error);
    // The export refuses it: libass would drop the events after the NUL.
    writeFile(dir.file("nul.ass"), std::string(kAss) + '\0' + kAss);
    EXPECT_THROW(previewChanges(dir.file("nul.ass"), kWords), std::runtime_error);
    writeFile(dir.file("ep.srt"), kSrt);
    EXPECT_THROW(previewChanges(dir.file("ep.srt"), {{"b(", "x"}}), std::regex_error);
}

// A megabyte of vector drawing under a per-byte recursive rule: too deep for an
// ordinary thread, so the preview must run where the passes run.
TEST(PreviewChanges, RewritesTextsTooLongForAnOrdinaryStack) {
    TempDir dir;
    const std::string drawing = "{\\p1}" + std::string(1 << 20, 'm') + "{\\p0}";
    writeFile(dir.file("long.srt"), "1\n00:00:01,000 --> 00:00:02,000\n" + drawing);
    const PreviewResult result = previewChanges(dir.file("long.srt"), {{"\\{.*?\\}", ""}});
    ASSERT_EQ(result.changes.size(), 1u);
    EXPECT_EQ(result.changes[0].after, std::string(1 << 20, 'm'));
}

TEST(CheckRules, JudgesPatternsTooDeepForAnOrdinaryStack) {
    const std::string nested = std::string(20000, '(') + "a" + std::string(20000, ')');
    const std::vector<RuleCheck> checks = checkRules({{nested, "x"}});
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].problem, "");
}

}  // namespace
