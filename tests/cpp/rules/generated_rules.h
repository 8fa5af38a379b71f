#pragma once

// The differential loop shared by the byte-wise and character-wise checks of the JIT:
// generated rules, 20 generated texts each, every result compared with the regex's.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <regex>
#include <string>

#include "pattern_grammar.h"

namespace generated_rules {

inline int settingOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::atoi(value);
}

// A pattern and text on which the engines part ways, one row of a test's table.
struct KnownDifference {
    const char* pattern;
    const char* replacement;
    std::string text;
    bool onJit;  // false: the pattern stays on the regex
};

// The JIT's result, the text itself when nothing matched.
template <class Engines, class Context>
std::string byJit(Engines& engines, const std::string& text, const Context& context) {
    return engines.jit->replace(text, context).value_or(text);
}

// `build(pattern, replacement)` gives both engines, with `jit` empty when the pattern
// stays on the regex, and throws std::regex_error when the regex refuses it;
// `results(engines, replacement, text)` gives the JIT's result and the regex's. At least
// `leastOnJitPercent` of the valid patterns must run on the JIT, or this compares little.
template <class Build, class Results>
void compare(const pattern_grammar::Alphabet& alphabet, long wanted, long leastOnJitPercent, const char* what,
             Build build, Results results) {
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_JIT_SEED", 20261208)));
    auto choose = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    pattern_grammar::Generator generator(choose, alphabet);
    long cases = 0;
    long patterns = 0;
    long onJit = 0;
    while (cases < wanted) {
        const std::string pattern = generator.pattern();
        const std::string replacement = generator.replacement();
        std::optional<decltype(build(pattern, replacement))> engines;
        try {
            engines.emplace(build(pattern, replacement));
        } catch (const std::regex_error&) {
            continue;  // the regex refuses it; so does the rule
        }
        ++patterns;
        if (!engines->jit) continue;
        ++onJit;
        for (int i = 0; i < 20; ++i, ++cases) {
            const std::string text = generator.text();
            const auto [byJit, byRegex] = results(*engines, replacement, text);
            ASSERT_EQ(byJit, byRegex) << "pattern " << testing::PrintToString(pattern) << ", replacement "
                                      << testing::PrintToString(replacement) << ", text "
                                      << testing::PrintToString(text) << ", " << what;
        }
    }
    EXPECT_GE(onJit * 100, patterns * leastOnJitPercent) << onJit << " of " << patterns;
    std::printf("%ld cases, %ld of %ld valid patterns on the JIT, %s\n", cases, onJit, patterns, what);
}

}  // namespace generated_rules
