#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"

// What a word list must do to a text, written as plainly as possible: every rule
// compiled afresh and run through std::regex_replace with the C-string format.
// The optimised substitution is checked against it and benchmarked against it;
// `changedBy`, when given, gets the index of each rule that changed the text.
std::string referenceSubstitution(const ReplacementRules& words, const std::string& text,
                                  std::vector<std::size_t>* changedBy = nullptr);
