#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern/pattern_literals.h"

namespace {

struct LiteralCase {
    std::string pattern;
    std::vector<std::string> literals;
};

void PrintTo(const LiteralCase& c, std::ostream* os) { *os << testing::PrintToString(c.pattern); }

class RequiredLiterals : public testing::TestWithParam<LiteralCase> {};

TEST_P(RequiredLiterals, AreInEveryMatch) { EXPECT_EQ(requiredLiterals(GetParam().pattern), GetParam().literals); }

INSTANTIATE_TEST_SUITE_P(
    Patterns, RequiredLiterals,
    testing::Values(LiteralCase{"-san", {"-san"}}, LiteralCase{"(\\w+)-kun", {"-kun"}},
                    LiteralCase{"\\bsenpai\\b", {"senpai"}}, LiteralCase{"Mr\\. (\\w+)", {"Mr. "}},
                    LiteralCase{"ab+c", {"ab"}},    // and "bc": equally long, the first is kept
                    LiteralCase{"x?san", {"san"}},  // an optional byte is not required
                    LiteralCase{"sa{0}nd", {"nd"}}, LiteralCase{"s+?an", {"san"}},  // a lazy '+' still ends in one 's'
                    LiteralCase{"kun|chan", {"kun", "chan"}}, LiteralCase{"(?:dono|sama)!", {"dono", "sama"}},
                    LiteralCase{"kun|\\w", {}},                                // one branch without a literal
                    LiteralCase{"(kun)?", {}}, LiteralCase{"(?=kun)\\w", {}},  // looked-at text is not matched
                    LiteralCase{"[kun]+", {}}, LiteralCase{"[\\]kun]", {}},    // the class ends at the second ']'
                    LiteralCase{"\\x41bc", {"bc"}},                            // hex digits are not literal bytes
                    LiteralCase{"\\c(ab", {"ab"}},                             // "\c" takes the '(' with it
                    LiteralCase{"(x)\\1abc", {"abc"}},
                    LiteralCase{"[[:alpha:]]abc", {"abc"}},  // a named class is one element of its class
                    LiteralCase{"\\012", {"12"}},            // \0 is NUL, not the start of a number
                    LiteralCase{"\\1abc", {}},               // refused by the engine: no group 1
                    LiteralCase{"", {}}, LiteralCase{"(unclosed", {}}, LiteralCase{"a\\.b\\-c\\n", {"a.b-c\n"}}));

TEST(PlainLiteral, OnlyWithoutSyntaxBytes) {
    EXPECT_TRUE(isPlainLiteral("Tanaka-san"));
    EXPECT_TRUE(isPlainLiteral("\xc3\xa9t\xc3\xa9"));
    const std::vector<std::string> withSyntax = {
        "", "Mr.", "a*", "(a)", "a|b", "a]", "\\n", "a{1}", std::string("a\0b", 3)};
    for (const std::string& pattern : withSyntax) {
        EXPECT_FALSE(isPlainLiteral(pattern)) << testing::PrintToString(pattern);
    }
}

}  // namespace
