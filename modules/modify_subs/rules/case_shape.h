#pragma once

#include <iterator>
#include <locale>
#include <regex>
#include <string>
#include <string_view>

// A "preserve" rule's replacement takes the letter case of its match: ALL CAPS (two
// letters or more, all capitals), Title (a capital, then small letters), or lower.
// A match of mixed case, or without letters, leaves the replacement as written.
// `text` from `from` on is the replacement just written; `ctype` says what a letter
// is (ASCII for the byte-wise rules, the character locale's for the others).
template <class Char>
void shapeLikeMatch(std::basic_string<Char>& text, std::size_t from, std::basic_string_view<Char> match,
                    const std::ctype<Char>& ctype) {
    std::size_t capitals = 0;
    std::size_t smalls = 0;
    bool firstCapital = false;
    bool capitalAfterFirst = false;
    for (const Char c : match) {
        const bool capital = ctype.is(std::ctype_base::upper, c);
        if (!capital && !ctype.is(std::ctype_base::lower, c)) continue;
        if (capitals + smalls == 0) {
            firstCapital = capital;
        } else if (capital) {
            capitalAfterFirst = true;
        }
        (capital ? capitals : smalls) += 1;
    }
    if (from >= text.size() || capitals + smalls == 0) return;
    Char* const begin = text.data() + from;
    Char* const end = text.data() + text.size();
    if (smalls == 0 && capitals >= 2) {
        ctype.toupper(begin, end);
    } else if (capitals == 0) {
        ctype.tolower(begin, end);
    } else if (firstCapital && !capitalAfterFirst) {
        for (Char* c = begin; c != end; ++c) {
            if (ctype.is(std::ctype_base::alpha, *c)) {
                *c = ctype.toupper(*c);
                break;
            }
        }
    }
}

// What std::regex_replace gives with a C-string format, each replacement shaped like
// its match: the same walk over the matches as libstdc++'s.
template <class Char, class Traits>
std::basic_string<Char> replaceShaped(const std::basic_string<Char>& text,
                                      const std::basic_regex<Char, Traits>& expression,
                                      const std::basic_string<Char>& format, const std::ctype<Char>& ctype) {
    using Iterator = std::regex_iterator<typename std::basic_string<Char>::const_iterator, Char, Traits>;
    const Char* const formatStart = format.c_str();
    const Char* const formatEnd = formatStart + std::char_traits<Char>::length(formatStart);
    std::basic_string<Char> out;
    auto rest = text.cbegin();
    for (Iterator match(text.cbegin(), text.cend(), expression), end; match != end; ++match) {
        out.append(match->prefix().first, match->prefix().second);
        const std::size_t written = out.size();
        match->format(std::back_inserter(out), formatStart, formatEnd);
        const std::basic_string<Char> matched = match->str();
        shapeLikeMatch(out, written, std::basic_string_view<Char>(matched), ctype);
        rest = match->suffix().first;
    }
    out.append(rest, text.cend());
    return out;
}
