#include "text/byte_alignment.h"

#include <algorithm>
#include <cstdlib>

namespace {

using Index = long;

// The furthest x reached on each diagonal k (x - y) of the edit graph, for k from
// -d to d; `at(k)` reads it.
struct Frontier {
    Index d = 0;
    std::vector<Index> x;
    Index at(Index k) const { return x[static_cast<std::size_t>(k + d)]; }
};

}  // namespace

std::optional<std::vector<std::size_t>> keptBytes(std::string_view before, std::string_view after,
                                                  std::size_t maxEdits) {
    std::vector<std::size_t> kept(after.size(), std::string_view::npos);
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = 0;
    while (head < shorter && before[head] == after[head]) kept[head] = head, ++head;
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
        kept[after.size() - 1 - tail] = before.size() - 1 - tail;
        ++tail;
    }
    const std::string_view a = before.substr(head, before.size() - head - tail);
    const std::string_view b = after.substr(head, after.size() - head - tail);
    const auto n = static_cast<Index>(a.size());
    const auto m = static_cast<Index>(b.size());
    const Index limit = std::min<Index>(n + m, static_cast<Index>(maxEdits));
    if (std::abs(n - m) > limit) return std::nullopt;

    // Frontier d is kept for the walk back: d^2 cells in all.
    std::vector<Frontier> trace;
    Frontier previous{0, {0}};
    for (Index d = 0; d <= limit; ++d) {
        Frontier current{d, std::vector<Index>(static_cast<std::size_t>(2 * d + 1))};
        for (Index k = -d; k <= d; k += 2) {
            Index x = 0;
            if (d == 0) {
                x = 0;
            } else if (k == -d || (k != d && previous.at(k - 1) < previous.at(k + 1))) {
                x = previous.at(k + 1);  // down: a byte of `after` inserted
            } else {
                x = previous.at(k - 1) + 1;  // right: a byte of `before` deleted
            }
            Index y = x - k;
            while (x < n && y < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(y)]) ++x, ++y;
            current.x[static_cast<std::size_t>(k + d)] = x;
            if (x < n || y < m) continue;
            trace.push_back(std::move(current));
            // Walk back from the end, taking each diagonal's matches.
            for (Index step = d; step >= 0; --step) {
                const Index kk = x - y;
                Index startX = 0;
                Index startY = 0;
                if (step > 0) {
                    const Frontier& earlier = trace[static_cast<std::size_t>(step - 1)];
                    const bool down = kk == -step || (kk != step && earlier.at(kk - 1) < earlier.at(kk + 1));
                    const Index previousK = down ? kk + 1 : kk - 1;
                    startX = earlier.at(previousK);
                    startY = startX - previousK;
                    // The move itself, then the diagonal after it.
                    const Index diagonalX = down ? startX : startX + 1;
                    const Index diagonalY = down ? startY + 1 : startY;
                    while (x > diagonalX && y > diagonalY) {
                        --x, --y;
                        kept[head + static_cast<std::size_t>(y)] = head + static_cast<std::size_t>(x);
                    }
                    x = startX;
                    y = startY;
                } else {
                    while (x > 0 && y > 0) {
                        --x, --y;
                        kept[head + static_cast<std::size_t>(y)] = head + static_cast<std::size_t>(x);
                    }
                }
            }
            return kept;
        }
        trace.push_back(current);
        previous = std::move(current);
    }
    return std::nullopt;
}
