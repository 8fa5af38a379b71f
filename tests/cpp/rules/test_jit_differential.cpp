// Rules run by PCRE2's JIT against std::regex_replace with the same rule: every
// result the same, byte for byte. QUORVANT_JIT_CASES sets the number of generated
// (pattern, text) cases, QUORVANT_JIT_SEED the seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <regex>
#include <string>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "generated_rules.h"
#include "pattern_grammar.h"
#include "rules/case_shape.h"
#include "rules/ecmascript_space_traits.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "rules/reference_substitution.h"
#include "rules/rule_regex.h"
#include "rules/single_byte_sets.h"
#include "rules/substitution.h"
#include "rules/unicode_substitution.h"
#include "stack/large_stack.h"
#include "test_support.h"
#include "text/utf8_text.h"

namespace {

using generated_rules::byJit;
using generated_rules::KnownDifference;

struct Engines {
    RuleRegex regex;
    std::optional<JitRule> jit;
};

// Some texts in PCRE2's interpreter first, then on the JIT.
Engines bothEngines(const std::string& pattern, const std::string& replacement, ByteSetCache& cache,
                    int interpretedTexts = 3, bool ignoreCase = true) {
    Engines engines{compileRulePattern(pattern, ignoreCase), std::nullopt};
    if (const std::optional<JitPattern> translated = jitPatternFor(engines.regex.spelled, cache, ignoreCase)) {
        engines.jit = JitRule::compile(*translated, replacement, interpretedTexts);
    }
    return engines;
}

std::string byRegex(const Engines& engines, const std::string& replacement, const std::string& text) {
    return std::regex_replace(text, engines.regex.regex, replacement.c_str());
}

// Where ECMAScript, libstdc++ and PCRE2 part ways, one row each.
const KnownDifference kKnownDifferences[] = {
    {"a$", "X", "a\na", true},              // $ only at the very end
    {"(?:(a)|b)\\1c", "X", "bc ac", true},  // a group that took no part: libstdc++ fails
    {"(a)?b\\1", "[$1]", "ba", true},       // ... and the format gives nothing for it
    {"[]", "X", "ab", true},                // matches nothing
    {"[^]", "X", "a\n", true},              // matches any byte
    {".", "X", "a\n\rb\x85", true},         // `.` leaves out \n and \r only
    {"\\u3055+", "X", "\xe3\x81\x95\xe3\x81\x95", true},
    {"\\u0041", "x", "a", true},
    {"\xc3\xa9", "X", "\xc3\x89 \xc3\xa9", true},  // folding is ASCII only
    {"K", "x", "k \xe2\x84\xaa", true},
    {"\\s", "_", "a\vb\xa0\f", true},       // \s is the classic locale's
    {"[\\x80-\\x7f]", "_", "a\xff", true},  // a range that wraps through the signed chars
    {"[Z-a]", "_", "z`A[", true},           // a range read through the case fold
    {"[[:lower:]]", "_", "aB1", true},      // becomes alpha under icase
    {"a*", "X", "baac", true},              // after an empty match
    {"\\b|^b", "X", " b", true},            // the search after an empty match starts a text
    {"(?:(a)|b)+", "[$1]", "ab", true},     // captures inside quantified groups
    {"(a|b)*c", "$1", "abc", true},
    {"(a|aa)*b", "X", "aaaaaaaaaaaaaaaaaaaaaaaaac", true},
    {"(?=A)_*\\u0061", "X", "bab", true},  // PCRE2's start-up optimisations would miss these
    {"(?:k|)[^\\r]+?[^\\r]", "X", "k0\rk", true},
    {"(a|)*b", "X", "aab", false},            // an empty iteration of a repeated group
    {"a(?=^b)", "X", "ab", false},            // ^ inside a lookahead
    {"(?=a)|b", "X", "ab", false},            // an empty match with a lookahead in the pattern
    {"(?:(?=(a))x|a)\\1", "X", "aa", false},  // libstdc++ keeps a lookahead's captures
    {"a**", "X", "aa", false},                // a repeated repetition
    {"a{70000}", "X", "a", false},
    {"(x|^y){0}_a", "X", " _a", false},  // PCRE2 misses it            // beyond PCRE2's counts
};

TEST(JitDifferential, KnownDifferencesGiveStdRegexResults) {
    ByteSetCache cache;
    const JitMatchContext context;
    for (const KnownDifference& row : kKnownDifferences) {
        Engines engines = bothEngines(row.pattern, row.replacement, cache, 0);
        EXPECT_EQ(engines.jit.has_value(), row.onJit) << row.pattern;
        if (!engines.jit) continue;
        EXPECT_EQ(byJit(engines, row.text, context), byRegex(engines, row.replacement, row.text)) << row.pattern;
    }
}

TEST(JitDifferential, ByteSetsWorkedOutAreThoseStdRegexAccepts) {
    std::vector<std::string> atoms = {".",           "[^-a]",         "[\\W\\d]",      "[^\\S]",        "[[:upper:]_]",
                                      "[[:PUNCT:]]", "[\\x00-\\x1f]", "[\\xff-\\xff]", "[a-zA-Z\\x85]", "[\\cz]"};
    for (const std::vector<std::string>* more : {&pattern_grammar::kClasses, &pattern_grammar::kEscapes}) {
        atoms.insert(atoms.end(), more->begin(), more->end());
    }
    for (const std::string& atom : atoms) {
        const LexedPattern lexed = lexPattern(atom);
        ASSERT_TRUE(lexed.valid()) << atom;
        for (const bool ignoreCase : {true, false}) {
            const std::optional<std::bitset<256>> computed =
                singleByteSet(atom, lexed.tokens, 0, lexed.tokens.size() - 1, ignoreCase);
            if (computed) EXPECT_EQ(*computed, askedByteSet(atom, ignoreCase)) << atom << ignoreCase;
        }
    }
}

using generated_rules::settingOr;

// Case-sensitive rules (a list's "case": "sensitive") are compared as often as a
// quarter of the others.
void compareGeneratedRules(bool ignoreCase, long wanted) {
    ByteSetCache cache;
    const JitMatchContext context;
    generated_rules::compare(
        pattern_grammar::kByteAlphabet, wanted, 60, ignoreCase ? "byte-wise" : "byte-wise, case-sensitive",
        [&](const std::string& pattern, const std::string& replacement) {
            return bothEngines(pattern, replacement, cache, 3, ignoreCase);
        },
        [&](Engines& engines, const std::string& replacement, const std::string& text) {
            return std::pair(byJit(engines, text, context), byRegex(engines, replacement, text));
        });
}

TEST(JitDifferential, GeneratedPatternsAndTextsGiveStdRegexResults) {
    compareGeneratedRules(true, settingOr("QUORVANT_JIT_CASES", 40000));
    compareGeneratedRules(false, settingOr("QUORVANT_JIT_CASES", 40000) / 4);
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Character-wise rules run ASCII patterns on ASCII texts on the JIT; the wide regex
// they would otherwise run, compiled as the rules compile it, is the oracle.
TEST(JitDifferential, AsciiTextsInCharacterModeGiveTheWideRegexResults) {
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_JIT_SEED", 20261208)));
    auto choose = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    pattern_grammar::Generator generator(choose);
    const std::locale locale("C.UTF-8");
    long cases = 0;
    const long wanted = settingOr("QUORVANT_JIT_CASES", 40000) / 4;
    while (cases < wanted) {
        const std::string pattern = generator.pattern();
        const std::string replacement = generator.replacement();
        if (!isAscii(pattern)) continue;
        WideRegex expression;
        expression.imbue(locale);
        try {
            expression.assign(*wideFromUtf8(pattern), std::regex_constants::ECMAScript | std::regex_constants::icase);
        } catch (const std::regex_error&) {
            continue;
        }
        UnicodeSubstitution substitution(ReplacementRules{{pattern, replacement}});
        const std::wstring format = *wideFromUtf8(replacement);
        for (int i = 0; i < 20; ++i, ++cases) {
            std::string text = generator.text();
            std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
            const std::string expected =
                utf8FromWide(std::regex_replace(*wideFromUtf8(text), expression, format.c_str()));
            ASSERT_EQ(substitution.apply(text), expected)
                << "pattern " << testing::PrintToString(pattern) << ", replacement "
                << testing::PrintToString(replacement) << ", text " << testing::PrintToString(text);
        }
    }
}

// Rules users write: honorifics and names, sound tags, punctuation, markup; some
// fire on most lines, some add or remove lines.
const std::vector<std::pair<std::string, std::string>> kUsersRules = {
    {"(\\w+)-(san|kun|chan|sama)\\b", "$1"},
    {"\\bsenpai\\b", "upperclassman"},
    {"\\[[^\\]]*\\]\\s*", ""},
    {"\\([A-Z ]+\\)", ""},
    {"\\s+([,.!?])", "$1"},
    {"\\.\\.\\.", "\xe2\x80\xa6"},
    {"^- ?", "\xe2\x80\x94 "},
    {"\\\\N", "\n"},
    {"\r?\n", " / "},
    {"<(/?)i>", "{\\\\i$1}"},
    {"\\{[^}]*\\}", ""},
    {"(\\w)\\1{2,}", "$1$1"},
    {"\\b(the|a|an) (\\w+)", "$2 $1"},
    {" +$", ""},
    {"(?:^|\\s)'(\\w)", " \xe2\x80\x98$1"},
    {"([.!?]) ([a-z])", "$1\n$2"},
    {"e", "E"},
    {"\\d+", "#"},
    {"\xc3\xa9|\xc3\xa8", "e"},
    {"(?!\\s)\\W+$", ""},
};

// Every line of the sample files through random lists of those rules and of generated
// ones, as the substitution runs them and as the plain compile-per-text substitution
// does. QUORVANT_CORPUS_DIR reads every line of another folder's samples instead of
// the first lines of these. On the large stack: the plain substitution needs it for
// the longest lines.
void rewriteCorpus() {
    const char* folder = std::getenv("QUORVANT_CORPUS_DIR");
    const std::filesystem::path samples = folder ? folder : TEST_DATA_DIR;
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_JIT_SEED", 20261208)));
    auto choose = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    pattern_grammar::Generator generator(choose);
    int files = 0;
    for (const std::filesystem::path& path : test_support::sampleFiles(samples)) {
        const std::string name = path.filename().string();
        ++files;
        std::vector<std::string> lines = test_support::linesOf(test_support::readFile(path.string()));
        if (!folder && lines.size() > 400) lines.resize(400);
        for (int list = 0; list < 2; ++list) {
            ReplacementRules words;
            for (std::size_t count = 2 + choose(6); count > 0; --count)
                words.insert(kUsersRules[choose(kUsersRules.size())]);
            if (list == 1) words[generator.pattern()] = generator.replacement();
            Substitution substitution(words);
            for (const std::string& line : lines) {
                std::string expected;
                try {
                    expected = referenceSubstitution(words, line);
                } catch (const std::regex_error&) {
                    EXPECT_THROW(substitution.apply(line), std::regex_error);
                    break;
                }
                ASSERT_EQ(substitution.apply(line), expected) << name << ": " << testing::PrintToString(words);
            }
        }
    }
    EXPECT_GT(files, 5);
}

TEST(JitDifferential, CorpusRewrittenWithRandomRuleListsIsByteIdentical) { onLargeStack(rewriteCorpus); }

// A "preserve" rule shapes each replacement after its match on both engines.
struct Shaped {
    const char* name;
    const char* pattern;
    const char* replacement;
    const char* text;
    const char* expected;
};

class PreservedCase : public testing::TestWithParam<Shaped> {};

TEST_P(PreservedCase, IsTheSameOnTheJitAndOnStdRegex) {
    ByteSetCache cache;
    Engines engines = bothEngines(GetParam().pattern, GetParam().replacement, cache, 0);
    ASSERT_TRUE(engines.jit) << GetParam().pattern;
    engines.jit->preserveCase();
    const JitMatchContext context;
    const std::string byStdRegex =
        replaceShaped(std::string(GetParam().text), engines.regex.regex, std::string(GetParam().replacement),
                      std::use_facet<std::ctype<char>>(std::locale::classic()));
    EXPECT_EQ(byStdRegex, GetParam().expected);
    EXPECT_EQ(byJit(engines, GetParam().text, context), byStdRegex);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PreservedCase,
    testing::Values(Shaped{"title_caps_lower_mixed", "\\bsenpai\\b", "senior",
                           "\xe2\x80\x9cSenpai!\xe2\x80\x9d SENPAI, senpai sEnPaI SeNpAi",
                           "\xe2\x80\x9cSenior!\xe2\x80\x9d SENIOR, senior senior senior"},
                    Shaped{"groups", "(\\w+)-san", "Mr. $1", "Aoi-san, TARO-SAN", "Mr. Aoi, MR. TARO"},
                    Shaped{"one_letter", "i", "me", "I i", "Me me"}, Shaped{"empty_matches", "x*", "-", "Xy", "--y-"},
                    Shaped{"no_letters", "\\d+", "number", "42 1", "number number"}),
    [](const testing::TestParamInfo<Shaped>& info) { return std::string(info.param.name); });

}  // namespace
