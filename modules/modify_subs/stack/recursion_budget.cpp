#include "stack/recursion_budget.h"

#include <pthread.h>

#include <algorithm>
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
