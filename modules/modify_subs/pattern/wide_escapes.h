#pragma once

// libstdc++ keeps only the low byte of a "\uNNNN" escape, so "\u3055" would match
// "U". Outside a bracket class such an escape is spelled as a group of the
// character's UTF-8 bytes, so that a quantifier after it repeats the whole
// character; inside a class no spelling can stand for it, so the pattern is refused.

#include <regex>
#include <string>

#include "pattern/pattern_lexer.h"

// A pattern refused as invalid, with a message of its own.
class PatternRefused : public std::regex_error {
public:
    PatternRefused(std::regex_constants::error_type code, std::string message)
        : std::regex_error(code), _message(std::move(message)) {}

    const char* what() const noexcept override { return _message.c_str(); }

private:
    std::string _message;
};

// The pattern as the engine must be given it; throws PatternRefused for an escape
// above 0x7F inside a bracket class.
std::string spellWideEscapes(const std::string& pattern, const LexedPattern& lexed);
