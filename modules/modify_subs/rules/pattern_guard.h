#pragma once

// Checks a pattern must pass before libstdc++ compiles it.
//
// The compiler reads the number of a back-reference or of a {n,m} count into a
// long with no overflow test (undefined behaviour past its range) and then cuts it
// to int, so "\4294967297" would silently mean "\1". No such number can name an
// existing group or fit the automaton's state limit, so it is refused as invalid.
// Compiling also recurses once per pattern element; see stack/recursion_budget.h.

#include <string>

#include "pattern/pattern_lexer.h"

// Throws std::regex_error for a back-reference or count beyond int.
void checkNumbers(const LexedPattern& lexed);

// The same, and RecursionBudgetExceeded for a pattern too long to compile on this
// thread.
void checkBeforeCompiling(const std::string& pattern);
