#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "rules/case_fold.h"
#include "rules/replacement_format.h"

// A rule whose pattern is a plain literal, applied without a regex: every
// non-overlapping occurrence, from left to right, compared under the case fold.
class LiteralReplace {
public:
    // With `preserveCase` each replacement takes its match's letter case (case_shape.h).
    LiteralReplace(const std::string& pattern, const std::string& replacement, bool preserveCase = false);

    // The rewritten text, or nothing when the literal does not occur.
    std::optional<std::string> apply(const std::string& text, const CaseFold& fold) const;

private:
    std::size_t find(std::string_view text, std::size_t from, const CaseFold& fold) const;

    std::string _pattern;
    ReplacementFormat _format;
    bool _preserveCase;
};
