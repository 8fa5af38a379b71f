#include "pattern/bracket_lexer.h"

#include <string>

#include "pattern/pattern_escape.h"

namespace {

using namespace std::regex_constants;

// What one element of a class adds to the class, as far as its grammar cares.
enum class Element { Char, Set, Dash, End };

struct ElementRead {
    Element element = Element::Char;
    char byte = 0;  // Char
    std::optional<LexError> error;
};

class BracketReader {
public:
    BracketReader(std::string_view pattern, std::size_t& pos, std::vector<PatternToken>& tokens,
                  const std::regex_traits<char>& traits)
        : _pattern(pattern), _pos(pos), _tokens(tokens), _traits(traits) {}

    std::optional<LexError> read();

private:
    ElementRead next();
    ElementRead named(char delimiter);
    ElementRead escape();
    void push(TokenKind kind, std::size_t begin, char symbol, char byte = 0);
    void openClass();
    void closeClass(std::size_t open);

    std::string_view _pattern;
    std::size_t& _pos;
    std::vector<PatternToken>& _tokens;
    const std::regex_traits<char>& _traits;
};

void BracketReader::push(TokenKind kind, std::size_t begin, char symbol, char byte) {
    PatternToken token;
    token.kind = kind;
    token.begin = begin;
    token.end = _pos;
    token.symbol = symbol;
    token.byte = byte;
    token.inClass = true;
    _tokens.push_back(token);
}

ElementRead BracketReader::next() {
    if (_pos >= _pattern.size()) return {Element::End, 0, LexError{_pos, error_brack}};
    const std::size_t begin = _pos;
    const char c = _pattern[_pos++];
    if (c == '\\') return escape();
    if (c == '[' && _pos < _pattern.size() && std::string_view(".:=").find(_pattern[_pos]) != std::string_view::npos) {
        return named(_pattern[_pos++]);
    }
    if (c == '[' && _pos >= _pattern.size()) return {Element::End, 0, LexError{begin, error_brack}};
    if (c == ']') return {Element::End, 0, std::nullopt};
    if (c == '-') {
        push(TokenKind::RangeDash, begin, c, c);
        return {Element::Dash, c, std::nullopt};
    }
    push(TokenKind::Byte, begin, c, c);
    return {Element::Char, c, std::nullopt};
}

// "[:name:]", "[.name.]" or "[=name=]", after its opening delimiter.
ElementRead BracketReader::named(char delimiter) {
    const std::size_t begin = _pos - 2;
    const std::size_t close = _pattern.find(delimiter, _pos);
    if (close == std::string_view::npos || close + 1 >= _pattern.size() || _pattern[close + 1] != ']') {
        return {Element::End, 0, LexError{begin, delimiter == ':' ? error_ctype : error_collate}};
    }
    const std::string_view name = _pattern.substr(_pos, close - _pos);
    _pos = close + 2;
    if (delimiter == ':') {
        if (_traits.lookup_classname(name.begin(), name.end(), true) == std::regex_traits<char>::char_class_type()) {
            return {Element::Set, 0, LexError{begin, error_ctype}};
        }
        push(TokenKind::NamedClass, begin, delimiter);
        return {Element::Set, 0, std::nullopt};
    }
    const std::string element = _traits.lookup_collatename(name.begin(), name.end());
    if (element.empty()) return {Element::Set, 0, LexError{begin, error_collate}};
    push(TokenKind::NamedClass, begin, delimiter, element[0]);
    // A collating element is one character; an equivalence class is a set.
    return {delimiter == '.' ? Element::Char : Element::Set, element[0], std::nullopt};
}

ElementRead BracketReader::escape() {
    EscapeRead read = readEscape(_pattern, _pos - 1, true);
    _pos = read.token.end;
    if (read.error) return {Element::End, 0, read.error};
    const TokenKind kind = read.token.kind;
    if (kind == TokenKind::Anchor || kind == TokenKind::BackReference) {
        return {Element::End, 0, LexError{read.token.begin, error_brack}};
    }
    _tokens.push_back(read.token);
    if (kind == TokenKind::ClassEscape) return {Element::Set, 0, std::nullopt};
    return {Element::Char, read.token.byte, std::nullopt};
}

// The engine's bracket grammar: a '-' after a character makes a range with the
// next character, a '-' first, last or after a range is itself, and one next to a
// set (\w, [:alpha:]) is an error.
std::optional<LexError> BracketReader::read() {
    const std::size_t open = _tokens.size();
    openClass();
    // Char or Set: what came last; Dash: nothing a range can start from (the start, or a range).
    Element last = Element::Dash;
    char lastByte = 0;
    ElementRead element = next();
    if (element.element == Element::Dash) {
        _tokens.back().kind = TokenKind::Byte;
        element.element = Element::Char;
    }
    while (!element.error && element.element != Element::End) {
        if (element.element != Element::Dash) {
            last = element.element;
            lastByte = element.byte;
            element = next();
            continue;
        }
        const std::size_t dash = _tokens.size() - 1;
        const ElementRead end = next();
        if (end.error || end.element == Element::End || last != Element::Char) {
            if (!end.error && end.element != Element::End && last == Element::Set) {
                return LexError{_tokens[dash].begin, error_range};
            }
            _tokens[dash].kind = TokenKind::Byte;
            last = Element::Char;
            lastByte = '-';
            element = end;
            continue;
        }
        // The engine compares the two ends as (signed) chars.
        if (end.element == Element::Set || lastByte > end.byte) return LexError{_tokens[dash].begin, error_range};
        if (end.element == Element::Dash) _tokens.back().kind = TokenKind::Byte;
        last = Element::Dash;
        element = next();
    }
    if (element.error) return element.error;
    closeClass(open);
    return std::nullopt;
}

void BracketReader::openClass() {
    PatternToken opening;
    opening.kind = TokenKind::ClassOpen;
    opening.begin = _pos++;
    opening.negated = _pos < _pattern.size() && _pattern[_pos] == '^';
    if (opening.negated) ++_pos;
    opening.end = _pos;
    _tokens.push_back(opening);
}

void BracketReader::closeClass(std::size_t open) {
    PatternToken closing;
    closing.kind = TokenKind::ClassClose;
    closing.begin = _pos - 1;
    closing.end = _pos;
    closing.partner = open;
    _tokens[open].partner = _tokens.size();
    _tokens.push_back(closing);
}

}  // namespace

std::optional<LexError> readBracket(std::string_view pattern, std::size_t& pos, std::vector<PatternToken>& tokens,
                                    const std::regex_traits<char>& traits) {
    return BracketReader(pattern, pos, tokens, traits).read();
}
