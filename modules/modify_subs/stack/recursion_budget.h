#pragma once

// libstdc++ compiles and runs a regex by recursion: compiling goes deeper with
// every pattern byte, matching with every text byte consumed inside a repetition.
// Before a rule touches a text, the stack it could need is estimated from the
// pattern's shape and the text's length, and compared with what the calling thread
// has left. Refusing is an exception; running out of stack would kill the process.

#include <cstddef>
#include <stdexcept>
#include <string>

#include "pattern/pattern_lexer.h"

class RecursionBudgetExceeded : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The stack that compiling a pattern and running it can use grows linearly with the
// text's length; the two terms depend on the pattern alone, so a rule works them
// out once instead of for every text.
struct StackDemand {
    double perTextByte = 0;
    double fixed = 0;

    double estimate(std::size_t textLength) const;
};

StackDemand regexStackDemand(const std::string& pattern);
StackDemand regexStackDemand(const LexedPattern& lexed, std::size_t patternSize);

// What the calling thread has left below the caller's frame.
std::size_t remainingStackBytes();

// Throws RecursionBudgetExceeded, naming the pattern, when the estimate exceeds
// what is left.
void checkRecursionBudget(const std::string& pattern, std::size_t textLength);
void checkRecursionBudget(const std::string& pattern, const StackDemand& demand, std::size_t textLength);

// The same for compiling `pattern` alone.
void checkCompileBudget(const std::string& pattern);
