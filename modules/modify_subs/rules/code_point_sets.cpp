#include "rules/code_point_sets.h"

#include <cctype>
#include <regex>
#include <utility>

#include "text/utf8_text.h"

namespace {

constexpr std::size_t kPlane = 0x10000;

template <class Accepts>
CodePointSet each(Accepts accepts) {
    CodePointSet set;
    for (std::size_t c = 0; c < kPlane; ++c) set[c] = accepts(static_cast<wchar_t>(c));
    return set;
}

std::vector<wchar_t> wholePlane() {
    std::vector<wchar_t> plane(kPlane);
    for (std::size_t c = 0; c < kPlane; ++c) plane[c] = static_cast<wchar_t>(c);
    return plane;
}

}  // namespace

char32_t codePointOf(const PatternToken& token) {
    if (token.kind == TokenKind::Escape && (token.symbol == 'x' || token.symbol == 'u')) {
        return static_cast<char32_t>(token.number);
    }
    return static_cast<unsigned char>(token.byte);
}

CodePointSets::CodePointSets(const std::locale& locale)
    : _locale(locale), _ctype(std::use_facet<std::ctype<wchar_t>>(_locale)) {
    _traits.imbue(_locale);
}

const std::vector<wchar_t>& CodePointSets::lower() {
    if (_lower.empty()) {
        _lower = wholePlane();
        _ctype.tolower(_lower.data(), _lower.data() + _lower.size());
    }
    return _lower;
}

const std::vector<wchar_t>& CodePointSets::upper() {
    if (_upper.empty()) {
        _upper = wholePlane();
        _ctype.toupper(_upper.data(), _upper.data() + _upper.size());
    }
    return _upper;
}

// As EcmaScriptSpaceTraits::isctype answers, with the facet looked up once.
const CodePointSet& CodePointSets::members(const Class& mask) {
    const auto key = std::make_tuple(static_cast<unsigned long>(mask.locale._M_base),
                                     static_cast<unsigned>(mask.locale._M_extended), mask.ecmaScriptSpace);
    if (const auto found = _classes.find(key); found != _classes.end()) return found->second;
    const bool underscore = (mask.locale._M_extended & std::regex_traits<wchar_t>::char_class_type::_S_under) != 0;
    const auto base = mask.locale._M_base;
    const wchar_t underscoreCharacter = _ctype.widen('_');
    return _classes
        .emplace(key, each([&](wchar_t c) {
                     return (mask.ecmaScriptSpace && isEcmaScriptSpace(c)) || (base != 0 && _ctype.is(base, c)) ||
                            (underscore && c == underscoreCharacter);
                 }))
        .first->second;
}

EcmaScriptSpaceTraits::char_class_type CodePointSets::classNamed(std::string_view name, bool ignoreCase) const {
    const std::wstring wide(name.begin(), name.end());
    return _traits.lookup_classname(wide.begin(), wide.end(), ignoreCase);
}

const CodePointSet& CodePointSets::word() { return members(classNamed("w", false)); }

// What the matchers compare equal to `translated`: under icase the code points the
// locale lowercases to it (it, unless it lowers on, and the few that fold to it).
CodePointSet CodePointSets::matching(wchar_t translated, bool ignoreCase) {
    CodePointSet set;
    if (static_cast<std::size_t>(translated) >= kPlane) return set;
    if (!ignoreCase) {
        set[translated] = true;
        return set;
    }
    const std::vector<wchar_t>& folded = lower();
    if (_foldedFrom.empty()) {
        for (std::size_t c = 0; c < kPlane; ++c) {
            if (folded[c] != static_cast<wchar_t>(c)) _foldedFrom[folded[c]].push_back(static_cast<wchar_t>(c));
        }
    }
    if (folded[translated] == translated) set[translated] = true;
    if (const auto others = _foldedFrom.find(translated); others != _foldedFrom.end()) {
        for (const wchar_t c : others->second) set[c] = true;
    }
    return set;
}

