#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "rules/rule_regex.h"
#include "rules/substitution.h"

namespace {

struct Case {
    const char* name;
    ReplacementRules words;
    std::string text;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SubstitutionRewrites : public testing::TestWithParam<Case> {};

TEST_P(SubstitutionRewrites, AsTheRulesSay) {
    Substitution substitution(GetParam().words);
    EXPECT_EQ(substitution.apply(GetParam().text), GetParam().expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rules, SubstitutionRewrites,
    testing::Values(
        Case{"chains_in_pattern_order", {{"cat", "dog"}, {"dog", "bird"}}, "my cat", "my bird"},
        Case{"later_rule_sees_earlier_output", {{"cat", "dog"}, {"dog", "cat"}}, "cat and dog", "cat and cat"},
        Case{"ignores_ascii_case", {{"hello", "bye"}}, "HeLLo there", "bye there"},
        Case{"dot_is_a_pattern_character", {{"Mr.", "X"}}, "Mrs mr! Mr.", "X X X"},
        Case{"whole_match", {{"san", "[$&]"}}, "Tanaka-San", "Tanaka-[San]"},
        Case{"capture_group", {{"(\\w+)-kun", "$1"}}, "Taro-kun", "Taro"},
        Case{"two_digit_group_beyond_count_is_empty", {{"(a)", "<$10>"}}, "a", "<>"},
        Case{"dollar_dollar", {{"a", "$$"}}, "a", "$"}, Case{"unknown_dollar_kept", {{"a", "$x"}}, "a", "$x"},
        Case{"trailing_dollar_kept", {{"a", "b$"}}, "a", "b$"},
        Case{"prefix_and_suffix", {{"b", "[$`|$']"}}, "abc", "a[a|c]c"},
        Case{"empty_pattern_everywhere", {{"", "-"}}, "ab", "-a-b-"},
        Case{"empty_pattern_on_empty_text", {{"", "-"}}, "", "-"},
        Case{"non_ascii_does_not_fold",
             {{"\xc3\xa9", "e"}},
             "\xc3\x89\xc3\xa9",
             "\xc3\x89"
             "e"},
        Case{"no_rules_keep_text", {}, "unchanged \r\n", "unchanged \r\n"},
        Case{"inserted_text_not_searched_again", {{"a", "aa"}}, "a", "aa"},
        Case{"literal_matches_do_not_overlap", {{"aa", "b"}}, "aAaaa", "bba"},
        Case{"literal_prefix_starts_after_previous_match", {{"a", "[$`]"}}, "xaya", "x[x]y[y]"},
        Case{"literal_has_only_group_zero", {{"san", "<$1$01$10$0$00$&>"}}, "SAN", "<SANSANSAN>"},
        Case{"rule_sees_literal_made_by_earlier_rule", {{"cat", "dog"}, {"dog(s)?", "bird$1"}}, "cats", "birds"},
        Case{"regex_rule_runs_where_its_literal_is", {{"\\bkun\\b", "K"}}, "kun kunai", "K kunai"}));

TEST(Substitution, BadPatternThrowsOnlyWhenApplied) {
    Substitution substitution(ReplacementRules{{"(unclosed", "x"}, {"a", "b"}});
    EXPECT_THROW(substitution.apply("text"), std::regex_error);
}

TEST(Substitution, BadPatternThrowsAtEveryTextEvenWhenNothingMatches) {
    Substitution substitution(ReplacementRules{{"[", "x"}, {"zzz", "y"}});
    EXPECT_THROW(substitution.apply("abc"), std::regex_error);
    EXPECT_THROW(substitution.apply(""), std::regex_error);
}

TEST(Substitution, ReusesRulesAcrossTexts) {
    Substitution substitution(ReplacementRules{{"(\\w+)-san", "$1"}, {"kun", "K"}});
    EXPECT_EQ(substitution.apply("Aoi-san"), "Aoi");
    EXPECT_EQ(substitution.apply("Taro-KUN, Aoi-SAN"), "Taro-K, Aoi");
}

// The rules' regexes use facet-caching traits that skip what libstdc++ only needs for
// equivalence classes until one is read: each byte alone, and a few texts, match as
// under std::regex, with and without such classes.
TEST(RuleEngineRegex, MatchesWhatStdRegexMatches) {
    const char* patterns[] = {"[[=a=]]",    "[x[=e=]]",         "[^[=a=]]", "[[.a.]b]", "[[.a.][=b=]]",
                              "[\\w[=_=]]", "[[:alpha:][=z=]]", "[a-z]",    "[^\\s]",   "\\w+\\b",
                              ".",          "[\\d\\W]"};
    const std::string texts[] = {"Abc", "e_E", "zZ 9", "-.\n"};
    for (const char* pattern : patterns) {
        std::regex expected;
        try {
            expected.assign(pattern, std::regex_constants::icase);
        } catch (const std::regex_error& refused) {
            EXPECT_THROW(RuleEngineRegex(pattern, std::regex_constants::icase), std::regex_error) << pattern;
            continue;
        }
        const RuleEngineRegex actual(pattern, std::regex_constants::icase);
        for (int byte = 0; byte < 256; ++byte) {
            const char c = static_cast<char>(byte);
            EXPECT_EQ(std::regex_match(&c, &c + 1, actual), std::regex_match(&c, &c + 1, expected))
                << pattern << " on byte " << byte;
        }
        for (const std::string& text : texts) {
            EXPECT_EQ(std::regex_replace(text, actual, "<$&>"), std::regex_replace(text, expected, "<$&>")) << pattern;
        }
    }
}

}  // namespace
