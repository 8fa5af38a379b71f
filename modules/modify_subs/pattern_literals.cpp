#include "pattern_literals.h"

#include <algorithm>
#include <cstddef>
#include <optional>

// Reads patterns as libstdc++'s ECMAScript scanner does, and gives up (an empty
// answer) on anything it does not model exactly: named classes inside brackets,
// odd quantifiers, deep nesting. Only patterns that compile are ever asked about.

namespace {

constexpr std::string_view syntaxBytes("^$\\.*+?()[]{}|", 14);
constexpr int maxGroupDepth = 32;

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool isAsciiAlnum(char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Any of these literals is in every match; empty means nothing is known.
using Requirement = std::vector<std::string>;

// Shortest member: a longer shortest literal rejects more texts.
std::size_t strength(const Requirement& requirement) {
    std::size_t shortest = 0;
    for (std::size_t i = 0; i < requirement.size(); ++i) {
        shortest = i == 0 ? requirement[i].size() : std::min(shortest, requirement[i].size());
    }
    return shortest;
}

bool isStronger(const Requirement& candidate, const Requirement& best) {
    const std::size_t a = strength(candidate);
    const std::size_t b = strength(best);
    return a > b || (a == b && a > 0 && candidate.size() < best.size());
}

struct Atom {
    enum class Kind { Byte, ZeroWidth, Other };
    Kind kind = Kind::Other;
    char byte = 0;
    Requirement inner;  // of a group's contents
};

struct Repeat {
    bool present = false;
    bool atLeastOnce = true;
};

class LiteralReader {
public:
    explicit LiteralReader(std::string_view pattern) : _pattern(pattern) {}

    Requirement read() {
        Requirement found = alternatives(0);
        if (_unsure || _pos != _pattern.size()) {
            return {};
        }
        return found;
    }

private:
    bool atEnd() const { return _pos >= _pattern.size(); }
    bool at(char c) const { return !atEnd() && _pattern[_pos] == c; }
    char take() { return _pattern[_pos++]; }

    Requirement giveUp() {
        _unsure = true;
        return {};
    }

    // A run of branches separated by '|', up to ')' or the end.
    Requirement alternatives(int depth) {
        if (depth > maxGroupDepth) {
            return giveUp();
        }
        Requirement branches;
        bool everyBranchKnown = true;
        bool more = true;
        while (more && !_unsure) {
            Requirement branch = sequence(depth);
            everyBranchKnown = everyBranchKnown && !branch.empty();
            branches.insert(branches.end(), branch.begin(), branch.end());
            more = at('|');
            if (more) {
                ++_pos;
            }
        }
        if (_unsure || !everyBranchKnown) {
            return {};
        }
        return branches;
    }

    // One branch: consecutive single bytes make a literal; any other atom ends it.
    Requirement sequence(int depth) {
        Requirement best;
        std::string run;
        auto settle = [&] {
            Requirement candidate{run};
            if (!run.empty() && isStronger(candidate, best)) {
                best = std::move(candidate);
            }
            run.clear();
        };
        while (!atEnd() && !at('|') && !at(')') && !_unsure) {
            const Atom atom = readAtom(depth);
            const Repeat repeat = readRepeat();
            if (_unsure) {
                break;
            }
            if (atom.kind == Atom::Kind::Byte && repeat.atLeastOnce) {
                run += atom.byte;
                if (repeat.present) {  // "ab+c" holds "ab" and "bc"
                    settle();
                    run.assign(1, atom.byte);
                }
                continue;
            }
            settle();
            if (repeat.atLeastOnce && isStronger(atom.inner, best)) {
                best = atom.inner;
            }
        }
        settle();
        return best;
    }

    Atom readAtom(int depth) {
        const char c = take();
        switch (c) {
            case '(':
                return group(depth);
            case '[':
                if (!skipBracket()) {
                    giveUp();
                }
                return {};
            case '\\':
                return escape();
            case '^':
            case '$':
                return {Atom::Kind::ZeroWidth, 0, {}};
            case '.':
            case ']':
            case '}':
            case '\0':
                return {};
            case '*':
            case '+':
            case '?':
            case '{':
                giveUp();
                return {};
            default:
                return {Atom::Kind::Byte, c, {}};
        }
    }

    Atom group(int depth) {
        bool lookahead = false;
        if (at('?')) {
            ++_pos;
            if (at('=') || at('!')) {
                lookahead = true;
            } else if (!at(':')) {
                giveUp();
                return {};
            }
            ++_pos;
        }
        Requirement inner = alternatives(depth + 1);
        if (!at(')')) {
            giveUp();
            return {};
        }
        ++_pos;
        if (lookahead) {  // what it looks at is not part of the match
            return {Atom::Kind::ZeroWidth, 0, {}};
        }
        return {Atom::Kind::Other, 0, std::move(inner)};
    }

    Atom escape() {
        if (atEnd()) {
            giveUp();
            return {};
        }
        const char c = take();
        switch (c) {
            case 'f':
                return {Atom::Kind::Byte, '\f', {}};
            case 'n':
                return {Atom::Kind::Byte, '\n', {}};
            case 'r':
                return {Atom::Kind::Byte, '\r', {}};
            case 't':
                return {Atom::Kind::Byte, '\t', {}};
            case 'v':
                return {Atom::Kind::Byte, '\v', {}};
            case 'b':
            case 'B':
                return {Atom::Kind::ZeroWidth, 0, {}};
            case 'c':  // libstdc++ takes the next byte, whatever it is
                if (atEnd()) {
                    giveUp();
                } else {
                    ++_pos;
                }
                return {};
            case 'x':
            case 'u':
                skipHexDigits(c == 'x' ? 2 : 4);
                return {};
            default:
                break;
        }
        if (isAsciiDigit(c)) {  // a back-reference, or \0 and plain digits
            while (!atEnd() && isAsciiDigit(_pattern[_pos])) {
                ++_pos;
            }
            return {};
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && c != '\0' && !isAsciiAlnum(c)) {
            return {Atom::Kind::Byte, c, {}};
        }
        return {};
    }

    void skipHexDigits(int count) {
        for (int i = 0; i < count; ++i) {
            if (atEnd() || !isHexDigit(_pattern[_pos])) {
                giveUp();
                return;
            }
            ++_pos;
        }
    }

    // After '['. In ECMAScript mode a ']' ends the class even right at its start.
    bool skipBracket() {
        if (at('^')) {
            ++_pos;
        }
        while (!atEnd()) {
            const char c = take();
            if (c == ']') {
                return true;
            }
            if (c == '\\') {
                if (atEnd()) {
                    return false;
                }
                if (take() == 'c') {
                    if (atEnd()) {
                        return false;
                    }
                    ++_pos;
                }
            } else if (c == '[' && (at(':') || at('.') || at('='))) {
                return false;
            }
        }
        return false;
    }

    Repeat readRepeat() {
        Repeat repeat;
        for (;;) {
            if (at('*') || at('?')) {
                repeat.atLeastOnce = false;
                ++_pos;
            } else if (at('+')) {
                ++_pos;
            } else if (at('{')) {
                ++_pos;
                if (!readBraceMinimumAboveZero()) {
                    repeat.atLeastOnce = false;
                }
            } else {
                return repeat;
            }
            repeat.present = true;
            if (at('?')) {  // one '?' right after a quantifier makes it lazy
                ++_pos;
            }
        }
    }

    // "{n}", "{n,}" or "{n,m}" after the '{'; tells whether n > 0.
    bool readBraceMinimumAboveZero() {
        bool aboveZero = false;
        const std::size_t start = _pos;
        while (!atEnd() && isAsciiDigit(_pattern[_pos])) {
            aboveZero = aboveZero || _pattern[_pos] != '0';
            ++_pos;
        }
        if (_pos == start) {
            giveUp();
            return false;
        }
        if (at(',')) {
            ++_pos;
            while (!atEnd() && isAsciiDigit(_pattern[_pos])) {
                ++_pos;
            }
        }
        if (!at('}')) {
            giveUp();
            return false;
        }
        ++_pos;
        return aboveZero;
    }

    std::string_view _pattern;
    std::size_t _pos = 0;
    bool _unsure = false;
};

}  // namespace

bool isPlainLiteral(std::string_view pattern) {
    return !pattern.empty() && std::none_of(pattern.begin(), pattern.end(), [](char c) {
        return c == '\0' || syntaxBytes.find(c) != std::string_view::npos;
    });
}

std::vector<std::string> requiredLiterals(std::string_view pattern) {
    return LiteralReader(pattern).read();
}
