#include <gtest/gtest.h>

#include <string>

#include "io/byte_census.h"

namespace {

using namespace std::string_literals;

struct CensusCase {
    const char* name;
    std::string bytes;
    ByteCensus expected;
};

void PrintTo(const CensusCase& c, std::ostream* os) { *os << c.name; }

class Censuses : public testing::TestWithParam<CensusCase> {};

TEST_P(Censuses, CountWhatTheEncodingChoiceNeeds) {
    const CensusCase& c = GetParam();
    const ByteCensus census = takeCensus(c.bytes);
    EXPECT_EQ(census.multibyte, c.expected.multibyte);
    EXPECT_EQ(census.stray, c.expected.stray);
    EXPECT_EQ(census.escapes, c.expected.escapes);
    EXPECT_EQ(census.hzShifts, c.expected.hzShifts);
    EXPECT_EQ(census.evenZeros, c.expected.evenZeros);
    EXPECT_EQ(census.oddZeros, c.expected.oddZeros);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Censuses,
    testing::Values(CensusCase{"ascii", "I said hi~", {}},
                    // A stray cp1252 byte between well-formed sequences of two, three and four bytes.
                    CensusCase{"mostly_utf8", "caf\xC3\xA9 \x92 \xE2\x80\xA6 \xF0\x9F\x98\x80", {3, 1, 0, 0, 0, 0}},
                    // A truncated sequence at the end is stray, each of its bytes.
                    CensusCase{"cut_sequence", "ok \xE2\x80", {0, 2, 0, 0, 0, 0}},
                    CensusCase{"iso2022jp", "\x1B$B$3$s\x1B(B", {0, 0, 2, 0, 0, 0}},
                    CensusCase{"hz", "~{<:Ky~}", {0, 0, 0, 1, 0, 0}},
                    CensusCase{"utf16le", "1\0\r\0\n\0"s, {0, 0, 0, 0, 0, 3}},
                    CensusCase{"utf16be", "\0001\0\r"s, {0, 0, 0, 0, 2, 0}}),
    [](const testing::TestParamInfo<CensusCase>& info) { return std::string(info.param.name); });

}  // namespace
