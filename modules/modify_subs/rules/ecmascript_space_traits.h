#pragma once

// A wide regex's \s asks the locale, and glibc's iswspace leaves out the no-break
// spaces (U+00A0, U+2007, U+202F) and U+FEFF, so "Quoi\u00a0?" would escape \s+\?.
// These traits give \s, \S and the classes holding them ECMAScript's white space
// and line terminators instead; named classes such as [[:space:]] still ask the locale.

#include <iterator>
#include <regex>

// ECMAScript's WhiteSpace and LineTerminator.
bool isEcmaScriptSpace(wchar_t c);

class EcmaScriptSpaceTraits : public std::regex_traits<wchar_t> {
    using LocaleClass = std::regex_traits<wchar_t>::char_class_type;

public:
    // A union of the locale's classes, and whether it holds ECMAScript's white space.
    struct char_class_type {
        // The engine starts a class's union from 0 and reads 0 back as "no such name".
        char_class_type(int none = 0) : locale(none) {}
        char_class_type(LocaleClass localeClass, bool space) : locale(localeClass), ecmaScriptSpace(space) {}

        char_class_type& operator|=(const char_class_type& other) {
            locale |= other.locale;
            ecmaScriptSpace = ecmaScriptSpace || other.ecmaScriptSpace;
            return *this;
        }
        bool operator==(const char_class_type&) const = default;

        LocaleClass locale;
        bool ecmaScriptSpace = false;
    };

    // \s and \S arrive as the one-letter name "s" or "S".
    template <class Iterator>
    char_class_type lookup_classname(Iterator first, Iterator last, bool icase = false) const {
        if (std::distance(first, last) == 1 && (*first == L's' || *first == L'S')) return {LocaleClass(), true};
        return {std::regex_traits<wchar_t>::lookup_classname(first, last, icase), false};
    }

    bool isctype(wchar_t c, const char_class_type& characterClass) const;
};

// The regex that character-wise rules run.
using WideRegex = std::basic_regex<wchar_t, EcmaScriptSpaceTraits>;
