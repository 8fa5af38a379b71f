#pragma once

// A rule written after another that rewrites every place it could match: with
// "(\w+)-san" -> "$1" applied first, "onii-san" finds no "onii-san" left that was in
// the text. Only what is certain is reported: the earlier rule is a set S of plain
// literals (alternatives and groups of them, such as "-(san|chan)"), alone or after
// \w+ or (\w+), then none starting with a word character; no two occurrences of S's
// members overlap, so the earlier rule rewrites each of them; the later rule's every
// match holds one of its required literals, each of which holds a member of S where
// the earlier rule matches it; and no replacement from the earlier rule's on writes
// a member of S again.

#include <cstddef>
#include <optional>
#include <vector>

#include "rules/replacement_rules.h"

// For each rule, the first earlier rule that shadows it so.
std::vector<std::optional<std::size_t>> shadowingRules(const RuleSequence& rules);
