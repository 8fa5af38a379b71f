#include <gtest/gtest.h>
#include <json/json.h>

#include <stdexcept>
#include <vector>

#include "io/wordlist.h"
#include "test_support.h"

using test_support::TempDir;
using test_support::writeFile;

namespace {

WordList loadFrom(const TempDir& dir, std::string_view json) {
    const std::string path = dir.file("words.json");
    writeFile(path, json);
    return loadReplacementWords(path);
}

std::vector<std::string> patternsOf(const WordList& words) {
    std::vector<std::string> patterns;
    for (const auto& entry : words) patterns.push_back(entry.first);
    return patterns;
}

}  // namespace

TEST(LoadReplacementWords, OrdersPatternsBytewiseWhateverTheFileOrder) {
    TempDir dir;
    const WordList words = loadFrom(dir, R"({"b":"1","abc":"2","Zebra":"3","apple":"4","ab":"5","cat":"6","Cat":"7"})");
    EXPECT_EQ(patternsOf(words), (std::vector<std::string>{"Cat", "Zebra", "ab", "abc", "apple", "b", "cat"}));
}

TEST(LoadReplacementWords, TurnsScalarValuesIntoText) {
    TempDir dir;
    const WordList words = loadFrom(dir, R"({"n": 5, "z": null, "t": true, "s": "x\u00e9"})");
    EXPECT_EQ(words.at("n"), "5");
    EXPECT_EQ(words.at("z"), "");
    EXPECT_EQ(words.at("t"), "true");
    EXPECT_EQ(words.at("s"), "x\xc3\xa9");
}

TEST(LoadReplacementWords, EmptyObjectAndNullGiveEmptyList) {
    TempDir dir;
    EXPECT_TRUE(loadFrom(dir, "{}").empty());
    EXPECT_TRUE(loadFrom(dir, "null").empty());
}

TEST(LoadReplacementWords, KeepsInvalidPatternsForLater) {
    TempDir dir;
    EXPECT_EQ(loadFrom(dir, R"({"(unclosed": "x"})").count("(unclosed"), 1u);
}

TEST(LoadReplacementWords, MissingFileFailsWithItsMessage) {
    TempDir dir;
    try {
        loadReplacementWords(dir.file("absent.json"));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open replacement words file");
    }
}

class LoadReplacementWordsRefuses : public testing::TestWithParam<const char*> {};

TEST_P(LoadReplacementWordsRefuses, WithJsoncppsException) {
    TempDir dir;
    EXPECT_THROW(loadFrom(dir, GetParam()), Json::Exception);
}

INSTANTIATE_TEST_SUITE_P(BadDocuments, LoadReplacementWordsRefuses,
                         testing::Values("", "not json", R"({"a": "b",)", R"(["a", "b"])", R"("text")", "42",
                                         R"({"a": "fine", "b": ["array"]})", R"({"a": {"object": 1}, "b": "fine"})"));
