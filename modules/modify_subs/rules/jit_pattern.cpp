#include "rules/jit_pattern.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <regex>
#include <vector>

#include "pattern/pattern_lexer.h"
#include "rules/single_byte_sets.h"
#include "text/utf8_text.h"

namespace {

// PCRE2 refuses larger repeat counts.
constexpr std::int64_t kMaxRepeat = 65535;

std::string hexByte(unsigned byte) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x{%02x}", byte);
    return buffer;
}

bool isAsciiLetter(unsigned byte) { return (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z'; }

std::string literal(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return isAsciiLetter(byte) ? std::string(1, c) : hexByte(byte);
}

std::string spelledSet(const std::bitset<256>& bytes) {
    if (bytes.none()) return "(?!)";
    std::string spelled = "[";
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (!bytes[byte]) continue;
        unsigned last = byte;
        while (last + 1 < 256 && bytes[last + 1]) ++last;
        spelled += hexByte(byte);
        if (last > byte) spelled.append("-").append(hexByte(last));
        byte = last;
    }
    return spelled + "]";
}

// The bytes that std::regex accepts for one atom: `.`, \d, a bracket class.
std::optional<std::string> byteSet(const std::string& pattern, const std::vector<PatternToken>& tokens,
                                   std::size_t first, std::size_t last, ByteSetCache& cache, bool ignoreCase) {
    const std::string atom = pattern.substr(tokens[first].begin, tokens[last].end - tokens[first].begin);
    const std::string key = (ignoreCase ? "i" : "s") + atom;
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const std::optional<std::bitset<256>> computed = singleByteSet(pattern, tokens, first, last, ignoreCase);
    const std::bitset<256> bytes = computed ? *computed : askedByteSet(atom, ignoreCase);
    // PCRE2 adds the other ASCII case of every letter it is given caselessly;
    // std::regex's set is closed under it already, being read through the same folding.
    for (unsigned byte = 0; ignoreCase && byte < 256; ++byte) {
        if (isAsciiLetter(byte) && bytes[byte] != bytes[byte ^ 0x20]) return std::nullopt;
    }
    return cache.emplace(key, spelledSet(bytes)).first->second;
}

std::string hexCodePoint(std::size_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\x{%zx}", c);
    return buffer;
}

std::string spelledCodePoints(const CodePointSet& set) {
    if (set.none()) return "(?!)";
    std::string spelled = "[";
    const CodePointSet gaps = ~set;
    for (std::size_t c = set._Find_first(); c < set.size(); c = set._Find_next(c)) {
        const std::size_t last = std::min(gaps._Find_next(c), set.size()) - 1;
        spelled += hexCodePoint(c);
        if (last > c) spelled.append("-").append(hexCodePoint(last));
        c = last;
    }
    return spelled + "]";
}

// One character of a character-wise pattern, spelled as the set of what matches it.
const std::string& characterLiteral(char32_t c, CodePointSets& sets, bool ignoreCase) {
    const std::string key = (ignoreCase ? "i" : "s") + hexCodePoint(c);
    auto& cache = sets.spelled();
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const CodePointSet set = sets.literal(c, ignoreCase);
    const bool plain = c < 0x80 && std::isalnum(static_cast<int>(c));
    std::string spelled = set.count() > 1 ? spelledCodePoints(set)
                          : plain         ? std::string(1, static_cast<char>(c))
                                          : hexCodePoint(c);
    return cache.emplace(key, std::move(spelled)).first->second;
}

std::optional<std::string> characterSet(const std::string& pattern, const std::vector<PatternToken>& tokens,
                                        std::size_t first, std::size_t last, CodePointSets& sets, bool ignoreCase) {
    const std::string atom = pattern.substr(tokens[first].begin, tokens[last].end - tokens[first].begin);
    const std::string key = (ignoreCase ? "i" : "s") + atom;
    auto& cache = sets.spelled();
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const std::optional<CodePointSet> set = sets.atom(pattern, tokens, first, last, ignoreCase);
    if (!set) return std::nullopt;
    return cache.emplace(key, spelledCodePoints(*set)).first->second;
}

// The wide regex reads a character of several bytes as one, in a class as outside it:
// spelled \uXXXX, the byte-wise lexer reads it so too. Nothing for one beyond the
// Basic Multilingual Plane, or one after \ or \c.
std::optional<std::string> escapedCharacters(const std::string& pattern) {
    std::string escaped;
    escaped.reserve(pattern.size());
    std::string_view rest(pattern);
    auto ascii = [](std::string_view text, std::size_t at) {
        return at >= text.size() || static_cast<unsigned char>(text[at]) < 0x80;
    };
    while (!rest.empty()) {
        if (rest.front() == '\\') {
            const std::size_t length = std::min<std::size_t>(rest.size() > 1 && rest[1] == 'c' ? 3 : 2, rest.size());
            for (std::size_t at = 1; at < length; ++at) {
                if (!ascii(rest, at)) return std::nullopt;
            }
            escaped.append(rest.substr(0, length));
            rest.remove_prefix(length);
        } else if (ascii(rest, 0)) {
            escaped += rest.front();
            rest.remove_prefix(1);
        } else {
            const std::optional<char32_t> c = takeCharacter(rest);
            if (!c || *c >= 0x10000) return std::nullopt;
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(*c));
            escaped += buffer;
        }
    }
    return escaped;
}

