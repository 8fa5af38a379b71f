#include <gtest/gtest.h>
#include <json/json.h>

#include <stdexcept>
#include <vector>

#include "io/word_list_file.h"
#include "test_support.h"

using test_support::TempDir;
using test_support::writeFile;

namespace {

ReplacementRules loadFrom(const TempDir& dir, std::string_view json) {
    const std::string path = dir.file("words.json");
    writeFile(path, json);
    return loadReplacementWords(path);
}

std::vector<std::string> patternsOf(const ReplacementRules& words) {
    std::vector<std::string> patterns;
    for (const auto& entry : words) patterns.push_back(entry.first);
    return patterns;
}

}  // namespace

TEST(LoadReplacementWords, OrdersPatternsBytewiseWhateverTheFileOrder) {
    TempDir dir;
    const ReplacementRules words =
        loadFrom(dir, R"({"b":"1","abc":"2","Zebra":"3","apple":"4","ab":"5","cat":"6","Cat":"7"})");
    EXPECT_EQ(patternsOf(words), (std::vector<std::string>{"Cat", "Zebra", "ab", "abc", "apple", "b", "cat"}));
}

TEST(LoadReplacementWords, TurnsScalarValuesIntoText) {
    TempDir dir;
    const ReplacementRules words = loadFrom(dir, R"({"n": 5, "z": null, "t": true, "s": "x\u00e9"})");
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

// The strict reader names the first byte that is not UTF-8 as Python's decoder does.
struct Utf8Case {
    const char* name;
    std::string document;
    std::string refusal;  // empty: read
};

class ReadWordListDocument : public testing::TestWithParam<Utf8Case> {};

TEST_P(ReadWordListDocument, RefusesWithWhereTheDocumentFails) {
    try {
        const std::vector<WordListEntry> entries = readWordListDocument(GetParam().document);
        EXPECT_EQ(GetParam().refusal, "") << entries.size();
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), GetParam().refusal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ReadWordListDocument,
    testing::Values(Utf8Case{"four_bytes", "{\"\xf0\x9f\x98\x8a\": \"smile\"}", ""},
                    Utf8Case{"mark", "\xef\xbb\xbf{\"a\": \"b\"}", ""},
                    Utf8Case{"overlong", "{\"\xc0\xaf\": \"x\"}", "not UTF-8: byte 0xC0 at byte offset 2"},
                    Utf8Case{"surrogate", "{\"a\": \"\xed\xa0\x80\"}", "not UTF-8: byte 0xED at byte offset 7"},
                    Utf8Case{"beyond_unicode", "{\"\xf4\x90\x80\x80\": 1}", "not UTF-8: byte 0xF4 at byte offset 2"},
                    Utf8Case{"cut_short", "{\"a\": \"b\"} \xe2\x80", "not UTF-8: byte 0xE2 at byte offset 11"},
                    Utf8Case{"cp1252_after_mark", "\xef\xbb\xbf{\"caf\xe9\": 1}",
                             "not UTF-8: byte 0xE9 at byte offset 8"},
                    // Positions count characters, on lines ended as the file ends them.
                    Utf8Case{"syntax_after_accents", "{\"caf\xc3\xa9\": \"th\xc3\xa9\" \"b\": 1}",
                             "* Line 1, Column 16\n  Missing ',' or '}' in object declaration\n"},
                    Utf8Case{"text_after_the_object", "{\"a\":\r\n\r\n\"\xe2\x80\x9c\xe2\x80\x9d\"} x",
                             "text follows the word list's JSON object at line 3, column 7; a word list is one JSON "
                             "object, {\"pattern\": \"replacement\", ...}"}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });
