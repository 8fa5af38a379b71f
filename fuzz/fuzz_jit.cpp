// Rules on PCRE2's JIT against std::regex_replace with the same rule. The input's
// bytes choose a pattern from the lexer's grammar, a replacement and texts from a
// small alphabet (tests/cpp/rules/pattern_grammar.h); patterns that stay on
// std::regex or that it refuses are skipped. Any difference traps.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>

#include "../tests/cpp/rules/pattern_grammar.h"
#include "input_choices.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "rules/rule_regex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputChoices input(data, size);
    pattern_grammar::Generator<InputChoices&> generator(input);
    const std::string pattern = generator.pattern();
    const std::string replacement = generator.replacement();
    std::optional<RuleRegex> regex;
    try {
        regex.emplace(compileRulePattern(pattern));
    } catch (const std::regex_error&) {
        return 0;
    }
    ByteSetCache cache;
    const std::optional<JitPattern> translated = jitPatternFor(regex->spelled, cache);
    if (!translated) return 0;
    // The first two texts in PCRE2's interpreter, the others on the JIT.
    std::optional<JitRule> jit = JitRule::compile(*translated, replacement, 2);
    if (!jit) return 0;
    const JitMatchContext context;
    for (int round = 0; round < 4; ++round) {
        const std::string text = generator.text();
        const std::string expected = std::regex_replace(text, regex->regex, replacement.c_str());
        if (jit->replace(text, context).value_or(text) != expected) __builtin_trap();
    }
    return 0;
}
