#pragma once

// A rule written after another that rewrites every place it could match: with
// "(\w+)-san" -> "$1" applied first, "onii-san" finds no "onii-san" left that was in
// the text. Only what is certain is reported: the earlier rule is a plain literal
// S, or \w+ or (\w+) followed by a plain literal S that starts with no word
// character; S cannot overlap itself, so the earlier rule rewrites each of its
// occurrences; the later rule's every match holds one of its required literals,
// each of which holds S where the earlier rule matches it; and no replacement from
// the earlier rule's on writes S again.

#include <cstddef>
#include <optional>
#include <vector>

#include "rules/replacement_rules.h"

// For each rule, the first earlier rule that shadows it so.
std::vector<std::optional<std::size_t>> shadowingRules(const RuleSequence& rules);
