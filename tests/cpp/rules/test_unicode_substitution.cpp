#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>

#include "rules/substitution.h"
#include "rules/unicode_substitution.h"

namespace {

// Other text on the character-wise JIT at once, and on the wide regex first.
constexpr int kWideFirst[] = {0, UnicodeSubstitution::kWideTextsFirst};

TEST(UnicodeSubstitution, PatternsMatchCharactersWhereBytesWouldCutThem) {
    const struct {
        ReplacementRules words;
        std::string text;
        std::string expected;
    } cases[] = {
        {{{"[、。]", ""}}, "はい、そう。", "はいそう"},
        {{{"(\\w+)さん", "$1"}}, "田中さん!", "田中!"},
        {{{"é", "e"}}, "ÉTÉ été", "eTe ete"},
        {{{"\\u3055+", "S"}}, "ささx", "Sx"},
        {{{"\\bsenpai\\b", "S"}}, "ÉsenpaiÉ senpai", "ÉsenpaiÉ S"},
        {{{"k", "x"}}, "\u212A", "x"},                // the Kelvin sign folds to k: the prefilter must fold alike
        {{{"istanbul", "x"}}, "\u0130STANBUL", "x"},  // ... shorter than it was
        {{{"b", "ça"}, {"ça", "ok"}}, "B!", "ok!"},   // reached through an earlier rule
        {{{".", "?"}}, "\xE9t\xE9", "???"},           // not UTF-8: byte-wise, as without the option
    };
    for (const auto& c : cases) {
        for (const int wideFirst : kWideFirst) {
            EXPECT_EQ(UnicodeSubstitution(c.words, wideFirst).apply(c.text), c.expected) << c.text;
        }
    }
}

TEST(UnicodeSubstitution, AsciiTextsGetTheByteWiseResult) {
    const ReplacementRules words = {{"-san", ""},         {"(\\w+)-kun", "$1"}, {"\\bsenpai\\b", "upperclassman"},
                                    {"oji-san", "uncle"}, {"x{2,}", "X"},       {"^a|b$", "_"}};
    Substitution byteWise(words);
    UnicodeSubstitution characterWise(words);
    for (const std::string text : {"Aoi-san and Taro-kun", "SENPAI! oji-san", "axxxb", "nothing here", ""}) {
        EXPECT_EQ(characterWise.apply(text), byteWise.apply(text)) << text;
    }
}

// A plain ASCII literal skips the regex on ASCII texts only; both ways must agree.
TEST(UnicodeSubstitution, PlainLiteralsGiveTheSameOnAnyText) {
    const struct {
        ReplacementRules words;
        std::string text;
        std::string expected;
    } cases[] = {
        {{{"-SAN", "[$&]"}}, "Aoi-san, Aoi-San", "Aoi[-san], Aoi[-San]"},
        {{{"-SAN", "[$&]"}}, "葵-san, 葵-San", "葵[-san], 葵[-San]"},
        {{{"san", "$$"}}, "san é san", "$ é $"},
        {{{"kun", "君"}, {"君", "K"}}, "Taro-kun", "Taro-K"},
    };
    for (const auto& c : cases) {
        for (const int wideFirst : kWideFirst) {
            EXPECT_EQ(UnicodeSubstitution(c.words, wideFirst).apply(c.text), c.expected) << c.text;
        }
    }
}

TEST(UnicodeSubstitution, WhiteSpaceIsEcmaScriptsInAndOutOfClasses) {
    const std::string spaces[] = {"\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u00A0",
                                  "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
                                  "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029",
                                  "\u202F", "\u205F", "\u3000", "\uFEFF"};
    // Close to white space, but not ECMAScript's.
    const std::string others[] = {"b", "\x01", "\u0085", "\u180E", "\u200B", "\u2060"};
    const struct {
        std::string pattern;
        bool matchesSpaces;
    } classes[] = {{"\\s", true},    {"\\S", false},   {"[\\s]", true},  {"[^\\s]", false},
                   {"[\\S]", false}, {"[a\\s]", true}, {"[^\\S]", true}, {"[\\S\\d]", false}};
    for (const auto& c : classes) {
        UnicodeSubstitution rule(ReplacementRules{{c.pattern, "#"}}, 0);
        for (const std::string& space : spaces)
            EXPECT_EQ(rule.apply(space), c.matchesSpaces ? "#" : space) << c.pattern;
        for (const std::string& other : others)
            EXPECT_EQ(rule.apply(other), c.matchesSpaces ? other : "#") << c.pattern;
    }
    const struct {
        ReplacementRules words;
        std::string text;
        std::string characterWise;
        std::string byteWise;
    } sentences[] = {
        {{{"(\\w+)\\s+\\?", "$1?"}}, "Quoi\u00A0?", "Quoi?", "Quoi\u00A0?"},
        {{{"(\\w+)\\s+\\?", "$1?"}}, "Quoi ?", "Quoi?", "Quoi?"},
        {{{"\\S+", "#"}}, "a\u202Fb", "#\u202F#", "#"},
        {{{"[^\\s,]+", "#"}}, "a,\uFEFFb", "#,\uFEFF#", "#,#"},
    };
    for (const auto& s : sentences) {
        for (const int wideFirst : kWideFirst) {
            EXPECT_EQ(UnicodeSubstitution(s.words, wideFirst).apply(s.text), s.characterWise) << s.text;
        }
        EXPECT_EQ(Substitution(s.words).apply(s.text), s.byteWise) << s.text;
    }
}

// A text runs byte-wise on the JIT while it is ASCII, character-wise on it while its
// characters are in the Basic Multilingual Plane, on the wide regex beyond that or for
// a rule the JIT does not take; a replacement can move it from one to another.
TEST(UnicodeSubstitution, EachEngineATextMeetsGivesTheWideRegexResult) {
    const struct {
        RuleSequence rules;
        std::string text;
        std::string expected;
    } cases[] = {
        {{{"(\\w+)-san", "$1"}}, "Zo\u00e9-san \u201cok\u201d", "Zo\u00e9 \u201cok\u201d"},
        {{{"(\\w+)-san", "$1"}}, "Zo\u00e9-san \U0001F600", "Zo\u00e9 \U0001F600"},
        {{{"a", "\u00e9"}, {"\u00e9+", "e"}}, "aa", "e"},
        {{{"\u00e9", "\U0001F600"}, {"\U0001F600|x", "y"}}, "\u00e9x", "yy"},
        {{{"\U0001F600", "a"}, {"a+", "b"}}, "\U0001F600a", "b"},
        {{{"(.)\\1", "<$1>"}}, "\u00e9\u00e9a", "<\u00e9>a"},
        {{{"\\b\u00e9", "E"}}, "a\u00e9 \u00e9", "a\u00e9 E"},
        {{{"senpai", "senior", LetterCase::Preserve}}, "\u201cSENPAI\u201d Senpai", "\u201cSENIOR\u201d Senior"},
        {{{"\u00e9t\u00e9", "summer", LetterCase::Preserve}}, "\u00c9T\u00c9!", "SUMMER!"},
        {{{"K", "x", LetterCase::Sensitive}}, "k K \u212a", "k x \u212a"},
        {{{"senpai", "\u00e9l\u00e8ve", LetterCase::Preserve}}, "SENPAI Senpai", "\u00c9L\u00c8VE \u00c9l\u00e8ve"},
        {{{"sen(pai)", "\u00e9l\u00e8ve", LetterCase::Preserve}}, "SENPAI", "\u00c9L\u00c8VE"},
    };
    for (const auto& c : cases) {
        for (const int wideFirst : kWideFirst) {
            EXPECT_EQ(UnicodeSubstitution(c.rules, wideFirst).apply(c.text), c.expected) << c.text;
        }
    }
}

// The wide regex would need more stack than a thread has for it; the JIT keeps its
// backtracking on the heap.
TEST(UnicodeSubstitution, LongTextsRunOnTheJitAtOnce) {
    std::string accents;
    for (int i = 0; i < 500000; ++i) accents += "\u00e9";
    UnicodeSubstitution rule(ReplacementRules{{"\u201c(.*?)\u201d", "\u00ab$1\u00bb"}});
    EXPECT_EQ(rule.apply("\u201c" + accents + "\u201d"), "\u00ab" + accents + "\u00bb");
}

TEST(UnicodeSubstitution, RefusesRulesWithoutCharactersWhenBuilt) {
    EXPECT_THROW(UnicodeSubstitution(ReplacementRules{{"a\xE9", "x"}}), std::runtime_error);
    EXPECT_THROW(UnicodeSubstitution(ReplacementRules{{"a", "\xE9"}}), std::runtime_error);
    EXPECT_THROW(UnicodeSubstitution(ReplacementRules{{"(a", "x"}}), std::regex_error);
}

}  // namespace
