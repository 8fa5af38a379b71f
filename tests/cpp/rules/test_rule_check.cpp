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
        // An alternation of literals rewrites each: "-chan" after a name goes first.
        Shadowing{"alternation",
                  {{"(\\w+)-(san|chan)", "$1"}, {"onii-chan", "brother"}, {"Mei-san", "x"}, {" -chan", ""}},
                  {-1, 0, 0, -1}},
        Shadowing{"literal alternation", {{"kun|ch(?:a|i)n", ""}, {"mei-chin", "x"}, {"taro-kun", "x"}}, {-1, 0, 0}},
        // Alternatives that can overlap, a repeated one, or one given back prove nothing.
        Shadowing{"alternatives unproven",
                  {{"(\\w+)(?:-s|s-)", "$1"},
                   {"ab-s", "x"},
                   {"(\\w+)-(san)+", "$1"},
                   {"aoi-san", "x"},
                   {"(\\w+)(-kun|-chan)", "$1$2"},
                   {"aoi-kun", "x"}},
                  {-1, -1, -1, -1, -1, -1}},
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

struct Mistake {
    ReplacementRule rule;
    const char* said;  // part of the one warning expected; "" for none
};

void PrintTo(const Mistake& m, std::ostream* os) { *os << m.rule.pattern << " -> " << m.rule.replacement; }

class RuleMistakes : public testing::TestWithParam<Mistake> {};

TEST_P(RuleMistakes, AreWarnedOfWithTheFix) {
    const std::vector<std::string> warnings = checkRules({GetParam().rule}).rules.at(0).warnings;
    if (*GetParam().said == '\0') {
        EXPECT_TRUE(warnings.empty()) << warnings.at(0);
    } else {
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(GetParam().said), std::string::npos) << warnings[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RuleMistakes,
    testing::Values(Mistake{{"", "x"}, "the empty pattern matches between every two characters"},
                    Mistake{{"\\s*", " "}, "make it match at least one character"},
                    Mistake{{"a|", "x"}, "make it match at least one character"},
                    Mistake{{"(?:[^a]*)?", "x"}, "make it match at least one character"},
                    // An anchor, a boundary or a lookahead decides where; a back-reference needs its group.
                    Mistake{{"^\\s*", ""}, ""}, Mistake{{"\\b", "|"}, ""}, Mistake{{"(?=a)b*", ""}, ""},
                    Mistake{{"a*b", ""}, ""}, Mistake{{"(a)\\1", ""}, ""},
                    Mistake{{"(\\w+)-san", "\\1"}, "Python's way to write a group, and is written as it is: write $1"},
                    Mistake{{"(\\w+)-san", "\\g<1>"}, "write $1"},
                    Mistake{{"(x)", "\\g<name>"}, "groups have no names"},
                    // ASS colour tags and an escaped backslash are text.
                    Mistake{{"x", "{\\1c&HFFFFFF&}"}, ""}, Mistake{{"x", "\\\\1"}, ""},
                    Mistake{{"(\\w+)-san", "$2"},
                            "\"$2\" in the replacement writes nothing: the pattern has one group"},
                    Mistake{{"x", "[$1]"}, "the pattern has no group"}, Mistake{{"(a)", "$10"}, "\"$10\""},
                    Mistake{{"(a)(b)", "$2$1$&$$3"}, ""}, Mistake{{"(a)(?:b)", "$1"}, ""}));

struct Hint {
    const char* pattern;
    const char* said;  // part of the problem's message; "" for no hint
};

class ForeignSyntax : public testing::TestWithParam<Hint> {};

TEST_P(ForeignSyntax, IsRefusedWithWhatPatternsAre) {
    const std::string problem = checkRules({{GetParam().pattern, "x"}}).rules.at(0).problem;
    ASSERT_FALSE(problem.empty());
    EXPECT_EQ(problem.find("patterns are ECMAScript") != std::string::npos, *GetParam().said != '\0') << problem;
    EXPECT_NE(problem.find(GetParam().said), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(Patterns, ForeignSyntax,
                         testing::Values(Hint{"(?i)san", "remove the inline flags \"(?i)\""},
                                         Hint{"(?i:san)", "\"(?i:\""}, Hint{"(?<=a)b", "match the text before"},
                                         Hint{"(?<!a)b", "match the text before"},
                                         Hint{"(?P<n>x)", "use a numbered group"}, Hint{"(?<n>x)", "numbered group"},
                                         Hint{"(?#note)x", "no lookbehind or named groups"}, Hint{"a(", ""},
                                         Hint{"a{2,1}", ""}));

}  // namespace
