#pragma once

#include <stdexcept>
#include <string>

// A rule whose pattern the regex engine refuses in the mode asked for.
class RuleError : public std::runtime_error {
public:
    RuleError(const std::string& pattern, const std::string& problem)
        : std::runtime_error("Invalid pattern " + pattern + ": " + problem), _pattern(pattern) {}

    const std::string& pattern() const { return _pattern; }

private:
    std::string _pattern;
};

// A rule that no engine carries whole: a NUL in its pattern or replacement, which
// the module's JSON reading and the C-string replacement format would end there.
class UnusableRule : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline void requireNoNul(const std::string& pattern, const std::string& replacement) {
    const bool inPattern = pattern.find('\0') != std::string::npos;
    if (!inPattern && replacement.find('\0') == std::string::npos) return;
    // The message names the pattern with its NUL spelled out: a C string would end there.
    std::string named;
    for (const char c : pattern) named += c == '\0' ? std::string("\\u0000") : std::string(1, c);
    throw UnusableRule(std::string("The ") + (inPattern ? "pattern" : "replacement") + " of the rule " + named +
                       " holds U+0000 (NUL), which a rule can't carry");
}
