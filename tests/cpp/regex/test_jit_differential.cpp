// Rules run by PCRE2's JIT against std::regex_replace with the same rule: every
// result the same, byte for byte. QUORVANT_JIT_CASES sets the number of generated
// (pattern, text) cases, QUORVANT_JIT_SEED the seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <regex>
#include <string>

#include "jit_pattern.h"
#include "jit_rule.h"
#include "pattern_grammar.h"
#include "rule_regex.h"

namespace {

struct Engines {
    RuleRegex regex;
    std::optional<JitRule> jit;
};

Engines bothEngines(const std::string& pattern, const std::string& replacement, ByteSetCache& cache) {
    Engines engines{compileRulePattern(pattern), std::nullopt};
    if (const std::optional<JitPattern> translated = jitPatternFor(engines.regex.spelled, cache)) {
        engines.jit = JitRule::compile(*translated, replacement);
    }
    return engines;
}

std::string byRegex(const Engines& engines, const std::string& replacement, const std::string& text) {
    return std::regex_replace(text, engines.regex.regex, replacement.c_str());
}

std::string byJit(const Engines& engines, const std::string& text, const JitMatchContext& context) {
    return engines.jit->replace(text, context).value_or(text);
}

struct KnownDifference {
    const char* pattern;
    const char* replacement;
    std::string text;
    bool onJit;  // false: the pattern stays on std::regex
};

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
    {"(a|)*b", "X", "aab", false},  // an empty iteration of a repeated group
    {"a(?=^b)", "X", "ab", false},  // ^ inside a lookahead
    {"(?=a)|b", "X", "ab", false},  // an empty match with a lookahead in the pattern
    {"a**", "X", "aa", false},      // a repeated repetition
    {"a{70000}", "X", "a", false},  // beyond PCRE2's counts
};

TEST(JitDifferential, KnownDifferencesGiveStdRegexResults) {
    ByteSetCache cache;
    const JitMatchContext context;
    for (const KnownDifference& row : kKnownDifferences) {
        const Engines engines = bothEngines(row.pattern, row.replacement, cache);
        EXPECT_EQ(engines.jit.has_value(), row.onJit) << row.pattern;
        if (!engines.jit) continue;
        EXPECT_EQ(byJit(engines, row.text, context), byRegex(engines, row.replacement, row.text)) << row.pattern;
    }
}

int settingOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::atoi(value);
}

TEST(JitDifferential, GeneratedPatternsAndTextsGiveStdRegexResults) {
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_JIT_SEED", 20261208)));
    auto choose = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    pattern_grammar::Generator generator(choose);
    const long wanted = settingOr("QUORVANT_JIT_CASES", 40000);
    constexpr int kTextsPerPattern = 20;
    ByteSetCache cache;
    const JitMatchContext context;
    long cases = 0;
    long patterns = 0;
    long onJit = 0;
    while (cases < wanted) {
        const std::string pattern = generator.pattern();
        const std::string replacement = generator.replacement();
        std::optional<Engines> engines;
        try {
            engines.emplace(bothEngines(pattern, replacement, cache));
        } catch (const std::regex_error&) {
            continue;  // std::regex refuses it; so does the rule
        }
        ++patterns;
        if (!engines->jit) continue;
        ++onJit;
        for (int i = 0; i < kTextsPerPattern; ++i, ++cases) {
            const std::string text = generator.text();
            ASSERT_EQ(byJit(*engines, text, context), byRegex(*engines, replacement, text))
                << "pattern " << testing::PrintToString(pattern) << ", replacement "
                << testing::PrintToString(replacement) << ", text " << testing::PrintToString(text);
        }
    }
    // The grammar must keep most patterns on the JIT, or this compares little.
    EXPECT_GT(onJit * 10, patterns * 6) << onJit << " of " << patterns;
    std::printf("%ld cases, %ld of %ld valid patterns on the JIT\n", cases, onJit, patterns);
}

}  // namespace
