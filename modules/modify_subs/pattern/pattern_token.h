#pragma once

// The tokens a pattern is read into (see pattern_lexer.h), apart from the lexer so
// that its parts (brackets, escapes) can share them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <regex>
#include <vector>

enum class TokenKind {
    Byte,         // a byte written as itself
    Escape,       // a backslash escape that stands for one byte
    ClassEscape,  // \d \D \s \S \w \W
    AnyByte,      // .
    Anchor,       // ^ $ \b \B
    BackReference,
    GroupOpen,
    GroupClose,
    Quantifier,  // * + ? {n} {n,} {n,m}, lazy or not
    Alternation,
    ClassOpen,  // [ or [^
    ClassClose,
    NamedClass,  // [:name:] [.name.] [=name=] inside a class
    RangeDash,   // the '-' between the two ends of a range
};

enum class GroupKind { Capturing, NonCapturing, Lookahead, NegativeLookahead };

// Numbers are read up to this cap, one past int, so that a number the engine
// would overflow is still seen as too large.
constexpr std::int64_t kNumberCap = std::int64_t{2147483647} + 1;

struct PatternToken {
    TokenKind kind = TokenKind::Byte;
    std::size_t begin = 0;  // the bytes of the pattern it was read from
    std::size_t end = 0;
    // Byte, Escape: the byte; the letter after '\' for escapes, anchors and class
    // escapes; '*', '+', '?' or '{' for quantifiers; ':', '.' or '=' for named classes.
    char symbol = 0;
    char byte = 0;  // Byte, Escape: the byte the engine matches
    // Escape: the value of \xNN or \uNNNN; BackReference: the group number;
    // GroupOpen of a capturing group: its number.
    std::int64_t number = 0;
    std::int64_t least = 0;  // Quantifier bounds; `most` is -1 when unbounded
    std::int64_t most = 0;
    bool lazy = false;
    bool negated = false;  // ClassOpen
    bool inClass = false;
    GroupKind group = GroupKind::Capturing;
    std::size_t partner = 0;  // the matching close of an open, and the open of a close
};

struct LexError {
    std::size_t position = 0;
    std::regex_constants::error_type code = std::regex_constants::error_paren;
};

// The tokens up to the first place where the engine would refuse the pattern,
// and that place. A token cut short by the error is kept when its numbers were
// read, so that a check of numbers sees them.
struct LexedPattern {
    std::vector<PatternToken> tokens;
    std::optional<LexError> error;

    bool valid() const { return !error; }
};
