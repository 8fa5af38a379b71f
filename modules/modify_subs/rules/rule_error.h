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
