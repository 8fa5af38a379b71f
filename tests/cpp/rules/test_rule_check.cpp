#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_check.h"

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

TEST(CheckRules, JudgesPatternsTooDeepForAnOrdinaryStack) {
    const std::string nested = std::string(20000, '(') + "a" + std::string(20000, ')');
    const std::vector<RuleCheck> checks = checkRules({{nested, "x"}});
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].problem, "");
}

}  // namespace
