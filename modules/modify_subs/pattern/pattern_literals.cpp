#include "pattern/pattern_literals.h"

#include <algorithm>
#include <cstddef>

namespace {

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

// A NUL, and the ']' and '}' that only stand for themselves outside their
// constructs, are left to the regex.
bool isLiteralByte(const PatternToken& token) {
    return token.kind == TokenKind::Byte && token.byte != '\0' && token.byte != ']' && token.byte != '}';
}

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

Atom atomOf(const PatternToken& token) {
    if (isLiteralByte(token)) return {Atom::Kind::Byte, token.byte, {}};
    if (token.kind == TokenKind::Anchor) return {Atom::Kind::ZeroWidth, 0, {}};
    if (token.kind != TokenKind::Escape) return {};
    const char letter = token.symbol;
    const bool control = std::string_view("fnrtv").find(letter) != std::string_view::npos;
    // Escaped punctuation stands for itself; \c, \x, \u and \0 are not read.
    const bool punctuation = static_cast<unsigned char>(letter) < 0x80 && letter != '\0' && !isAsciiAlnum(letter);
    if (control || punctuation) return {Atom::Kind::Byte, token.byte, {}};
    return {};
}

// The quantifiers from `index` on; `index` ends past them.
Repeat readRepeat(const std::vector<PatternToken>& tokens, std::size_t& index) {
    Repeat repeat;
    for (; index < tokens.size() && tokens[index].kind == TokenKind::Quantifier; ++index) {
        repeat.present = true;
        repeat.atLeastOnce = repeat.atLeastOnce && tokens[index].least > 0;
    }
    return repeat;
}

// One branch: consecutive single bytes make a literal; any other atom ends it.
class Branch {
public:
    void add(const Atom& atom, const Repeat& repeat) {
        if (atom.kind == Atom::Kind::Byte && repeat.atLeastOnce) {
            _run += atom.byte;
            if (repeat.present) {  // "ab+c" holds "ab" and "bc"
                settle();
                _run.assign(1, atom.byte);
            }
            return;
        }
        settle();
        if (repeat.atLeastOnce && isStronger(atom.inner, _best)) _best = atom.inner;
    }

    Requirement finish() {
        settle();
        return std::move(_best);
    }

private:
    void settle() {
        Requirement candidate{_run};
        if (!_run.empty() && isStronger(candidate, _best)) _best = std::move(candidate);
        _run.clear();
    }

    Requirement _best;
    std::string _run;
};

// A run of branches separated by '|': known only when every branch is.
struct Group {
    bool lookahead = false;
    Requirement branches;
    bool everyBranchKnown = true;
    Branch branch;

    void endBranch() {
        Requirement found = branch.finish();
        everyBranchKnown = everyBranchKnown && !found.empty();
        branches.insert(branches.end(), found.begin(), found.end());
        branch = {};
    }

    Requirement finish() {
        endBranch();
        return everyBranchKnown ? std::move(branches) : Requirement{};
    }
};

// The atom that starts at `index`; `index` ends past it.
Atom readAtom(const std::vector<PatternToken>& tokens, std::size_t& index, std::vector<Group>& groups) {
    const PatternToken& token = tokens[index++];
    if (token.kind == TokenKind::ClassOpen) {
        index = token.partner + 1;
        return {};
    }
    if (token.kind != TokenKind::GroupClose) return atomOf(token);
    Requirement inner = groups.back().finish();
    const bool lookahead = groups.back().lookahead;
    groups.pop_back();
    // What a lookahead looks at is not part of the match.
    if (lookahead) return {Atom::Kind::ZeroWidth, 0, {}};
    return {Atom::Kind::Other, 0, std::move(inner)};
}

}  // namespace

bool isPlainLiteral(const LexedPattern& lexed) {
    return lexed.valid() && !lexed.tokens.empty() &&
           std::all_of(lexed.tokens.begin(), lexed.tokens.end(), isLiteralByte);
}

bool isPlainLiteral(std::string_view pattern) { return isPlainLiteral(lexPattern(pattern)); }

std::vector<std::string> requiredLiterals(const LexedPattern& lexed) {
    if (!lexed.valid()) return {};
    const std::vector<PatternToken>& tokens = lexed.tokens;
    std::vector<Group> groups(1);
    for (std::size_t index = 0; index < tokens.size();) {
        const PatternToken& token = tokens[index];
        if (token.kind == TokenKind::GroupOpen) {
            groups.emplace_back().lookahead =
                token.group == GroupKind::Lookahead || token.group == GroupKind::NegativeLookahead;
            ++index;
        } else if (token.kind == TokenKind::Alternation) {
            groups.back().endBranch();
            ++index;
        } else {
            const Atom atom = readAtom(tokens, index, groups);
            groups.back().branch.add(atom, readRepeat(tokens, index));
        }
    }
    return groups.back().finish();
}

std::vector<std::string> requiredLiterals(std::string_view pattern) { return requiredLiterals(lexPattern(pattern)); }
