#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/text_rewriter.h"

namespace {

using namespace std::string_literals;

// Which rules a rewriter says changed a text, and how it counts them: a rule is
// credited once a text, at its own turn, in every mode and on either engine.
struct ProvenanceCase {
    const char* name;
    ReplacementRules words;
    RewriteMode mode;
    TagSyntax tags;
    std::string text;
    std::string expected;
    std::vector<std::string> changedBy;  // patterns, in the order the rules apply
    int times = 1;                       // the text given this often, past the interpreted texts onto the JIT
};

void PrintTo(const ProvenanceCase& c, std::ostream* os) { *os << c.name; }

class Provenance : public testing::TestWithParam<ProvenanceCase> {};

TEST_P(Provenance, NamesTheRulesThatChangedEachText) {
    const ProvenanceCase& c = GetParam();
    TextRewriter rewriter(c.words, c.mode);
    std::vector<std::string> patterns;
    for (const auto& [pattern, replacement] : c.words) patterns.push_back(pattern);
    for (int i = 0; i < c.times; ++i) {
        ASSERT_EQ(rewriter.apply(c.text, c.tags), c.expected) << "text " << i;
        std::vector<std::string> named;
        for (const std::size_t rule : rewriter.lastChangedBy()) named.push_back(patterns.at(rule));
        ASSERT_EQ(named, c.changedBy) << "text " << i;
    }
    std::vector<int> expectedCounts(patterns.size(), 0);
    for (const std::string& pattern : c.changedBy) {
        for (std::size_t rule = 0; rule < patterns.size(); ++rule) expectedCounts[rule] += patterns[rule] == pattern;
    }
    for (int& count : expectedCounts) count *= c.times;
    EXPECT_EQ(rewriter.count().byRule, expectedCounts);
    EXPECT_EQ(rewriter.count().changed, c.text == c.expected ? 0 : c.times);
    rewriter.resetCount();
    EXPECT_EQ(rewriter.count().byRule, std::vector<int>(patterns.size(), 0));
}

const ReplacementRules kDialogue{{"(\\w+)-san", "$1"},
                                 {"\xE2\x80\x9C([^\xE2\x80\x9D]*)\xE2\x80\x9D", "\xC2\xAB$1\xC2\xBB"},
                                 {"\\.\\.\\.", "\xE2\x80\xA6"},
                                 {"Tanaka-san", "Mr Tanaka"},
                                 {"zzz", ""}};

INSTANTIATE_TEST_SUITE_P(
    Rules, Provenance,
    testing::Values(
        ProvenanceCase{"several_rules_on_quoted_dialogue",
                       kDialogue,
                       {},
                       TagSyntax::None,
                       "\xE2\x80\x9CTanaka-san!\xE2\x80\x9D...",
                       "\xC2\xAB"
                       "Tanaka!\xC2\xBB\xE2\x80\xA6",
                       {"(\\w+)-san", "\\.\\.\\.", "\xE2\x80\x9C([^\xE2\x80\x9D]*)\xE2\x80\x9D"}},
        // An earlier rule took the name's honorific: the later one never fires.
        ProvenanceCase{
            "shadowed_rule_not_named", kDialogue, {}, TagSyntax::None, "Tanaka-san!", "Tanaka!", {"(\\w+)-san"}},
        ProvenanceCase{"on_the_jit_after_the_interpreted_texts",
                       kDialogue,
                       {},
                       TagSyntax::None,
                       "Aoi-san, wait...",
                       "Aoi, wait\xE2\x80\xA6",
                       {"(\\w+)-san", "\\.\\.\\."},
                       20},
        ProvenanceCase{"unchanged_text", kDialogue, {}, TagSyntax::None, "Nothing here.", "Nothing here.", {}},
        ProvenanceCase{"line_removed",
                       {{"^\\[[^\\]]*\\]\\\\N", ""}},
                       {},
                       TagSyntax::None,
                       "[door slams]\\NWho's there?",
                       "Who's there?",
                       {"^\\[[^\\]]*\\]\\\\N"}},
        ProvenanceCase{"line_added",
                       {{"([.!?]) - ", "$1\\N- "}},
                       {},
                       TagSyntax::None,
                       "Wait! - Why?",
                       "Wait!\\N- Why?",
                       {"([.!?]) - "}},
        // Credited at its turn though a later rule undoes it.
        ProvenanceCase{"undone_by_a_later_rule", {{"a", "b"}, {"b", "a"}}, {}, TagSyntax::None, "a", "a", {"a", "b"}},
        ProvenanceCase{"each_visible_run_once",
                       {{"i", "I"}},
                       {true, false},
                       TagSyntax::Ass,
                       "{\\i1}hi{\\i0} hi\\Nhi",
                       "{\\i1}hI{\\i0} hI\\NhI",
                       {"i"}},
        ProvenanceCase{"character_wise",
                       {{"(\\w+)\xE3\x81\x95\xE3\x82\x93", "$1"}, {"x", "y"}},
                       {false, true},
                       TagSyntax::None,
                       "\xE7\x94\xB0\xE4\xB8\xAD\xE3\x81\x95\xE3\x82\x93",
                       "\xE7\x94\xB0\xE4\xB8\xAD",
                       {"(\\w+)\xE3\x81\x95\xE3\x82\x93"}},
        ProvenanceCase{"character_wise_on_bytes_that_are_not_utf8",
                       {{"x", "y"}},
                       {false, true},
                       TagSyntax::None,
                       "x\xFF",
                       "y\xFF",
                       {"x"}}));

}  // namespace