wchar_t CodePointSets::translated(char32_t character, bool ignoreCase) {
    const auto c = static_cast<wchar_t>(character);
    return ignoreCase && character < kPlane ? lower()[character] : c;
}

CodePointSet CodePointSets::literal(char32_t character, bool ignoreCase) {
    return matching(translated(character, ignoreCase), ignoreCase);
}

std::optional<CodePointSet> CodePointSets::atom(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                                std::size_t first, std::size_t last, bool ignoreCase) {
    const PatternToken& token = tokens[first];
    switch (token.kind) {
        case TokenKind::AnyByte: {
            CodePointSet excluded;
            for (const char32_t c : {U'\n', U'\r', U'\u2028', U'\u2029'}) excluded |= literal(c, ignoreCase);
            return ~excluded;
        }
        case TokenKind::ClassEscape: {
            const char name = static_cast<char>(std::tolower(static_cast<unsigned char>(token.symbol)));
            const CodePointSet& set = members(classNamed(std::string_view(&name, 1), ignoreCase));
            return token.symbol == name ? set : ~set;
        }
        case TokenKind::ClassOpen:
            return bracket(pattern, tokens, first, last, ignoreCase);
        default:
            return std::nullopt;
    }
}

// _BracketMatcher::_M_apply: the translated characters, the ranges, the classes, the
// negated classes, then the whole negated for [^...].
std::optional<CodePointSet> CodePointSets::bracket(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                                   std::size_t open, std::size_t close, bool ignoreCase) {
    CodePointSet accepted;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    Class classes;
    for (std::size_t index = open + 1; index < close; ++index) {
        const PatternToken& token = tokens[index];
        if (token.kind == TokenKind::Byte && static_cast<unsigned char>(token.byte) >= 0x80) return std::nullopt;
        if (token.kind == TokenKind::NamedClass && token.symbol != ':') return std::nullopt;
        const bool rangeStart = index + 2 < close && tokens[index + 1].kind == TokenKind::RangeDash;
        if (rangeStart) {
            const PatternToken& end = tokens[index + 2];
            if (token.kind == TokenKind::NamedClass || end.kind == TokenKind::NamedClass) return std::nullopt;
            if (end.kind == TokenKind::Byte && static_cast<unsigned char>(end.byte) >= 0x80) return std::nullopt;
            ranges.emplace_back(codePointOf(token), codePointOf(end));
            index += 2;
        } else if (token.kind == TokenKind::Byte || token.kind == TokenKind::Escape) {
            accepted |= literal(codePointOf(token), ignoreCase);
        } else if (token.kind == TokenKind::ClassEscape) {
            const char name = static_cast<char>(std::tolower(static_cast<unsigned char>(token.symbol)));
            const Class mask = classNamed(std::string_view(&name, 1), true);
            if (token.symbol != name) {
                accepted |= ~members(mask);
            } else {
                classes |= mask;
            }
        } else if (token.kind == TokenKind::NamedClass) {
            // "[:name:]"; under icase "lower" and "upper" name all letters.
            classes |= classNamed(pattern.substr(token.begin + 2, token.end - token.begin - 4), ignoreCase);
        } else {
            return std::nullopt;
        }
    }
    accepted |= members(classes);
    if (!ranges.empty()) {
        // A range takes a character whose lower or upper case falls in it under icase.
        if (ignoreCase) {
            lower();
            upper();
        }
        for (std::size_t c = 0; c < kPlane; ++c) {
            const auto low = static_cast<char32_t>(ignoreCase ? _lower[c] : c);
            const auto high = static_cast<char32_t>(ignoreCase ? _upper[c] : c);
            for (const auto& [from, to] : ranges) {
                if ((from <= low && low <= to) || (from <= high && high <= to)) accepted[c] = true;
            }
        }
    }
    return tokens[open].negated ? ~accepted : accepted;
}
