#pragma once

#include <string>

#include "rules/replacement_rules.h"

// What a word list must do to a text, written as plainly as possible: every rule
// compiled afresh and run through std::regex_replace with the C-string format.
// The optimised substitution is checked against it and benchmarked against it.
std::string referenceSubstitution(const ReplacementRules& words, const std::string& text);
