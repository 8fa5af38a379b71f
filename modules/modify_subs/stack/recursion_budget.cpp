#include "stack/recursion_budget.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Stack bytes per automaton state on the matcher's recursion path, and per pattern
// byte while compiling. Measured with GCC 12 and Clang 14 on x86-64: at most 160 and
// 420 without sanitizers, 280 and 1150 with AddressSanitizer. Rounded up.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANT_SANITIZED_STACK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANT_SANITIZED_STACK 1
#endif
#endif
#ifdef QUORVANT_SANITIZED_STACK
constexpr double kBytesPerState = 384;
constexpr double kBytesPerPatternByte = 1536;
#else
constexpr double kBytesPerState = 256;
constexpr double kBytesPerPatternByte = 640;
#endif
// For the frames around the regex calls and whatever the caller still needs.
constexpr double kSlackBytes = 256 * 1024;

// Automaton states of a piece of pattern: all of them, and those inside a
// repetition, through which the matcher passes again for every byte it consumes.
struct Weight {
    double states = 0;
    double repeated = 0;

    Weight& operator+=(const Weight& other) {
        states += other.states;
        repeated += other.repeated;
        return *this;
    }
};

// One open group while the pattern is scanned.
struct Group {
    Weight alternatives;
    Weight branch;
    Weight atom;
};

// libstdc++ builds "x+" as "xx*", "x{n,}" as n copies and "x*", "x{n,m}" as m
// copies: the copies count in full, but only one copy of a body repeats.
Weight quantified(const Weight& body, const PatternToken& quantifier) {
    const auto least = static_cast<double>(quantifier.least);
    const auto most = static_cast<double>(quantifier.most);
    switch (quantifier.symbol) {
        case '*':
            return {body.states + 2, body.states + 2};
        case '+':
            return {2 * body.states + 2, body.states + 2};
        case '?':
            return {body.states + 2, body.repeated};
        default:
            if (quantifier.most < 0) return {(least + 1) * body.states + 2, body.states + 2};
            return {most * body.states + 2 * (most - least), body.repeated};
    }
}

// Groups left open by an invalid pattern count as if closed at the end.
Weight patternWeight(const LexedPattern& lexed) {
    std::vector<Group> groups(1);
    auto endAtom = [&] {
        Group& group = groups.back();
        group.branch += group.atom;
        group.atom = {};
    };
    auto closeGroup = [&] {
        endAtom();
        Weight inner = groups.back().alternatives;
        inner += groups.back().branch;
        groups.pop_back();
        if (!groups.empty()) groups.back().atom = {inner.states + 2, inner.repeated};
        return inner;
    };
    const std::vector<PatternToken>& tokens = lexed.tokens;
    for (std::size_t index = 0; index < tokens.size(); ++index) {
        const PatternToken& token = tokens[index];
        if (token.kind == TokenKind::Quantifier) {
            groups.back().atom = quantified(groups.back().atom, token);
            continue;
        }
        endAtom();
        if (token.kind == TokenKind::GroupOpen) {
            groups.emplace_back();
        } else if (token.kind == TokenKind::GroupClose) {
            closeGroup();
        } else if (token.kind == TokenKind::Alternation) {
            Group& group = groups.back();
            group.alternatives += group.branch;
            group.alternatives.states += 2;
            group.branch = {};
        } else {
            // A class is one state however long it is.
            if (token.kind == TokenKind::ClassOpen) index = std::max(index, token.partner);
            groups.back().atom = {1, 0};
        }
    }
    Weight total;
    while (!groups.empty()) total = closeGroup();
    return total;
}

std::optional<std::uintptr_t> hexNumber(std::string_view& text) {
    std::uintptr_t number = 0;
    std::size_t digits = 0;
    for (; digits < text.size(); ++digits) {
        const char c = text[digits];
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (value < 0) break;
        number = number * 16 + static_cast<std::uintptr_t>(value);
    }
    if (digits == 0 || digits > 2 * sizeof number) return std::nullopt;
    text.remove_prefix(digits);
    return number;
}

