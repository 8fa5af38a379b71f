#pragma once

// The engine matches bytes, so a non-ASCII character in a pattern is the sequence
// of its UTF-8 bytes: a bracket class, a quantifier or a '.' beside it then works
// on single bytes and can cut the character in half.

#include <string>
#include <vector>

struct ByteWiseWarning {
    enum class Kind {
        InClass,        // the character is inside a bracket class
        Repeated,       // a quantifier follows it and repeats its last byte only
        NextToAnyByte,  // a '.' before or after it can match part of it
    };
    Kind kind = Kind::InClass;
    std::string character;   // its UTF-8 bytes
    std::string quantifier;  // Repeated: the quantifier as written, e.g. "+" or "{2,}?"

    bool operator==(const ByteWiseWarning&) const = default;
};

// Each place in `pattern` that works on single bytes of a non-ASCII character, in
// pattern order and each once; what follows a syntax error is not read.
std::vector<ByteWiseWarning> byteWiseWarnings(const std::string& pattern);

// One sentence for each of those places, naming the character and what to write instead.
std::vector<std::string> patternWarnings(const std::string& pattern);
