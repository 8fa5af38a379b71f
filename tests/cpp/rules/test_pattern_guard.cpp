#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "rules/pattern_guard.h"
#include "rules/substitution.h"
#include "stack/recursion_budget.h"

namespace {

class PatternNumbers : public testing::TestWithParam<std::pair<const char*, bool>> {};

// Past int, libstdc++ overflows or cuts the number instead of refusing the pattern.
TEST_P(PatternNumbers, BeyondIntAreRefusedBeforeCompiling) {
    const auto& [pattern, refused] = GetParam();
    if (refused) {
        EXPECT_THROW(checkBeforeCompiling(pattern), std::regex_error) << pattern;
    } else {
        EXPECT_NO_THROW(checkBeforeCompiling(pattern)) << pattern;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, PatternNumbers,
                         testing::Values(std::pair{"\\30000000000000000000003", true},
                                         std::pair{"(a)\\4294967297", true}, std::pair{"(a)\\2147483648", true},
                                         std::pair{"a{4294967297}", true}, std::pair{"a{1,99999999999}", true},
                                         std::pair{"(a)\\1", false}, std::pair{"a{2,3}", false},
                                         std::pair{"a{000000000000000000002}", false},
                                         std::pair{"\\{99999999999\\}", false}, std::pair{"1,99999999999", false},
                                         std::pair{"(a)\\2147483647", false},
                                         // Inside a class and after \c a brace is a plain byte.
                                         std::pair{"[{99999999999]", false}, std::pair{"a\\c{99999999999}", false},
                                         // The engine converts the count before it sees that the brace is cut short.
                                         std::pair{"a{99999999999999999999999,", true}));

TEST(PatternGuard, SubstitutionRefusesAWrappedBackReference) {
    // Cut to int, this back-reference would quietly be \1 and match "aa".
    Substitution substitution(ReplacementRules{{"(a)\\4294967297", "x"}});
    EXPECT_THROW(substitution.apply("aa"), std::regex_error);
}

TEST(PatternGuard, RefusesAPatternTooLongToCompileOnThisStack) {
    EXPECT_THROW(checkBeforeCompiling(std::string(std::size_t{1} << 20, 'a') + "."), RecursionBudgetExceeded);
}

}  // namespace
