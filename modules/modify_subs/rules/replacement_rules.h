#pragma once

#include <map>
#include <string>
#include <vector>

// The module's word list: pattern -> replacement. std::map keeps the byte-wise
// pattern order in which the rules are applied, so that order is part of its meaning.
using ReplacementRules = std::map<std::string, std::string>;

enum class LetterCase {
    Insensitive,  // ASCII letters fold, as every rule of the module's list
    Sensitive,
    Preserve,  // matched insensitively; the replacement takes the match's case shape
};

// One rule as a list of the API or the command line may write it.
struct ReplacementRule {
    std::string pattern;  // as written: what messages name
    std::string replacement;
    LetterCase letterCase = LetterCase::Insensitive;
    bool word = false;     // only where no word character touches the match on either side
    bool literal = false;  // every byte of the pattern stands for itself

    // The ECMAScript pattern the engines compile for it.
    std::string compiledPattern() const;
};

// Rules in the order they are applied.
using RuleSequence = std::vector<ReplacementRule>;

RuleSequence inPatternOrder(const ReplacementRules& words);
