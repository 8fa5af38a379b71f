#pragma once

// Which bytes of a text survive a rewrite, for what a rewriter can't say itself:
// the rules report the text they made, not where they matched.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// For each byte of `after`, the byte of `before` it is kept from in a shortest
// edit script (Myers), or npos for an inserted one. Nullopt when more than
// `maxEdits` insertions and deletions separate the two, past their common start
// and end: the search's memory grows with the square of that count.
std::optional<std::vector<std::size_t>> keptBytes(std::string_view before, std::string_view after,
                                                  std::size_t maxEdits);
