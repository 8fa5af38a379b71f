#pragma once

#include <regex>
#include <string>

#include "stack/recursion_budget.h"

// A rule's pattern as the engine runs it, and the stack that running it needs.
struct RuleRegex {
    std::regex regex;
    StackDemand stackDemand;
    std::string spelled;  // the pattern as std::regex was given it
};

// The one way a rule's pattern becomes a regex: ECMAScript, case-insensitive unless
// `ignoreCase` is false, after
// the checks of pattern_guard.h and with wide escapes spelled out (wide_escapes.h).
// Throws std::regex_error for an invalid pattern.
RuleRegex compileRulePattern(const std::string& pattern, bool ignoreCase = true);
