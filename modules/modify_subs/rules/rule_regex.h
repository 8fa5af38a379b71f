#pragma once

#include <locale>
#include <regex>
#include <string>
#include <utility>

#include "stack/recursion_budget.h"

// regex_traits<char> with its locale's facets looked up once, when the locale is
// set, instead of on every call. libstdc++ builds each bracket expression's and
// class's table by asking the traits about all 256 bytes, and looking the facets up
// again for each question was most of the time a word list took to compile. Every
// answer is the one regex_traits<char> gives, the same facets asked the same way, but
// for transform_primary, which answers only what libstdc++'s regex compiler uses: a
// regex compiled with these traits matches what std::regex matches.
class FacetCachingTraits : public std::regex_traits<char> {
public:
    FacetCachingTraits() { cacheFacets(); }

    locale_type imbue(locale_type locale) {
        locale_type previous = std::regex_traits<char>::imbue(std::move(locale));
        cacheFacets();
        return previous;
    }

    char translate_nocase(char c) const { return _ctype->tolower(c); }

    template <class Iterator>
    string_type transform(Iterator first, Iterator last) const {
        const string_type bytes(first, last);
        return _collate->transform(bytes.data(), bytes.data() + bytes.size());
    }

    template <class Iterator>
    string_type lookup_collatename(Iterator first, Iterator last) const {
        _collatingNameAsked = true;
        return std::regex_traits<char>::lookup_collatename(first, last);
    }

    // libstdc++ asks this for every byte of every bracket expression, only to compare
    // it with the expression's equivalence classes ([=e=]), each of which it reads
    // through lookup_collatename first: before any, there is nothing to compare, and
    // the strxfrm call was most of what compiling a rule still cost.
    template <class Iterator>
    string_type transform_primary(Iterator first, Iterator last) const {
        if (!_collatingNameAsked) return {};
        string_type bytes(first, last);
        _ctype->tolower(bytes.data(), bytes.data() + bytes.size());
        return _collate->transform(bytes.data(), bytes.data() + bytes.size());
    }

    bool isctype(char c, char_class_type mask) const {
        return _ctype->is(mask._M_base, c) ||
               ((mask._M_extended & char_class_type::_S_under) != 0 && c == _ctype->widen('_'));
    }

private:
    void cacheFacets() {
        _ctype = &std::use_facet<std::ctype<char>>(getloc());
        _collate = &std::use_facet<std::collate<char>>(getloc());
    }

    const std::ctype<char>* _ctype = nullptr;
    const std::collate<char>* _collate = nullptr;
    mutable bool _collatingNameAsked = false;
};

using RuleEngineRegex = std::basic_regex<char, FacetCachingTraits>;

// A rule's pattern as a regex runs it, and the stack that running it needs.
template <class Regex>
struct BasicRuleRegex {
    Regex regex;
    StackDemand stackDemand;
    std::string spelled;  // the pattern as std::regex was given it
};

// As std::regex itself has it: what the engines are checked against.
using RuleRegex = BasicRuleRegex<std::regex>;
// As the rules run it, with the same results.
using RuleEngine = BasicRuleRegex<RuleEngineRegex>;

// The one way a rule's pattern becomes a regex: ECMAScript, case-insensitive unless
// `ignoreCase` is false, after the checks of pattern_guard.h and with wide escapes
// spelled out (wide_escapes.h). Throws std::regex_error for an invalid pattern.
RuleRegex compileRulePattern(const std::string& pattern, bool ignoreCase = true);
RuleEngine compileRuleEngine(const std::string& pattern, bool ignoreCase = true);
