#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core_helpers.h"
#include "rules/substitution.h"
#include "stack/large_stack.h"
#include "stack/recursion_budget.h"

namespace {

struct Family {
    const char* pattern;
    std::string text;
};

void PrintTo(const Family& family, std::ostream* os) { *os << family.pattern; }

// Doubling keeps registration quick: every test process builds these texts.
std::string repeated(const std::string& piece, std::size_t bytes) {
    std::string text = piece;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes) text.append(text, 0, std::min(text.size(), bytes - text.size()));
    text.resize(bytes);
    return text;
}

// The families that recurse per byte, each with a text that keeps it matching.
std::vector<Family> families(std::size_t bytes) {
    return {{".*", repeated("x", bytes)},
            {"a.+?b", "a" + repeated("x", bytes) + "b"},
            {"(a|b)*", repeated("ab", bytes)},
            {"(a| )*", repeated("a ", bytes)},
            {"[^}]*", repeated("m 0 0 l 10 ", bytes)},
            {"(\\w+ )*", repeated("word ", bytes)},
            {"\\{.*?\\}", "{" + repeated("\\p1 m 0 0 ", bytes) + "}"}};
}

// Nested groups and alternatives: every level adds to each byte's recursion.
std::vector<Family> nestedFamilies(std::size_t bytes) {
    return {{"((a|b)|(c|d))*", repeated("abcd", bytes)},
            {"(a?b?)*", repeated("b", bytes)},
            {"(x(y(z)?)?)*", repeated("xyz", bytes)},
            {"((((((((((a))))))))))*", repeated("a", bytes)},
            {"(?=a)(a{1,2}|b)*", repeated("aab", bytes)}};
}

std::string replaceAll(const Family& family) {
    checkRecursionBudget(family.pattern, family.text.size());
    return std::regex_replace(family.text, std::regex(family.pattern, std::regex_constants::icase), "<$&>");
}

class LongTexts : public testing::TestWithParam<Family> {};

// A mebibyte of text would overflow any default stack several times over.
TEST_P(LongTexts, ReplaceOnTheLargeStack) {
    const std::string result = onLargeStack([&] { return replaceAll(GetParam()); });
    EXPECT_EQ(result.substr(0, 1), "<");
    EXPECT_GT(result.size(), GetParam().text.size());
}

INSTANTIATE_TEST_SUITE_P(Families, LongTexts, testing::ValuesIn(families(std::size_t{1} << 20)));

// Runs `family` on a stack of our own and returns how much of it was touched.
std::size_t measuredStackBytes(const Family& family) {
    const std::size_t bytes = std::size_t{4} << 30;
    void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    EXPECT_NE(base, MAP_FAILED);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, base, bytes);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        const Family& family = *static_cast<const Family*>(argument);
        std::regex_replace(family.text, std::regex(family.pattern, std::regex_constants::icase), "<$&>");
        return nullptr;
    };
    pthread_create(&thread, &attributes, run, const_cast<Family*>(&family));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident(bytes / page);
    mincore(base, bytes, resident.data());
    std::size_t lowest = 0;
    while (lowest < resident.size() && !(resident[lowest] & 1)) ++lowest;
    munmap(base, bytes);
    return bytes - lowest * page;
}

class StackEstimate : public testing::TestWithParam<Family> {};

// The estimate is only as good as the frame sizes it assumes: a compiler that
// makes the matcher's frames larger must show up here, not as a crash.
TEST_P(StackEstimate, CoversWhatTheMatcherUses) {
    const std::size_t used = measuredStackBytes(GetParam());
    EXPECT_GE(core_helpers::regexStackEstimate(GetParam().pattern, GetParam().text.size()), static_cast<double>(used));
}

INSTANTIATE_TEST_SUITE_P(Families, StackEstimate, testing::ValuesIn(families(20000)));
INSTANTIATE_TEST_SUITE_P(Nested, StackEstimate, testing::ValuesIn(nestedFamilies(20000)));

TEST(RecursionBudget, RefusesWhatTheThreadCannotHoldNamingThePattern) {
    // The test runner's main thread has the usual few MiB.
    const std::string pattern = "\\{.*?\\}";
    try {
        checkRecursionBudget(pattern, std::size_t{1} << 20);
        FAIL() << "no exception";
    } catch (const RecursionBudgetExceeded& error) {
        EXPECT_NE(std::string(error.what()).find("\"" + pattern + "\""), std::string::npos) << error.what();
    }
    EXPECT_NO_THROW(checkRecursionBudget(pattern, 1000));
}

