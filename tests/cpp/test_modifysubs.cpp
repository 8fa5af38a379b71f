#include <gtest/gtest.h>

#include <iostream>

#include "modify_subs.h"
#include "test_support.h"

using test_support::TempDir;
using test_support::WorkingDirectory;

namespace {

struct EndingCase {
    const char* fullString;
    const char* ending;
    bool expected;
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << '"' << c.fullString << "\" / \"" << c.ending << '"'; }

class EndsWith : public testing::TestWithParam<EndingCase> {};

TEST_P(EndsWith, ComparesTheLastBytesExactly) {
    EXPECT_EQ(endsWith(GetParam().fullString, GetParam().ending), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndsWith,
                         testing::Values(EndingCase{"episode.ass", ".ass", true}, EndingCase{".ass", ".ass", true},
                                         EndingCase{"ass", ".ass", false}, EndingCase{"EPISODE.ASS", ".ass", false},
                                         EndingCase{"episode.ass.bak", ".ass", false},
                                         EndingCase{"episode.srt ", ".srt", false}, EndingCase{"", "", true},
                                         EndingCase{"anything", "", true}, EndingCase{"", ".srt", false}));

// An unknown ending must be settled before any file is read: with no word list on
// disk, reaching a pass would throw.
TEST(Dispatch, UnsupportedEndingsReturnEmptyWithoutTouchingAnything) {
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    for (const char* name : {"EPISODE.ASS", "episode.Srt", "episode.ass.bak", "episode.txt", "episode.srt "}) {
        EXPECT_EQ(modifySubs(name, "missing.json"), "") << name;
        EXPECT_EQ(overwriteSubs(name, "missing.json"), "") << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

OuterMap honorificsSample() {
    return {{"honorifics",
             {{"san", {{"ja", {"x", "y"}}}}, {"a", {{"p", {"1"}}}}, {"b", {{"q", {"2"}}}}, {"blank", {{"e", {""}}}}}},
            {"other", {{"kun", {{"ja", {"z"}}}}}}};
}

struct LookupCase {
    const char* target;
    const char* list;
    const char* expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << '"' << c.target << "\" in \"" << c.list << '"'; }

class FindKeyByString : public testing::TestWithParam<LookupCase> {};

TEST_P(FindKeyByString, AnswersFromHonorificsOnly) {
    EXPECT_EQ(find_key_by_string(honorificsSample(), GetParam().target, GetParam().list), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FindKeyByString,
                         testing::Values(LookupCase{"y", "ja", "san"}, LookupCase{"Y", "ja", ""},
                                         LookupCase{"1", "p", "a"}, LookupCase{"1", "q", ""},
                                         LookupCase{"", "e", "blank"}, LookupCase{"z", "ja", ""},  // only under "other"
                                         LookupCase{"san", "ja", ""}));

TEST(FindKeyByStringEdges, EmptyDictionariesGiveNothing) {
    EXPECT_EQ(find_key_by_string({}, "x", "y"), "");
    EXPECT_EQ(find_key_by_string({{"honorifics", {}}}, "x", "y"), "");
}

TEST(FindKeyByStringEdges, ComparesWholeByteStringsIncludingZeroBytes) {
    const std::string withZero("a\0b", 3);
    const OuterMap dictionary{{"honorifics", {{"k", {{"l", {withZero}}}}}}};
    EXPECT_EQ(find_key_by_string(dictionary, withZero, "l"), "k");
    EXPECT_EQ(find_key_by_string(dictionary, "a", "l"), "");
}

std::string printed(const OuterMap& map) {
    return test_support::captureCall([&] { printMap(map); }).out;
}

TEST(PrintMap, EmptyMapPrintsNothing) { EXPECT_EQ(printed({}), ""); }

TEST(PrintMap, WritesLabelledIndentedLinesWithATrailingBlankPerValue) {
    EXPECT_EQ(printed({{"honorifics", {{"san", {{"ja", {"x", "y"}}}}}}}),
              "Outer Key: honorifics\n"
              "  Inner Key: san\n"
              "    Inner Most Key: ja\n"
              "      Values: x y \n");
}

TEST(PrintMap, EmptyListLeavesOnlyTheLabel) {
    EXPECT_EQ(printed({{"o", {{"i", {{"l", {}}}}}}}),
              "Outer Key: o\n  Inner Key: i\n    Inner Most Key: l\n      Values: \n");
}

}  // namespace