// The main thread's stack as pthread_getattr_np works it out, without its cost:
// glibc reads /proc/self/maps through sscanf, a tenth of a millisecond or more in a
// Python process. The same file parsed by hand: the mapping that holds this frame,
// RLIMIT_STACK below its end, never below the end of the mapping under it. A page
// higher than glibc's low end, so never more stack than it would say.
std::optional<std::uintptr_t> mainStackLowEnd() {
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0) return std::nullopt;
    const int file = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (file < 0) return std::nullopt;
    std::string maps;
    char buffer[16384];
    for (ssize_t got; (got = read(file, buffer, sizeof buffer)) > 0;)
        maps.append(buffer, static_cast<std::size_t>(got));
    close(file);
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    std::uintptr_t previousEnd = 0;
    for (std::string_view rest = maps; !rest.empty();) {
        const std::size_t lineEnd = rest.find('\n');
        std::string_view line = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1);
        const std::optional<std::uintptr_t> from = hexNumber(line);
        if (!from || !line.starts_with('-')) return std::nullopt;
        line.remove_prefix(1);
        const std::optional<std::uintptr_t> to = hexNumber(line);
        if (!to) return std::nullopt;
        if (*from <= here && here < *to) {
            const std::uintptr_t byLimit = limit.rlim_cur >= *to ? 0 : *to - limit.rlim_cur + page;
            return std::max(byLimit, previousEnd);
        }
        previousEnd = *to;
    }
    return std::nullopt;
}

std::uintptr_t stackLowEnd() {
    if (getpid() == gettid()) {
        if (const std::optional<std::uintptr_t> lowEnd = mainStackLowEnd()) return *lowEnd;
    }
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    void* base = nullptr;
    std::size_t size = 0;
    std::size_t guard = 0;
    pthread_attr_getstack(&attributes, &base, &size);
    pthread_attr_getguardsize(&attributes, &guard);
    pthread_attr_destroy(&attributes);
    return reinterpret_cast<std::uintptr_t>(base) + guard;
}

}  // namespace

StackDemand regexStackDemand(const std::string& pattern) {
    return regexStackDemand(lexPattern(pattern), pattern.size());
}

StackDemand regexStackDemand(const LexedPattern& lexed, std::size_t patternSize) {
    const Weight weight = patternWeight(lexed);
    // Empty iterations may pass a repetition twice at one position, hence the 2s.
    const double perTextByte = kBytesPerState * 2 * weight.repeated;
    return {perTextByte, perTextByte + kBytesPerState * 2 * weight.states +
                             kBytesPerPatternByte * static_cast<double>(patternSize) + kSlackBytes};
}

double StackDemand::estimate(std::size_t textLength) const {
    return perTextByte * static_cast<double>(textLength) + fixed;
}

std::size_t remainingStackBytes() {
    // A thread's stack never moves, so it is looked up once per thread.
    thread_local const std::uintptr_t lowEnd = stackLowEnd();
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    return here > lowEnd ? here - lowEnd : 0;
}

void checkRecursionBudget(const std::string& pattern, std::size_t textLength) {
    checkRecursionBudget(pattern, regexStackDemand(pattern), textLength);
}

void checkRecursionBudget(const std::string& pattern, const StackDemand& demand, std::size_t textLength) {
    const double needed = demand.estimate(textLength);
    const std::size_t available = remainingStackBytes();
    if (needed <= static_cast<double>(available)) return;
    throw RecursionBudgetExceeded(
        "The pattern \"" + pattern + "\" cannot be applied to a text of " + std::to_string(textLength) +
        " bytes: matching it could need more stack than this thread has (" + std::to_string(available >> 20) + " MiB)");
}

void checkCompileBudget(const std::string& pattern) {
    const double needed = kBytesPerPatternByte * static_cast<double>(pattern.size()) + kSlackBytes;
    const std::size_t available = remainingStackBytes();
    if (needed <= static_cast<double>(available)) return;
    throw RecursionBudgetExceeded("The pattern \"" + pattern +
                                  "\" is too long to compile with the stack this thread has (" +
                                  std::to_string(available >> 20) + " MiB)");
}