// What a pass does with an event that holds a long vector drawing.
// Rules on the JIT keep their backtracking on the heap; one that stays on std::regex
// (an empty iteration of a repeated group) still needs the large stack.
TEST(RecursionBudget, SubstitutionRunsLongTextsOnTheLargeStackAndRefusesThemElsewhere) {
    const std::string drawing = repeated("m 0 0 l 100 0 ", std::size_t{1} << 20);
    const std::string text = "{\\p1}" + drawing + "{\\p0}Aoi-san";
    Substitution onJit(ReplacementRules{{"\\{.*?\\}", ""}, {"^[^}]*san", "<$&>"}});
    // Compared as a whole, without printing a mebibyte on failure.
    EXPECT_TRUE(onJit.apply(text) == "<" + drawing + "Aoi-san>");
    Substitution onRegex(ReplacementRules{{"\\{(.|)*?\\}", ""}, {"^[^}]*san", "<$&>"}});
    EXPECT_THROW(onRegex.apply(text), RecursionBudgetExceeded);
    const std::string rewritten = onLargeStack([&] { return onRegex.apply(text); });
    EXPECT_TRUE(rewritten == "<" + drawing + "Aoi-san>") << rewritten.substr(0, 40);
}

TEST(RecursionBudget, RefusalIsARuntimeErrorOnTheCallersThread) {
    EXPECT_THROW(onLargeStack([] { checkRecursionBudget(".*", std::size_t{1} << 40); }), std::runtime_error);
}

TEST(RecursionBudget, LiteralPatternsDoNotGrowWithTheText) {
    EXPECT_EQ(core_helpers::regexStackEstimate("honorific-san", 10),
              core_helpers::regexStackEstimate("honorific-san", 10'000'000));
    EXPECT_LT(core_helpers::regexStackEstimate(".*", 10), core_helpers::regexStackEstimate(".*", 10'000));
}

TEST(RecursionBudget, PatternsOfOneShapeHaveOneEstimate) {
    // The engine reads "\c(" as one byte, and "[\c]]" as a class holding ']'.
    const std::vector<std::pair<std::string, std::string>> sameShape = {{"\\c(a*", "\\c)a*"}, {"[\\c]]+", "[\\c[]+"}};
    for (const auto& [pattern, other] : sameShape) {
        EXPECT_EQ(core_helpers::regexStackEstimate(pattern, 100), core_helpers::regexStackEstimate(other, 100))
            << pattern;
    }
}

TEST(LargeStack, PassesResultsAndExceptionsThrough) {
    EXPECT_EQ(onLargeStack([] { return std::string("done"); }), "done");
    EXPECT_THROW(onLargeStack([]() -> int { throw std::regex_error(std::regex_constants::error_paren); }),
                 std::regex_error);
    int calls = 0;
    onLargeStack([&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

// Work that fits runs on the caller's thread; refused there, it runs once more on the
// large stack; not expected to fit, it goes there directly.
struct CallerOrLarge {
    bool fitsHere;
    bool refusedOnCaller;
    int calls;
    bool endsOnCaller;
};

class CallerOrLargeStack : public testing::TestWithParam<CallerOrLarge> {};

TEST_P(CallerOrLargeStack, RunsWhereTheWorkFits) {
    const CallerOrLarge& c = GetParam();
    const std::thread::id caller = std::this_thread::get_id();
    int calls = 0;
    const std::thread::id ran = onCallerOrLargeStack(c.fitsHere, [&] {
        ++calls;
        if (c.refusedOnCaller && std::this_thread::get_id() == caller) throw RecursionBudgetExceeded("refused");
        return std::this_thread::get_id();
    });
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(ran == caller, c.endsOnCaller);
}

INSTANTIATE_TEST_SUITE_P(Cases, CallerOrLargeStack,
                         testing::Values(CallerOrLarge{true, false, 1, true}, CallerOrLarge{true, true, 2, false},
                                         CallerOrLarge{false, false, 1, false}, CallerOrLarge{false, true, 1, false}));

TEST(CallerOrLargeStack, AThreadShortOfStackKeepsItForItself) {
    struct Probe {
        std::thread::id caller;
        std::thread::id ran;
    } probe;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 128 << 10);
    pthread_t thread;
    const auto body = [](void* argument) -> void* {
        auto& probe = *static_cast<Probe*>(argument);
        probe.caller = std::this_thread::get_id();
        probe.ran = onCallerOrLargeStack(true, [] { return std::this_thread::get_id(); });
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, body, &probe), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_NE(probe.ran, probe.caller);
}

// The main thread's stack is read without pthread_getattr_np, which costs a tenth of a
// millisecond there: never more than glibc would say, at most a page less.
TEST(RecursionBudget, TheMainThreadHasTheStackGlibcSaysOrAPageLess) {
    ASSERT_EQ(getpid(), gettid());
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_getattr_np(pthread_self(), &attributes), 0);
    void* base = nullptr;
    std::size_t size = 0;
    std::size_t guard = 0;
    pthread_attr_getstack(&attributes, &base, &size);
    pthread_attr_getguardsize(&attributes, &guard);
    pthread_attr_destroy(&attributes);
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::size_t glibc = here - (reinterpret_cast<std::uintptr_t>(base) + guard);
    const std::size_t ours = remainingStackBytes();
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    EXPECT_LE(ours, glibc);
    EXPECT_GE(ours + page + 4096, glibc);
}

}  // namespace
