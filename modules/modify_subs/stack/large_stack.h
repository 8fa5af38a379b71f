#pragma once

// libstdc++'s regex matcher recurses once or more per text byte, so a long text
// overflows an ordinary thread stack and kills the whole process. Work that runs
// regexes goes through onLargeStack: a worker thread with a large reserved stack,
// joined before the call returns. Only the touched pages cost memory.

#include <cstddef>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// The reservation first asked for; it is halved down to kSmallestLargeStackBytes
// while the system refuses it (strict overcommit, an address-space limit).
inline constexpr std::size_t kLargeStackBytes = std::size_t{16} << 30;
inline constexpr std::size_t kSmallestLargeStackBytes = std::size_t{64} << 20;

// Runs `work` on the worker and rethrows whatever it threw. Without any stack to
// be had it runs `work` on the calling thread, where the recursion budget of
// recursion_budget.h still refuses what would not fit.
void runOnLargeStack(const std::function<void()>& work);

template <class Work>
std::invoke_result_t<Work&> onLargeStack(Work&& work) {
    using Result = std::invoke_result_t<Work&>;
    if constexpr (std::is_void_v<Result>) {
        runOnLargeStack(work);
    } else {
        std::optional<Result> result;
        runOnLargeStack([&] { result.emplace(work()); });
        return std::move(*result);
    }
}