// PCRE2's \b would take its own word characters: these are the wide regex's.
std::string characterBoundary(bool boundary, CodePointSets& sets) {
    auto& cache = sets.spelled();
    const std::string key = boundary ? "\\b" : "\\B";
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const std::string word = spelledCodePoints(sets.word());
    const std::string spelled = boundary ? "(?(?<=" + word + ")(?!" + word + ")|(?=" + word + "))"
                                         : "(?(?<=" + word + ")(?=" + word + ")|(?!" + word + "))";
    return cache.emplace(key, spelled).first->second;
}

// One open group while translating: whether it can match empty, and what it holds.
struct Frame {
    bool lookahead = false;
    bool anyBranchEmpty = false;
    bool branchEmpty = true;
    // The atom just read, until the next token tells whether a quantifier follows.
    bool atomPending = false;
    bool atomEmpty = false;
    bool atomQuantified = false;
    // On the pattern's leading path: the group starts where the pattern does, the
    // branch has consumed nothing yet, the pending atom is the first to consume.
    bool leadingGroup = false;
    bool branchLeading = false;
    bool atomLeading = false;
};

class Translator {
public:
    Translator(const std::string& pattern, ByteSetCache& cache, bool ignoreCase) : _pattern(pattern), _cache(&cache) {
        _out.ignoreCase = ignoreCase;
    }

    Translator(const std::string& pattern, CodePointSets& sets, bool ignoreCase) : _pattern(pattern), _sets(&sets) {
        _out.ignoreCase = ignoreCase;
        _out.characters = true;
    }

    std::optional<JitPattern> run() {
        const LexedPattern lexed = lexPattern(_pattern);
        if (!lexed.valid()) return std::nullopt;
        _tokens = &lexed.tokens;
        _frames.emplace_back();
        _frames.back().leadingGroup = _frames.back().branchLeading = true;
        for (_index = 0; _index < lexed.tokens.size(); ++_index) {
            if (!step(lexed.tokens[_index])) return std::nullopt;
        }
        const bool empty = closeFrame();
        // After an empty match std::regex looks again for a longer one at the same
        // place with flags that its lookaheads inherit and PCRE2's do not.
        if (empty && _out.lookaheads) return std::nullopt;
        _out.startsPlainly = _out.startsPlainly && !_out.lookaheads;
        return _out;
    }

private:
    bool step(const PatternToken& token);
    bool quantifier(const PatternToken& token);
    bool character(const PatternToken& token);
    std::optional<std::string> set(std::size_t last);

    void atom(bool empty) {
        endAtom();
        Frame& frame = _frames.back();
        frame.atomPending = true;
        frame.atomEmpty = empty;
        frame.atomQuantified = false;
        frame.atomLeading = false;
    }

    void consumingAtom() {
        atom(false);
        Frame& frame = _frames.back();
        frame.atomLeading = frame.branchLeading;
        frame.branchLeading = false;
    }

    // A branch of a group on the leading path that may start without consuming.
    void endBranch() {
        const Frame& frame = _frames.back();
        if (frame.leadingGroup && frame.branchLeading) _out.startsPlainly = false;
    }

    void endAtom() {
        Frame& frame = _frames.back();
        if (frame.atomPending) frame.branchEmpty = frame.branchEmpty && frame.atomEmpty;
        frame.atomPending = false;
    }

    // Whether the group can match empty.
    bool closeFrame() {
        endAtom();
        endBranch();
        const Frame& frame = _frames.back();
        const bool empty = frame.anyBranchEmpty || frame.branchEmpty;
        _frames.pop_back();
        return empty;
    }

    bool inLookahead() const {
        for (const Frame& frame : _frames) {
            if (frame.lookahead) return true;
        }
        return false;
    }

    const std::string& _pattern;
    ByteSetCache* _cache = nullptr;
    CodePointSets* _sets = nullptr;  // in character mode
    const std::vector<PatternToken>* _tokens = nullptr;
    std::size_t _index = 0;
    std::vector<Frame> _frames;
    JitPattern _out;
};

