// Character-wise rules on PCRE2's JIT against the wide regex they would otherwise run
// (imbued with "C.UTF-8", compiled as the rules compile it): every result the same,
// byte for byte. QUORVANT_JIT_CASES and QUORVANT_JIT_SEED as in
// test_jit_differential.cpp; QUORVANT_CHARACTER_CASES sets this file's own number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core_helpers.h"
#include "generated_rules.h"
#include "pattern_grammar.h"
#include "rules/code_point_sets.h"
#include "rules/ecmascript_space_traits.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "rules/unicode_substitution.h"
#include "stack/large_stack.h"
#include "test_support.h"
#include "text/utf8_text.h"

namespace {

using generated_rules::byJit;
using generated_rules::KnownDifference;

struct WideEngines {
    WideRegex regex;
    std::wstring format;
    std::optional<JitRule> jit;
};

WideRegex wideRegex(const std::string& pattern, bool ignoreCase) {
    WideRegex regex;
    regex.imbue(std::locale("C.UTF-8"));
    regex.assign(*wideFromUtf8(pattern), ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                    : std::regex_constants::ECMAScript);
    return regex;
}

// Throws std::regex_error when the wide regex refuses the pattern.
WideEngines bothEngines(const std::string& pattern, const std::string& replacement, CodePointSets& sets,
                        int interpretedTexts, bool ignoreCase) {
    WideEngines engines{wideRegex(pattern, ignoreCase), *wideFromUtf8(replacement), std::nullopt};
    if (const std::optional<JitPattern> translated = characterJitPatternFor(pattern, sets, ignoreCase)) {
        engines.jit = JitRule::compile(*translated, replacement, interpretedTexts);
    }
    return engines;
}

std::string byWideRegex(const WideEngines& engines, const std::string& text) {
    return utf8FromWide(std::regex_replace(*wideFromUtf8(text), engines.regex, engines.format.c_str()));
}

// Where the wide regex and PCRE2's own Unicode support part ways, one row each.
const KnownDifference kKnownDifferences[] = {
    {"k", "x", "k K \xe2\x84\xaa", true},                      // the Kelvin sign folds to k
    {"\\u212a", "x", "k K \xe2\x84\xaa", true},                // ... and k to itself, not to it
    {"i", "x", "i I \xc4\xb0 \xc4\xb1", true},                 // dotted capital I folds to i; dotless i does not
    {"s", "x", "s S \xc5\xbf", true},                          // long s folds to itself
    {"[A-Z]", "_", "\xc5\xbf \xc4\xb1 \xe2\x84\xaa", true},    // a range takes what folds up into it
    {"\\u03c9", "x", "\xcf\x89 \xce\xa9 \xe2\x84\xa6", true},  // the Ohm sign folds to omega
    {"\\u00b5", "x", "\xc2\xb5 \xce\xbc \xce\x9c", true},      // micro sign and mu stay apart
    {"\xc3\x9f", "x", "\xc3\x9f \xe1\xba\x9e SS", true},       // capital sharp s, but not SS
    {".", "x",
     "a\xe2\x80\xa8"
     "b\xe2\x80\xa9\n\r\xc2\x85",
     true},                                                                      // `.` leaves out U+2028 and U+2029
    {"\\s", "_", "\xc2\xa0\xe3\x80\x80\xe2\x80\xa8\xc2\x85\xef\xbb\xbf", true},  // ECMAScript's white space
    {"\\w+", "_", "caf\xc3\xa9 \xe7\x8c\xab \xef\xbc\x91 \xcc\x81", true},       // the locale's letters and digits
    {"\\b\xc3\xa9", "x", "a\xc3\xa9 \xc3\xa9", true},  // a boundary between the locale's word characters
    {"\\B.", "x", "\xc3\xa9t\xc3\xa9 !", true},
    {"\xc3\xa9*", "-", "\xc3\xa9\xc3\xa9 a", true},  // a quantifier repeats the whole character
    {"", "-", "\xc3\xa9\xe7\x8c\xab", true},         // after an empty match, one whole character on
    {"[[:upper:]]", "_", "\xc3\x89\xc3\xa9\xe2\x84\xa6", true},
    {"[^\\W\\d]", "_",
     "\xc3\xa9"
     "1\xef\xbc\x91",
     true},
    {"(a)\\1", "x", "aA", false},  // the wide regex compares it by collation
    {"[[=e=]]", "x", "e\xc3\xa9", false},
    {"[\xc3\xa0-\xc3\xbf]+", "_", "\xc3\x80\xc3\xa9\xc3\xbf\xc5\xb8", true},  // a class of characters of several bytes
    {"[^\xe2\x80\x98-\xe2\x80\x9d]", "_",
     "\xe2\x80\x9c"
     "a\xe2\x80\x9d",
     true},
    {"[\xc3\xbf-\xc4\x80]", "x", "\xc3\xbf\xc5\xb8\xc4\x81", true},  // a range across bytes of UTF-8
    {"\xf0\x9f\x98\x80", "x", "a", false},                           // beyond the Basic Multilingual Plane
};

TEST(CharacterJitDifferential, KnownDifferencesGiveTheWideRegexResults) {
    CodePointSets sets{std::locale("C.UTF-8")};
    const JitMatchContext context;
    for (const KnownDifference& row : kKnownDifferences) {
        for (const bool ignoreCase : {true, false}) {
            WideEngines engines = bothEngines(row.pattern, row.replacement, sets, 0, ignoreCase);
            EXPECT_EQ(engines.jit.has_value(), row.onJit) << row.pattern;
            if (!engines.jit) continue;
            EXPECT_EQ(byJit(engines, row.text, context), byWideRegex(engines, row.text))
                << row.pattern << " " << ignoreCase;
        }
    }
}

TEST(CharacterJitDifferential, CodePointSetsWorkedOutAreThoseTheWideRegexAccepts) {
    const std::vector<std::string> atoms = {".",
                                            "\\w",
                                            "\\W",
                                            "\\s",
                                            "\\D",
                                            "[^-a]",
                                            "[\\W\\d]",
                                            "[^\\S]",
                                            "[[:upper:]_]",
                                            "[[:lower:]]",
                                            "[[:PUNCT:]]",
                                            "[A-Z]",
                                            "[a-z\\u00e0]",
                                            "[\\x80-\\uffff]",
                                            "[Z-a]",
                                            "[\\u0100-\\u017f]",
                                            "[^\\u2028\\n]",
                                            "[\\cz\\u212a]",
                                            "[]",
                                            "[^]"};
    CodePointSets sets{std::locale("C.UTF-8")};
    for (const std::string& atom : atoms) {
        const LexedPattern lexed = lexPattern(atom);
        ASSERT_TRUE(lexed.valid()) << atom;
        for (const bool ignoreCase : {true, false}) {
            const std::optional<CodePointSet> computed =
                sets.atom(atom, lexed.tokens, 0, lexed.tokens.size() - 1, ignoreCase);
            ASSERT_TRUE(computed) << atom;
            EXPECT_EQ(*computed, core_helpers::askedCodePointSet(atom, ignoreCase)) << atom << " " << ignoreCase;
        }
    }
    for (const char32_t c :
         {U'k', U'i', U's', U'\u00df', U'\u212a', U'\u0130', U'\u017f', U'\u00b5', U'\u2126', U'\u01c5', U'\u03c2'}) {
        for (const bool ignoreCase : {true, false}) {
            EXPECT_EQ(sets.literal(c, ignoreCase),
                      core_helpers::askedCodePointSet(utf8FromWide(std::wstring(1, c)), ignoreCase))
                << static_cast<unsigned>(c) << " " << ignoreCase;
        }
    }
}

using generated_rules::settingOr;

void compareGeneratedRules(bool ignoreCase, long wanted) {
    CodePointSets sets{std::locale("C.UTF-8")};
    const JitMatchContext context;
    generated_rules::compare(
        pattern_grammar::kCharacterAlphabet, wanted, 50,
        ignoreCase ? "character-wise" : "character-wise, case-sensitive",
        [&](const std::string& pattern, const std::string& replacement) {
            return bothEngines(pattern, replacement, sets, 3, ignoreCase);
        },
        [&](WideEngines& engines, const std::string&, const std::string& text) {
            return std::pair(byJit(engines, text, context), byWideRegex(engines, text));
        });
}

TEST(CharacterJitDifferential, GeneratedPatternsAndTextsGiveTheWideRegexResults) {
    const int wanted = settingOr("QUORVANT_CHARACTER_CASES", settingOr("QUORVANT_JIT_CASES", 40000) / 2);
    compareGeneratedRules(true, wanted);
    compareGeneratedRules(false, wanted / 4);
}

// Rules users write over text with typographic quotes, accents and honorifics; some
// fire on most lines, some add or remove lines, some stay on the wide regex.
const std::vector<std::pair<std::string, std::string>> kUsersRules = {
    {"(\\w+)-(san|kun|chan|sama)\\b", "$1"},
    {"\\bsenpai\\b", "senior"},
    {"\xe2\x80\x9c|\xe2\x80\x9d", "\""},
    {"\\u2019", "'"},
    {"[\xe2\x80\x98\xe2\x80\x99]", "'"},
    {"\xe2\x80\xa6", "..."},
    {"\xc3\xa9|\xc3\xa8", "e"},
    {"\\s+([,.!?\\u2026])", "$1"},
    {"\\u00a0", " "},
    {"^[-\\u2013\\u2014] ?", "\xe2\x80\x94 "},
    {"(\\w)\\1{2,}", "$1$1"},
    {"\\\\N", "\n"},
    {"\r?\n", " / "},
    {"([.!?]) (\\w)", "$1\n$2"},
    {"\\bMr\\.? ", "Monsieur "},
    {"\xc3\x9f", "ss"},
    {"[\\u00c0-\\u00dd]\\w+", "<$&>"},
    {"\\{[^}]*\\}", ""},
    {"e", "E"},
    {"\\d+", "#"},
};

// The plain wide regex, rule after rule in pattern order.
std::string byWideRules(const std::vector<std::pair<WideRegex, std::wstring>>& rules, const std::string& text) {
    std::wstring wide = *wideFromUtf8(text);
    for (const auto& [regex, format] : rules) wide = std::regex_replace(wide, regex, format.c_str());
    return utf8FromWide(wide);
}

// Every UTF-8 line of the sample files through random lists of those rules and of
// generated ones, as the character-wise substitution runs them and as the plain wide
// regex does. QUORVANT_CORPUS_DIR reads every line of another folder's samples instead
// of the first lines of these. On the large stack: the wide regex needs it for the
// longest lines.
void rewriteCorpus() {
    const char* folder = std::getenv("QUORVANT_CORPUS_DIR");
    const std::filesystem::path samples = folder ? folder : TEST_DATA_DIR;
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_JIT_SEED", 20261208)));
    auto choose = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    pattern_grammar::Generator generator(choose, pattern_grammar::kCharacterAlphabet);
    int files = 0;
    long lines = 0;
    for (const std::filesystem::path& path : test_support::sampleFiles(samples)) {
        const std::string name = path.filename().string();
        ++files;
        std::vector<std::string> fileLines = test_support::linesOf(test_support::readFile(path.string()));
        if (!folder && fileLines.size() > 400) fileLines.resize(400);
        for (int list = 0; list < 3; ++list) {
            ReplacementRules words;
            for (std::size_t count = 2 + choose(8); count > 0; --count) {
                words.insert(kUsersRules[choose(kUsersRules.size())]);
            }
            if (list == 2) words[generator.pattern()] = generator.replacement();
            std::vector<std::pair<WideRegex, std::wstring>> wideRules;
            try {
                for (const auto& [pattern, replacement] : words) {
                    wideRules.emplace_back(wideRegex(pattern, true), *wideFromUtf8(replacement));
                }
            } catch (const std::regex_error&) {
                continue;
            }
            UnicodeSubstitution substitution(words, 0);
            for (const std::string& line : fileLines) {
                if (!isValidUtf8(line)) continue;
                ++lines;
                ASSERT_EQ(substitution.apply(line), byWideRules(wideRules, line))
                    << name << ": " << testing::PrintToString(words) << " " << testing::PrintToString(line);
            }
        }
    }
    EXPECT_GT(files, 5);
    std::printf("%d files, %ld lines rewritten character-wise\n", files, lines);
}

TEST(CharacterJitDifferential, CorpusRewrittenWithRandomRuleListsIsByteIdentical) { onLargeStack(rewriteCorpus); }

}  // namespace
