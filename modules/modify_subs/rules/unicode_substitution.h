#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"

// Rewrites texts with one word list as the byte-wise Substitution does, but with
// patterns that match characters: `.`, classes, \w, \b, \s and case folding work on
// code points of UTF-8 text (a wide regex under the "C.UTF-8" locale, with \s as
// ECMAScript has it: ecmascript_space_traits.h). A text that
// is not valid UTF-8 has no characters to speak of and is rewritten byte-wise.
//
// Every rule is compiled when the list is built, before any text is touched: a
// pattern the wide regex refuses throws std::regex_error, a pattern or replacement
// that is not UTF-8 std::runtime_error naming the pattern, and a pattern too long to
// compile on this thread RecursionBudgetExceeded.
class UnicodeSubstitution {
public:
    // A rule runs on the wide regex for its first `wideTextsFirst` texts that are not
    // ASCII, before its character-wise JIT is built.
    static constexpr int kWideTextsFirst = 16;
    explicit UnicodeSubstitution(const RuleSequence& rules, int wideTextsFirst = kWideTextsFirst);
    explicit UnicodeSubstitution(const ReplacementRules& words, int wideTextsFirst = kWideTextsFirst);
    ~UnicodeSubstitution();
    UnicodeSubstitution(UnicodeSubstitution&&) noexcept;
    UnicodeSubstitution& operator=(UnicodeSubstitution&&) noexcept;

    // As Substitution::apply.
    std::string apply(const std::string& text, std::vector<std::size_t>* changedBy = nullptr);

private:
    struct Rules;
    std::unique_ptr<Rules> _rules;
};
