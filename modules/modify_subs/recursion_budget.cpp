#include "recursion_budget.h"

#include <pthread.h>

#include <cstdint>
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

// Reads the count of "{n}", "{n,}" or "{n,m}" at `pos` (just past '{'); false when
// the brace is not a quantifier.
bool readBraces(const std::string& pattern, std::size_t& pos, double& least, double& most, bool& unbounded) {
    auto number = [&](double& value) {
        const std::size_t start = pos;
        value = 0;
        while (pos < pattern.size() && pattern[pos] >= '0' && pattern[pos] <= '9') {
            value = value * 10 + (pattern[pos] - '0');
            ++pos;
        }
        return pos > start;
    };
    const std::size_t start = pos;
    if (!number(least)) return (pos = start, false);
    most = least;
    unbounded = false;
    if (pos < pattern.size() && pattern[pos] == ',') {
        ++pos;
        unbounded = !number(most);
    }
    if (pos >= pattern.size() || pattern[pos] != '}') return (pos = start, false);
    ++pos;
    return true;
}

// libstdc++ builds "x+" as "xx*", "x{n,}" as n copies and "x*", "x{n,m}" as m
// copies: the copies count in full, but only one copy of a body repeats.
Weight quantified(const Weight& body, char quantifier, double least, double most, bool unbounded) {
    switch (quantifier) {
        case '*': return {body.states + 2, body.states + 2};
        case '+': return {2 * body.states + 2, body.states + 2};
        case '?': return {body.states + 2, body.repeated};
        default:
            if (unbounded) return {(least + 1) * body.states + 2, body.states + 2};
            return {most * body.states + 2 * (most - least), body.repeated};
    }
}

Weight patternWeight(const std::string& pattern) {
    std::vector<Group> groups(1);
    auto endAtom = [&] {
        Group& group = groups.back();
        group.branch += group.atom;
        group.atom = {};
    };
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos++];
        Group& group = groups.back();
        if (c == '*' || c == '+' || c == '?' || c == '{') {
            double least = 0, most = 0;
            bool unbounded = false;
            if (c != '{' || readBraces(pattern, pos, least, most, unbounded)) {
                group.atom = quantified(group.atom, c, least, most, unbounded);
                if (pos < pattern.size() && pattern[pos] == '?') ++pos;
                continue;
            }
        }
        endAtom();
        if (c == '(') {
            if (pos + 1 < pattern.size() && pattern[pos] == '?') pos += 2;
            groups.emplace_back();
        } else if (c == ')' && groups.size() > 1) {
            Weight inner = groups.back().alternatives;
            inner += groups.back().branch;
            groups.pop_back();
            groups.back().atom = {inner.states + 2, inner.repeated};
        } else if (c == '|') {
            group.alternatives += group.branch;
            group.alternatives.states += 2;
            group.branch = {};
        } else {
            if (c == '\\') {
                ++pos;
            } else if (c == '[') {
                // A class is one state however long it is.
                while (pos < pattern.size() && pattern[pos] != ']') pos += pattern[pos] == '\\' ? 2 : 1;
                ++pos;
            }
            group.atom = {1, 0};
        }
    }
    // Groups left open count as if closed at the end.
    Weight total;
    while (!groups.empty()) {
        endAtom();
        total = groups.back().alternatives;
        total += groups.back().branch;
        groups.pop_back();
        if (!groups.empty()) groups.back().atom = {total.states + 2, total.repeated};
    }
    return total;
}

std::uintptr_t stackLowEnd() {
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
    const Weight weight = patternWeight(pattern);
    // Empty iterations may pass a repetition twice at one position, hence the 2s.
    const double perTextByte = kBytesPerState * 2 * weight.repeated;
    return {perTextByte, perTextByte + kBytesPerState * 2 * weight.states +
                             kBytesPerPatternByte * static_cast<double>(pattern.size()) + kSlackBytes};
}

double StackDemand::estimate(std::size_t textLength) const {
    return perTextByte * static_cast<double>(textLength) + fixed;
}

double regexStackEstimate(const std::string& pattern, std::size_t textLength) {
    return regexStackDemand(pattern).estimate(textLength);
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
    throw RecursionBudgetExceeded("The pattern \"" + pattern + "\" cannot be applied to a text of " +
                                  std::to_string(textLength) +
                                  " bytes: matching it could need more stack than this thread has (" +
                                  std::to_string(available >> 20) + " MiB)");
}

void checkCompileBudget(const std::string& pattern) {
    const double needed = kBytesPerPatternByte * static_cast<double>(pattern.size()) + kSlackBytes;
    const std::size_t available = remainingStackBytes();
    if (needed <= static_cast<double>(available)) return;
    throw RecursionBudgetExceeded("The pattern \"" + pattern +
                                  "\" is too long to compile with the stack this thread has (" +
                                  std::to_string(available >> 20) + " MiB)");
}
