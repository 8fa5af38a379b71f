// One rule against one text, compared with the reference substitution: the
// substitution's shortcuts must not change a single byte.
//
// Input: pattern '\n' replacement '\n' text. The pattern is cut to 64 bytes and the
// text to 1024, and the recursion budget refuses what would not fit in the
// fuzzer's 8 MiB main stack, so an overflow here means the budget is wrong.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>

#include "rules/reference_substitution.h"
#include "rules/rule_error.h"
#include "rules/substitution.h"
#include "stack/recursion_budget.h"

namespace {

std::string_view takeLine(std::string_view& input) {
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string pattern(takeLine(input).substr(0, 64));
    const std::string replacement(takeLine(input));
    const std::string text(input.substr(0, 1024));

    std::string expected;
    try {
        expected = referenceSubstitution({{pattern, replacement}}, text);
    } catch (const std::regex_error&) {
        return 0;
    } catch (const RecursionBudgetExceeded&) {
        return 0;
    } catch (const UnusableRule&) {
        return 0;  // a NUL in the pattern or replacement: refused by every face
    }
    Substitution substitution(ReplacementRules{{pattern, replacement}});
    // Twice: the second text runs on the rule as the first one left it.
    for (int round = 0; round < 2; ++round) {
        try {
            if (substitution.apply(text) != expected) __builtin_trap();
        } catch (const RecursionBudgetExceeded&) {
        }
    }
    return 0;
}
