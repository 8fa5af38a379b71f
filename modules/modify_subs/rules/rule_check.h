#pragma once

#include <string>
#include <vector>

#include "rules/word_list.h"

// One rule of a word list as the passes will apply it, with the engine's verdict.
struct RuleCheck {
    std::string pattern;
    std::string replacement;
    // The regex engine's message; empty when the pattern compiles.
    std::string problem;
};

// Every rule of `words` in the order the passes apply them, each compiled by the
// passes' own substitution (the character-wise one when `unicode`), so a pattern
// passes here exactly when it passes there.
std::vector<RuleCheck> checkRules(const WordList& words, bool unicode = false);
