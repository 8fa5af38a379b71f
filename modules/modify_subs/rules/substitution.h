#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"

// Rewrites texts with one word list: every rule, in the list's order (the
// module's lists in pattern order), as an ECMAScript regex, case-insensitive unless
// the rule says otherwise, whose matches are replaced by the rule's ECMAScript
// format string. A pass makes one and feeds it each of its texts.
//
// The result is always what std::regex_replace gives with the pattern compiled
// afresh for that text (each replacement shaped after its match for a "preserve"
// rule). Each pattern is compiled at its first use and kept for the later texts,
// so a bad pattern throws std::regex_error while the first text is rewritten,
// never before.
class Substitution {
public:
    explicit Substitution(const RuleSequence& rules);
    explicit Substitution(const ReplacementRules& words);
    ~Substitution();
    Substitution(Substitution&&) noexcept;
    Substitution& operator=(Substitution&&) noexcept;

    // `changedBy`, when given, gets the index of each rule (in the order they apply)
    // that changed the text at its turn.
    std::string apply(const std::string& text, std::vector<std::size_t>* changedBy = nullptr);

private:
    struct Rules;
    std::unique_ptr<Rules> _rules;
};
