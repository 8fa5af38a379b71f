#include "rules/single_byte_sets.h"

#include <locale>
#include <regex>
#include <string>
#include <utility>

namespace {

using Traits = std::regex_traits<char>;

class ByteMatcher {
public:
    explicit ByteMatcher(bool ignoreCase)
        : _ctype(std::use_facet<std::ctype<char>>(_traits.getloc())), _ignoreCase(ignoreCase) {}

    // `.`: what is neither \\n nor \\r once folded.
    std::bitset<256> anyByte() const {
        return each([&](char c) { return fold(c) != fold('\n') && fold(c) != fold('\r'); });
    }

    // \\d \\w \\s; a capital letter negates.
    std::bitset<256> classEscape(char letter) const {
        const char name = _ctype.tolower(letter);
        const Traits::char_class_type mask = _traits.lookup_classname(&name, &name + 1, true);
        const bool negated = _ctype.is(std::ctype_base::upper, letter);
        return each([&](char c) { return _traits.isctype(c, mask) != negated; });
    }

    std::optional<std::bitset<256>> bracket(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                            std::size_t open, std::size_t close) const;

private:
    char fold(char c) const { return _ignoreCase ? _ctype.tolower(c) : c; }

    template <class Accepts>
    static std::bitset<256> each(Accepts accepts) {
        std::bitset<256> bytes;
        for (unsigned byte = 0; byte < 256; ++byte) bytes[byte] = accepts(static_cast<char>(byte));
        return bytes;
    }

    // The ends compare as chars, so a range may run from 0x80 up through 0x7F.
    bool inRange(char low, char high, char c) const {
        const char lower = _ignoreCase ? _ctype.tolower(c) : c;
        const char upper = _ignoreCase ? _ctype.toupper(c) : c;
        return (low <= lower && lower <= high) || (low <= upper && upper <= high);
    }

    Traits _traits;
    const std::ctype<char>& _ctype;
    bool _ignoreCase;
};

std::optional<std::bitset<256>> ByteMatcher::bracket(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                                     std::size_t open, std::size_t close) const {
    std::string chars;
    std::vector<std::pair<char, char>> ranges;
    Traits::char_class_type classes{};
    std::vector<Traits::char_class_type> negatedClasses;
    for (std::size_t index = open + 1; index < close; ++index) {
        const PatternToken& token = tokens[index];
        const bool rangeStart = index + 2 < close && tokens[index + 1].kind == TokenKind::RangeDash;
        if (token.kind == TokenKind::NamedClass && token.symbol != ':') return std::nullopt;
        if (rangeStart) {
            const PatternToken& end = tokens[index + 2];
            if (token.kind == TokenKind::NamedClass || end.kind == TokenKind::NamedClass) return std::nullopt;
            ranges.emplace_back(token.byte, end.byte);
            index += 2;
        } else if (token.kind == TokenKind::Byte || token.kind == TokenKind::Escape) {
            chars += fold(token.byte);
        } else if (token.kind == TokenKind::ClassEscape) {
            const char name = _ctype.tolower(token.symbol);
            const Traits::char_class_type mask = _traits.lookup_classname(&name, &name + 1, true);
            if (_ctype.is(std::ctype_base::upper, token.symbol)) {
                negatedClasses.push_back(mask);
            } else {
                classes |= mask;
            }
        } else if (token.kind == TokenKind::NamedClass) {
            // "[:name:]"; under icase "lower" and "upper" name all letters.
            const std::string_view name = pattern.substr(token.begin + 2, token.end - token.begin - 4);
            classes |= _traits.lookup_classname(name.begin(), name.end(), _ignoreCase);
        } else {
            return std::nullopt;
        }
    }
    const bool negated = tokens[open].negated;
    return each([&](char c) {
        bool accepted = chars.find(fold(c)) != std::string::npos || _traits.isctype(c, classes);
        for (const auto& [low, high] : ranges) accepted = accepted || inRange(low, high, c);
        for (const Traits::char_class_type mask : negatedClasses) accepted = accepted || !_traits.isctype(c, mask);
        return accepted != negated;
    });
}

}  // namespace

std::bitset<256> askedByteSet(const std::string& atom, bool ignoreCase) {
    const std::regex expression(atom, ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                 : std::regex_constants::ECMAScript);
    std::bitset<256> bytes;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        bytes[byte] = std::regex_match(&c, &c + 1, expression);
    }
    return bytes;
}

std::optional<std::bitset<256>> singleByteSet(std::string_view pattern, const std::vector<PatternToken>& tokens,
                                              std::size_t first, std::size_t last, bool ignoreCase) {
    const ByteMatcher matcher(ignoreCase);
    const PatternToken& token = tokens[first];
    switch (token.kind) {
        case TokenKind::AnyByte:
            return matcher.anyByte();
        case TokenKind::ClassEscape:
            return matcher.classEscape(token.symbol);
        case TokenKind::ClassOpen:
            return matcher.bracket(pattern, tokens, first, last);
        default:
            return std::nullopt;
    }
}
