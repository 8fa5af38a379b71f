#include <gtest/gtest.h>
#include <json/json.h>

#include <sstream>
#include <string>

#include "output.h"
#include "utf8_text.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string text;
    std::string expected;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class WithValidUtf8 : public testing::TestWithParam<Utf8Case> {};

TEST_P(WithValidUtf8, ReplacesOnlyTheBytesThatBelongToNoCharacter) {
    EXPECT_EQ(withValidUtf8(GetParam().text), GetParam().expected);
}

const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Texts, WithValidUtf8,
    testing::Values(
        Utf8Case{"ascii_and_every_length", "a \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "a \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        Utf8Case{"windows_1252_keeps_its_neighbours", "Tan\xE1ka S\xF3 falta", "Tan" + kReplacement + "ka S" + kReplacement + " falta"},
        Utf8Case{"lone_continuation", "a\x80z", "a" + kReplacement + "z"},
        Utf8Case{"truncated_at_the_end", "ok\xE2\x82", "ok" + kReplacement + kReplacement},
        Utf8Case{"overlong", "\xC0\x80\xE0\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement + kReplacement},
        Utf8Case{"surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
        Utf8Case{"beyond_unicode", "\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        Utf8Case{"nul_is_a_character", std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(ExportDocument, TextsThatAreNotUtf8LoseOnlyTheirStrayBytes) {
    Json::Value document;
    document["1"] = "Tan\xE1ka-[san]";
    document["2"] = "plain";
    Json::Value parsed;
    std::istringstream(exportDocumentText(document)) >> parsed;
    EXPECT_EQ(parsed["1"].asString(), "Tan" + kReplacement + "ka-[san]");
    EXPECT_EQ(parsed["2"].asString(), "plain");
}

}  // namespace
