// Character-wise rules on PCRE2's JIT against the wide regex they would otherwise
// run. The input's bytes choose a pattern from the lexer's grammar over characters
// users have, whose letter case and classes set the engines apart, a letter case, a
// replacement and texts (tests/cpp/rules/pattern_grammar.h); patterns that stay on
// the wide regex or that it refuses are skipped. Any difference traps.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>

#include "../tests/cpp/rules/pattern_grammar.h"
#include "input_choices.h"
#include "rules/code_point_sets.h"
#include "rules/ecmascript_space_traits.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "text/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputChoices input(data, size);
    const bool ignoreCase = input(4) != 0;
    pattern_grammar::Generator<InputChoices&> generator(input, pattern_grammar::kCharacterAlphabet);
    const std::string pattern = generator.pattern();
    const std::string replacement = generator.replacement();
    WideRegex regex;
    regex.imbue(std::locale("C.UTF-8"));
    try {
        regex.assign(*wideFromUtf8(pattern), ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                        : std::regex_constants::ECMAScript);
    } catch (const std::regex_error&) {
        return 0;
    }
    // Built per input: the sets are worked out again each time, as for a new word list.
    CodePointSets sets{std::locale("C.UTF-8")};
    const std::optional<JitPattern> translated = characterJitPatternFor(pattern, sets, ignoreCase);
    if (!translated) return 0;
    // The first two texts in PCRE2's interpreter, the others on the JIT.
    std::optional<JitRule> jit = JitRule::compile(*translated, replacement, 2);
    if (!jit) return 0;
    const JitMatchContext context;
    const std::wstring format = *wideFromUtf8(replacement);
    for (int round = 0; round < 4; ++round) {
        const std::string text = generator.text();
        const std::string expected = utf8FromWide(std::regex_replace(*wideFromUtf8(text), regex, format.c_str()));
        if (jit->replace(text, context).value_or(text) != expected) __builtin_trap();
    }
    return 0;
}
