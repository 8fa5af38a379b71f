#include <gtest/gtest.h>
#include <json/json.h>

#include <optional>
#include <sstream>
#include <string>

#include "core_helpers.h"
#include "io/output.h"
#include "text/utf8_text.h"

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
    testing::Values(Utf8Case{"ascii_and_every_length", "a \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                             "a \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
                    Utf8Case{"windows_1252_keeps_its_neighbours", "Tan\xE1ka S\xF3 falta",
                             "Tan" + kReplacement + "ka S" + kReplacement + " falta"},
                    Utf8Case{"lone_continuation", "a\x80z", "a" + kReplacement + "z"},
                    Utf8Case{"truncated_at_the_end", "ok\xE2\x82", "ok" + kReplacement + kReplacement},
                    Utf8Case{"overlong", "\xC0\x80\xE0\x80\x80",
                             kReplacement + kReplacement + kReplacement + kReplacement + kReplacement},
                    Utf8Case{"surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
                    Utf8Case{"beyond_unicode", "\xF4\x90\x80\x80",
                             kReplacement + kReplacement + kReplacement + kReplacement},
                    Utf8Case{"nul_is_a_character", std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(ExportDocument, TextsThatAreNotUtf8LoseOnlyTheirStrayBytes) {
    Json::Value document;
    document["1"] = "Tan\xE1ka-[san]";
    document["2"] = "plain";
    Json::Value parsed;
    std::istringstream(core_helpers::exportDocumentText(document)) >> parsed;
    EXPECT_EQ(parsed["1"].asString(), "Tan" + kReplacement + "ka-[san]");
    EXPECT_EQ(parsed["2"].asString(), "plain");
}

TEST(Utf8FromUtf16, DecodesEitherByteOrderAndMarksWhatIsNotACharacter) {
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        std::optional<std::string> expected;
    } cases[] = {
        {"\xFF\xFE"
         "a\0\xE9\0\x55\x30\x3D\xD8\x00\xDE"s,
         "a\xC3\xA9\xE3\x81\x95\xF0\x9F\x98\x80"},
        {"\xFE\xFF"
         "\0a\0\xE9\x30\x55\xD8\x3D\xDE\x00"s,
         "a\xC3\xA9\xE3\x81\x95\xF0\x9F\x98\x80"},
        {"\xFF\xFE"
         "\x00\xDC"
         "a\0\x3D\xD8"
         "b\0"
         "c"s,
         kReplacement + "a" + kReplacement + "b" + kReplacement},
        {"\xFF\xFE"s, ""},
        {"\xEF\xBB\xBFplain"s, std::nullopt},
        {"\xFF"s, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8FromUtf16(c.bytes), c.expected) << testing::PrintToString(c.bytes);
}

}  // namespace
