#pragma once

// A byte-wise rule's pattern spelled for PCRE2, so that its JIT gives the matches
// std::regex gives. Token by token from the pattern lexer: every single-byte atom
// (\d, ., a bracket class) becomes the explicit set of bytes std::regex accepts for
// it (single_byte_sets.h), so classes, case folding and the engine's signed ranges
// cannot drift. What the two engines do not provably share stays on std::regex:
// jitPatternFor says nothing for it.

#include <map>
#include <optional>
#include <string>

#include "rules/code_point_sets.h"

struct JitPattern {
    std::string source;  // for PCRE2 with the options of jit_rule.h
    bool ignoreCase = true;
    // Matches code points of UTF-8 text, every atom an explicit set of them: no
    // PCRE2 case folding or word characters of its own.
    bool characters = false;
    int captures = 0;
    bool lookaheads = false;
    // Whether every match starts with a byte that the pattern's first consuming atom
    // must match: no lookahead, nothing optional or empty before it.
    bool startsPlainly = true;
};

// Byte sets already read from std::regex, by the atom's text (after "i" or "s" for the
// letter case): a word list asks for \w or [a-z] many times.
using ByteSetCache = std::map<std::string, std::string>;

// `spelled` is the pattern as compileRulePattern gives it to std::regex (wide escapes
// spelled out), already accepted by it; read in the global locale, which must be
// the classic one; case-insensitive unless `ignoreCase` is false, as compileRulePattern
// was asked. Nothing when the pattern stays on std::regex.
std::optional<JitPattern> jitPatternFor(const std::string& spelled, ByteSetCache& cache, bool ignoreCase = true);

// The same for a character-wise rule on UTF-8 text of the Basic Multilingual Plane:
// `pattern` is as the wide regex was given it, in UTF-8 (\uXXXX a code point, a
// quantifier after a multi-byte character repeats the character). Nothing for a
// pattern that stays on the wide regex, such as a back-reference, which it compares
// by collation.
std::optional<JitPattern> characterJitPatternFor(const std::string& pattern, CodePointSets& sets,
                                                 bool ignoreCase = true);
