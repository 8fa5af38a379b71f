#include "pattern/pattern_lexer.h"

#include "pattern/bracket_lexer.h"
#include "pattern/pattern_escape.h"

namespace {

using namespace std::regex_constants;

class Lexer {
public:
    explicit Lexer(std::string_view pattern) : _pattern(pattern) {}

    LexedPattern read() {
        while (_pos < _pattern.size() && !_lexed.error) step();
        if (!_lexed.error && !_openGroups.empty()) fail(_pattern.size(), error_paren);
        return std::move(_lexed);
    }

private:
    void step();
    void escape();
    void openGroup();
    void closeGroup();
    void quantifier();
    void braces(PatternToken& token);
    void backReference(const PatternToken& token);

    void push(TokenKind kind, std::size_t length, bool repeatable) {
        PatternToken token;
        token.kind = kind;
        token.begin = _pos;
        token.end = _pos + length;
        token.symbol = _pattern[_pos];
        token.byte = token.symbol;
        _lexed.tokens.push_back(token);
        _pos += length;
        _repeatable = repeatable;
    }

    void fail(std::size_t position, error_type code) { _lexed.error = LexError{position, code}; }

    std::string_view _pattern;
    std::size_t _pos = 0;
    LexedPattern _lexed;
    std::vector<std::size_t> _openGroups;  // token indexes
    std::vector<std::int64_t> _openCaptures;
    std::int64_t _captures = 0;
    bool _repeatable = false;  // whether a quantifier may follow: an atom or a quantifier came last
    std::regex_traits<char> _traits;
};

void Lexer::step() {
    switch (_pattern[_pos]) {
        case '\\':
            return escape();
        case '(':
            return openGroup();
        case ')':
            return closeGroup();
        case '*':
        case '+':
        case '?':
        case '{':
            return quantifier();
        case '|':
            return push(TokenKind::Alternation, 1, false);
        case '^':
        case '$':
            return push(TokenKind::Anchor, 1, false);
        case '.':
            return push(TokenKind::AnyByte, 1, true);
        case '[':
            if (const std::optional<LexError> error = readBracket(_pattern, _pos, _lexed.tokens, _traits)) {
                _lexed.error = error;
            }
            _repeatable = true;
            return;
        default:  // ']' and '}' too stand for themselves here
            return push(TokenKind::Byte, 1, true);
    }
}

void Lexer::escape() {
    EscapeRead read = readEscape(_pattern, _pos, false);
    _pos = read.token.end;
    if (read.error) return fail(read.error->position, read.error->code);
    _lexed.tokens.push_back(read.token);
    _repeatable = read.token.kind != TokenKind::Anchor;
    if (read.token.kind == TokenKind::BackReference) backReference(read.token);
}

// Only a group that is already closed can be referred to.
void Lexer::backReference(const PatternToken& token) {
    bool open = false;
    for (const std::int64_t capture : _openCaptures) open = open || capture == token.number;
    if (token.number > _captures || open) fail(token.begin, error_backref);
}

void Lexer::openGroup() {
    PatternToken token;
    token.kind = TokenKind::GroupOpen;
    token.begin = _pos++;
    if (_pos < _pattern.size() && _pattern[_pos] == '?') {
        const char kind = ++_pos < _pattern.size() ? _pattern[_pos] : '\0';
        if (kind == ':')
            token.group = GroupKind::NonCapturing;
        else if (kind == '=')
            token.group = GroupKind::Lookahead;
        else if (kind == '!')
            token.group = GroupKind::NegativeLookahead;
        else
            return fail(token.begin, error_paren);
        ++_pos;
    } else {
        token.number = ++_captures;
        _openCaptures.push_back(token.number);
    }
    token.end = _pos;
    _openGroups.push_back(_lexed.tokens.size());
    _lexed.tokens.push_back(token);
    _repeatable = false;
}

void Lexer::closeGroup() {
    if (_openGroups.empty()) return fail(_pos, error_paren);
    const std::size_t open = _openGroups.back();
    _openGroups.pop_back();
    PatternToken& opening = _lexed.tokens[open];
    if (opening.group == GroupKind::Capturing) _openCaptures.pop_back();
    opening.partner = _lexed.tokens.size();
    const GroupKind kind = opening.group;
    push(TokenKind::GroupClose, 1, kind != GroupKind::Lookahead && kind != GroupKind::NegativeLookahead);
    _lexed.tokens.back().group = kind;
    _lexed.tokens.back().partner = open;
}

// A quantifier follows an atom or another quantifier; a '?' right after one makes
// it lazy.
void Lexer::quantifier() {
    if (!_repeatable) return fail(_pos, error_badrepeat);
    PatternToken token;
    token.kind = TokenKind::Quantifier;
    token.begin = _pos;
    token.symbol = _pattern[_pos++];
    token.least = token.symbol == '+' ? 1 : 0;
    token.most = token.symbol == '?' ? 1 : -1;
    if (token.symbol == '{') {
        braces(token);
        if (_lexed.error) return;
    }
    token.lazy = _pos < _pattern.size() && _pattern[_pos] == '?';
    if (token.lazy) ++_pos;
    token.end = _pos;
    _lexed.tokens.push_back(token);
}

// "n}", "n,}" or "n,m}" after the '{'. A brace cut short is kept with the numbers
// read so far, which the engine has already converted.
void Lexer::braces(PatternToken& token) {
    const std::size_t digits = _pos;
    token.least = token.most = readNumber(_pattern, _pos);
    if (_pos == digits) return fail(token.begin, error_badbrace);
    if (_pos < _pattern.size() && _pattern[_pos] == ',') {
        const std::size_t upper = ++_pos;
        token.most = readNumber(_pattern, _pos);
        if (_pos == upper) token.most = -1;
    }
    if (_pos < _pattern.size() && _pattern[_pos] == '}') {
        ++_pos;
        if (token.most < 0 || token.least <= token.most) return;
    }
    token.end = _pos;
    _lexed.tokens.push_back(token);
    fail(token.begin, error_badbrace);
}

}  // namespace

LexedPattern lexPattern(std::string_view pattern) { return Lexer(pattern).read(); }