bool Translator::step(const PatternToken& token) {
    switch (token.kind) {
        case TokenKind::Byte:
        case TokenKind::Escape:
            if (_sets) return character(token);
            consumingAtom();
            _out.source += literal(token.byte);
            return true;
        case TokenKind::ClassEscape:
        case TokenKind::AnyByte:
        case TokenKind::ClassOpen: {
            const std::size_t last = token.kind == TokenKind::ClassOpen ? token.partner : _index;
            const std::optional<std::string> bytes = set(last);
            if (!bytes) return false;
            if (token.kind == TokenKind::ClassOpen) _index = token.partner;
            consumingAtom();
            _out.source += *bytes;
            return true;
        }
        case TokenKind::Anchor:
            // Inside a lookahead std::regex takes the lookahead's start for the text's.
            if (token.symbol != '$' && inLookahead()) return false;
            atom(true);
            if (_sets && (token.symbol == 'b' || token.symbol == 'B')) {
                _out.source += characterBoundary(token.symbol == 'b', *_sets);
                return true;
            }
            _out.source += token.symbol == '^'   ? "^"
                           : token.symbol == '$' ? "\\z"
                           : token.symbol == 'b' ? "\\b"
                                                 : "\\B";
            return true;
        case TokenKind::BackReference:
            if (_sets) return false;
            if (_frames.back().branchLeading) _out.startsPlainly = false;
            atom(true);
            _out.source += "\\g{" + std::to_string(token.number) + "}";
            return true;
        case TokenKind::GroupOpen:
            // libstdc++ keeps what a lookahead captured even when the path through it
            // is abandoned (a negative lookahead that failed, a later backtrack).
            if (token.group == GroupKind::Capturing && inLookahead()) return false;
            endAtom();
            {
                const bool leading = _frames.back().branchLeading;
                _frames.back().branchLeading = false;
                _frames.emplace_back();
                _frames.back().leadingGroup = _frames.back().branchLeading = leading;
            }
            _frames.back().lookahead =
                token.group == GroupKind::Lookahead || token.group == GroupKind::NegativeLookahead;
            _out.lookaheads = _out.lookaheads || _frames.back().lookahead;
            if (token.group == GroupKind::Capturing) ++_out.captures;
            _out.source += token.group == GroupKind::Capturing      ? "("
                           : token.group == GroupKind::NonCapturing ? "(?:"
                           : token.group == GroupKind::Lookahead    ? "(?="
                                                                    : "(?!";
            return true;
        case TokenKind::GroupClose: {
            const bool lookahead = _frames.back().lookahead;
            const bool leading = _frames.back().leadingGroup;
            const bool empty = closeFrame() || lookahead;
            atom(empty);
            _frames.back().atomLeading = leading;
            _out.source += ")";
            return true;
        }
        case TokenKind::Quantifier:
            return quantifier(token);
        case TokenKind::Alternation: {
            endAtom();
            endBranch();
            Frame& frame = _frames.back();
            frame.anyBranchEmpty = frame.anyBranchEmpty || frame.branchEmpty;
            frame.branchEmpty = true;
            frame.branchLeading = frame.leadingGroup;
            _out.source += "|";
            return true;
        }
        default:  // the inside of a class is read with its ClassOpen
            return false;
    }
}

std::optional<std::string> Translator::set(std::size_t last) {
    if (_sets) return characterSet(_pattern, *_tokens, _index, last, *_sets, _out.ignoreCase);
    return byteSet(_pattern, *_tokens, _index, last, *_cache, _out.ignoreCase);
}

bool Translator::character(const PatternToken& token) {
    consumingAtom();
    _out.source += characterLiteral(codePointOf(token), *_sets, _out.ignoreCase);
    return true;
}

bool Translator::quantifier(const PatternToken& token) {
    Frame& frame = _frames.back();
    // "a**" repeats a repetition in std::regex; PCRE2 reads "a*+" as possessive.
    if (!frame.atomPending || frame.atomQuantified) return false;
    if (token.least > kMaxRepeat || token.most > kMaxRepeat) return false;
    // PCRE2 10.42 finds nothing for "(x|^y){0}_a" in " _a".
    if (token.most == 0) return false;
    // std::regex lets an iteration that matched empty run twice more at the same place.
    if (frame.atomEmpty && token.most != 1) return false;
    frame.atomQuantified = true;
    frame.atomEmpty = frame.atomEmpty || token.least == 0;
    if (frame.atomLeading && token.least == 0) _out.startsPlainly = false;
    std::string& out = _out.source;
    if (token.symbol == '{') {
        out.append("{").append(std::to_string(token.least));
        if (token.most != token.least) out.append(",").append(token.most < 0 ? "" : std::to_string(token.most));
        out.append("}");
    } else {
        out += token.symbol;
    }
    if (token.lazy) out += "?";
    return true;
}

}  // namespace

std::optional<JitPattern> jitPatternFor(const std::string& spelled, ByteSetCache& cache, bool ignoreCase) {
    return Translator(spelled, cache, ignoreCase).run();
}

std::optional<JitPattern> characterJitPatternFor(const std::string& pattern, CodePointSets& sets, bool ignoreCase) {
    const std::optional<std::string> escaped = escapedCharacters(pattern);
    if (!escaped) return std::nullopt;
    return Translator(*escaped, sets, ignoreCase).run();
}
