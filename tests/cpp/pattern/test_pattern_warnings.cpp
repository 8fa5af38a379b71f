#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "pattern/pattern_warnings.h"

namespace {

struct WarningCase {
    std::string pattern;
    std::size_t warnings;
};

void PrintTo(const WarningCase& c, std::ostream* os) { *os << testing::PrintToString(c.pattern); }

class PatternWarnings : public testing::TestWithParam<WarningCase> {};

// What each warning says is checked through the command line; here, that the
// reading counts right and survives patterns cut short or not UTF-8 at all.
TEST_P(PatternWarnings, CountsEachBytewisePlaceOnce) {
    EXPECT_EQ(patternWarnings(GetParam().pattern).size(), GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternWarnings,
    testing::Values(WarningCase{"caf\xC3\xA9", 0}, WarningCase{"[\xC3\xA9\xC3\xA8]", 2},
                    WarningCase{"[\xC3\xA9\xC3\xA9]", 1},  // the same sentence once
                    WarningCase{"[\\]\xC3\xA9]", 1},       // an escaped ']' does not end the class
                    WarningCase{"[]\xC3\xA9+", 1},         // "[]" is an empty class; the '+' repeats a byte
                    WarningCase{"\xC3\xA9*?", 1},          // the lazy '?' is part of the repeat
                    WarningCase{"\xC3\xA9{2,3}", 1},
                    WarningCase{"\xC3\xA9{x}", 0},  // a brace without a count is literal
                    WarningCase{"(?:\xC3\xA9)+", 0},
                    WarningCase{"\\.\xC3\xA9\\?", 0},               // escaped metacharacters are literal
                    WarningCase{".\xE3\x81\x82.", 1},               // both sides of one character, one sentence
                    WarningCase{"\\", 0}, WarningCase{"[\xC3", 1},  // cut short inside a class and a character
                    WarningCase{"\x80\x80+", 1},                    // continuation bytes without a lead
                    WarningCase{"\xC3\xA9{", 0}, WarningCase{"\xF0\x9F\x98\x80?", 1}));

using Kind = ByteWiseWarning::Kind;

TEST(ByteWiseWarnings, NameEachCharacterCutIntoBytes) {
    const std::string sa = "\xe3\x81\x95";
    const std::string e = "\xc3\xa9";
    const std::vector<std::pair<std::string, std::vector<ByteWiseWarning>>> cases = {
        {"Tanaka-san", {}},
        {sa + "+|" + e + "{2,}?", {{Kind::Repeated, sa, "+"}, {Kind::Repeated, e, "{2,}?"}}},
        {"(?:" + sa + ")+", {}},  // a group repeats the whole character
        {"[" + sa + "a" + e + "]", {{Kind::InClass, sa, ""}, {Kind::InClass, e, ""}}},
        {"[" + e + "]" + e + "[" + e + "]", {{Kind::InClass, e, ""}}},  // each warning once
        {"." + e + "|" + sa + ".", {{Kind::NextToAnyByte, e, ""}, {Kind::NextToAnyByte, sa, ""}}},
        {"\\." + e + " \\" + e + "*", {{Kind::Repeated, e, "*"}}},  // an escaped byte is still a byte
        {"\\[" + e + "]", {}},
        {e + "+(", {{Kind::Repeated, e, "+"}}},  // read up to the syntax error
    };
    for (const auto& [pattern, expected] : cases) {
        EXPECT_EQ(byteWiseWarnings(pattern), expected) << testing::PrintToString(pattern);
    }
}

}  // namespace
