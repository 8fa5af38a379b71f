#include "rules/code_point_sets.h"

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

CodePointSet askedCodePointSet(const std::string& atom, bool ignoreCase) {
    WideRegex expression;
    expression.imbue(std::locale("C.UTF-8"));
    expression.assign(*wideFromUtf8(atom), ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                      : std::regex_constants::ECMAScript);
    return each([&](wchar_t c) { return std::regex_match(&c, &c + 1, expression); });
}

CodePointSets::CodePointSets() : _locale("C.UTF-8"), _ctype(std::use_facet<std::ctype<wchar_t>>(_locale)) {
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
    return _classes
        .emplace(key, each([&](wchar_t c) {
                     return (mask.ecmaScriptSpace && isEcmaScriptSpace(c)) || _ctype.is(mask.locale._M_base, c) ||
                            (underscore && c == _ctype.widen('_'));
                 }))
        .first->second;
}

EcmaScriptSpaceTraits::char_class_type CodePointSets::classNamed(std::string_view name, bool ignoreCase) const {
    const std::wstring wide(name.begin(), name.end());
    return _traits.lookup_classname(wide.begin(), wide.end(), ignoreCase);
}

const CodePointSet& CodePointSets::word() { return members(classNamed("w", false)); }

CodePointSet CodePointSets::literal(char32_t character, bool ignoreCase) {
    CodePointSet set;
    if (!ignoreCase) {
        set[character] = true;
        return set;
    }
    const std::vector<wchar_t>& folded = lower();
    const wchar_t wanted = _ctype.tolower(static_cast<wchar_t>(character));
    for (std::size_t c = 0; c < kPlane; ++c) set[c] = folded[c] == wanted;
    if (character < kPlane) set[character] = true;
    return set;
}

std::optional<CodePointSet> CodePointSets::atom(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                                std::size_t first, std::size_t last, bool ignoreCase) {
    const PatternToken& token = tokens[first];
    switch (token.kind) {
        case TokenKind::AnyByte: {
            // Compared once folded, as the matcher compares them.
            const std::vector<wchar_t>& folded = lower();
            auto fold = [&](wchar_t c) { return ignoreCase ? folded[c] : c; };
            return each([&](wchar_t c) {
                const wchar_t f = fold(c);
                return f != fold(L'\n') && f != fold(L'\r') && f != fold(0x2028) && f != fold(0x2029);
            });
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

std::optional<CodePointSet> CodePointSets::bracket(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                                   std::size_t open, std::size_t close, bool ignoreCase) {
    const std::vector<wchar_t>& folded = lower();
    CodePointSet chars;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    Class classes;
    std::vector<Class> negatedClasses;
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
            const char32_t c = codePointOf(token);
            if (c >= kPlane) return std::nullopt;
            const wchar_t key = ignoreCase ? folded[c] : static_cast<wchar_t>(c);
            if (static_cast<std::size_t>(key) < kPlane) chars[key] = true;
        } else if (token.kind == TokenKind::ClassEscape) {
            const char name = static_cast<char>(std::tolower(static_cast<unsigned char>(token.symbol)));
            const Class mask = classNamed(std::string_view(&name, 1), true);
            if (token.symbol != name) {
                negatedClasses.push_back(mask);
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
    const std::vector<wchar_t>& raised = ignoreCase && !ranges.empty() ? upper() : folded;
    const CodePointSet& inClasses = members(classes);
    std::vector<const CodePointSet*> negated;
    for (const Class& mask : negatedClasses) negated.push_back(&members(mask));
    const bool nonMatching = tokens[open].negated;
    return each([&](wchar_t c) {
        const auto key = static_cast<std::size_t>(ignoreCase ? folded[c] : c);
        bool accepted = (key < kPlane && chars[key]) || inClasses[c];
        const auto low = static_cast<char32_t>(ignoreCase ? folded[c] : c);
        const auto high = static_cast<char32_t>(ignoreCase ? raised[c] : c);
        for (const auto& [from, to] : ranges) {
            accepted = accepted || (from <= low && low <= to) || (from <= high && high <= to);
        }
        for (const CodePointSet* set : negated) accepted = accepted || !(*set)[c];
        return accepted != nonMatching;
    });
}
