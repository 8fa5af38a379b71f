#pragma once

// The code points of the Basic Multilingual Plane that a character-wise rule's wide
// regex (ecmascript_space_traits.h, imbued with "C.UTF-8") accepts for an atom that
// matches one character: a literal, `.`, \d \w \s and their negations, and bracket
// classes of characters, ranges, class escapes and [:name:], worked out as
// libstdc++'s matchers do for wchar_t (_CharMatcher, _AnyMatcher, _BracketMatcher):
// under icase a character is compared through the locale's tolower, a range
// accepts it when its tolower or toupper falls inside.

#include <bitset>
#include <cstddef>
#include <locale>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "pattern/pattern_lexer.h"
#include "rules/ecmascript_space_traits.h"

using CodePointSet = std::bitset<0x10000>;

// One word list's sets, worked out once each: a full pass over the plane takes
// about half a millisecond, and a list asks for \w or [a-z] many times.
class CodePointSets {
public:
    // `locale` is the wide regex's ("C.UTF-8").
    explicit CodePointSets(const std::locale& locale);
    CodePointSets(const CodePointSets&) = delete;
    CodePointSets& operator=(const CodePointSets&) = delete;

    // tokens[first, last] of `pattern` is the atom: one token, or a class from
    // ClassOpen to ClassClose, its characters ASCII or escapes. Nothing for what is
    // not worked out here ([=e=], [.a.], raw multi-byte characters inside a class).
    std::optional<CodePointSet> atom(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                     std::size_t first, std::size_t last, bool ignoreCase);
    CodePointSet literal(char32_t character, bool ignoreCase);
    // What \b and \B take for a word character, whatever the letter case.
    const CodePointSet& word();

    // Spelled sets, by atom text and letter case, kept for the translator.
    std::map<std::string, std::string>& spelled() { return _spelled; }

private:
    using Class = EcmaScriptSpaceTraits::char_class_type;

    CodePointSet matching(wchar_t translated, bool ignoreCase);
    wchar_t translated(char32_t character, bool ignoreCase);
    const std::vector<wchar_t>& lower();
    const std::vector<wchar_t>& upper();
    const CodePointSet& members(const Class& mask);
    Class classNamed(std::string_view name, bool ignoreCase) const;
    std::optional<CodePointSet> bracket(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                        std::size_t open, std::size_t close, bool ignoreCase);

    std::locale _locale;
    const std::ctype<wchar_t>& _ctype;
    EcmaScriptSpaceTraits _traits;
    std::vector<wchar_t> _lower;
    std::vector<wchar_t> _upper;
    std::map<wchar_t, std::vector<wchar_t>> _foldedFrom;  // the code points that fold to another
    std::map<std::tuple<unsigned long, unsigned, bool>, CodePointSet> _classes;
    std::map<std::string, std::string> _spelled;
};

// The code point an Escape or Byte token of a pattern's ASCII part stands for.
char32_t codePointOf(const PatternToken& token);
