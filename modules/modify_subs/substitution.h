#pragma once

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "wordlist.h"

// Rewrites texts with one word list: every rule, in pattern order, as a
// case-insensitive ECMAScript regex whose matches are replaced by the rule's
// ECMAScript format string. A pass makes one and feeds it each of its texts.
//
// Each pattern is compiled at its first use and kept for the later texts, so a bad
// pattern throws std::regex_error while the first text is rewritten, never before.
class Substitution {
public:
    explicit Substitution(const WordList& words);

    std::string apply(const std::string& text);

private:
    struct Rule {
        std::string pattern;
        std::string replacement;
        std::optional<std::regex> compiled;
    };

    std::vector<Rule> _rules;
};
