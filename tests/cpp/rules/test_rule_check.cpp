#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_check.h"

namespace {

TEST(CheckRules, JudgesEveryRuleInTheListsOrderAndCompilesOnlyAListThatPasses) {
    const RuleSequence rules{{"cat", "dog"}, {"b(", "x"}, {"Zebra", ""}, {"[z-a]", "q"}, {"(\\w+)-san", "$1"}};
    const CheckedRules checked = checkRules(rules);

    ASSERT_EQ(checked.rules.size(), rules.size());
    std::vector<bool> valid;
    for (const RuleCheck& check : checked.rules) valid.push_back(check.problem.empty());
    EXPECT_EQ(valid, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_FALSE(checked.rewriter);
    EXPECT_TRUE(checkRules({{"cat", "dog"}, {"(\\w+)-san", "$1"}}).rewriter);
}

// ECMAScript as the passes compile it: lookahead and \\d are fine, named groups and
// a bare leading quantifier are not.
struct Verdict {
    const char* pattern;
    bool valid;
};

class CheckRulesJudgesLikeThePasses : public testing::TestWithParam<Verdict> {};

TEST_P(CheckRulesJudgesLikeThePasses, OnEachPattern) {
    const RuleCheck check = checkRules({{GetParam().pattern, "x"}}).rules.at(0);
    EXPECT_EQ(check.problem.empty(), GetParam().valid) << check.problem;
}

INSTANTIATE_TEST_SUITE_P(Patterns, CheckRulesJudgesLikeThePasses,
                         testing::Values(Verdict{"", true}, Verdict{"(?=a)b", true}, Verdict{"\\d+-san", true},
                                         Verdict{"[[:alpha:]]", true}, Verdict{"Mr\\.", true}, Verdict{"a{2,1}", false},
                                         Verdict{"*a", false}, Verdict{"(?<name>x)", false}, Verdict{"\\", false},
                                         Verdict{"a)", false}));

TEST(CheckRules, EmptyListHasNothingToReport) { EXPECT_TRUE(checkRules({}).rules.empty()); }

TEST(CheckRules, JudgesPatternsTooDeepForAnOrdinaryStack) {
    const std::string nested = std::string(20000, '(') + "a" + std::string(20000, ')');
    const std::vector<RuleCheck> checks = checkRules({{nested, "x"}}).rules;
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].problem, "");
}

// The options change what is compiled: a literal is escaped, a word rule wrapped.
TEST(CheckRules, JudgesThePatternAsItsOptionsMakeIt) {
    ReplacementRule literal{"b(", "x"};
    literal.literal = true;
    ReplacementRule word{"a)", "x"};
    word.word = true;
    const CheckedRules checked = checkRules({literal, word});
    EXPECT_EQ(checked.rules.at(0).problem, "");
    EXPECT_NE(checked.rules.at(1).problem, "");
}

struct Shadowing {
    const char* name;
    RuleSequence rules;
    std::vector<int> shadowedBy;  // -1: none
};

class ShadowedRules : public testing::TestWithParam<Shadowing> {};

TEST_P(ShadowedRules, AreNamedOnlyWhenCertain) {
    std::vector<int> found;
    for (const RuleCheck& check : checkRules(GetParam().rules).rules) {
        found.push_back(check.shadowedBy ? static_cast<int>(*check.shadowedBy) : -1);
    }
    EXPECT_EQ(found, GetParam().shadowedBy);
}

ReplacementRule withCase(ReplacementRule rule, LetterCase letterCase) {
    rule.letterCase = letterCase;
    return rule;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ShadowedRules,
    testing::Values(
        // The benchmark list's honorifics, sorted: the suffix rules come first.
        Shadowing{"honorifics",
                  {{"(\\w+)-chan", "$1"},
                   {"(\\w+)-san", "$1"},
                   {"Nii-chan", "brother"},
                   {"onii-san", "big brother"},
                   {"oba-san", "aunt"},
                   {"-san", ""}},
                  {-1, -1, 0, 1, 1, -1}},
        // Written first, the specific rules are not shadowed.
        Shadowing{"written", {{"onii-san", "brother"}, {"(\\w+)-san", "$1"}}, {-1, -1}},
        // A name glued to the suffix only after a blank: \w+ can't take it.
        Shadowing{"not after a word", {{"(\\w+)-san", "$1"}, {" -san", ""}, {"x|-san", ""}}, {-1, -1, -1}},
        // A plain literal rewrites every occurrence; one that can overlap itself does not.
        Shadowing{"literal", {{"kun", "K"}, {"taro-kun", "T"}, {"aa", "b"}, {"xaay", "z"}}, {-1, 0, -1, -1}},
        // A replacement that writes the literal again, or gives the match back, keeps it.
        Shadowing{"written again",
                  {{"(\\w+)-san", "$1-san"}, {"aoi-san", "x"}, {"kun", "$&!"}, {"aoi-kun", "x"}},
                  {-1, -1, -1, -1}},
        // A later rule writing the literal back lifts the shadow for the rules after it.
        Shadowing{"revived", {{"kun", ""}, {"taro", "taro-kun"}, {"taro-kun", "x"}}, {-1, -1, -1}},
        // A case-sensitive earlier rule misses other cases; options change the pattern.
        Shadowing{"options",
                  {withCase({"kun", ""}, LetterCase::Sensitive), {"taro-kun", "x"}, {"san", ""}, {"(a|b)san", ""}},
                  {-1, -1, -1, 2}}),
    [](const testing::TestParamInfo<Shadowing>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (c == ' ') c = '_';
        }
        return name;
    });

}  // namespace
