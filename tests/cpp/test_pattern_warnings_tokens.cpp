#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_warnings_tokens.h"

namespace {

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
