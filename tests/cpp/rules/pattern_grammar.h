#pragma once

// Patterns drawn from the pattern lexer's grammar, and texts from a small alphabet,
// for the differential checks of the JIT against std::regex. `Choose` gives a number
// below its argument: a random engine in the tests, the fuzzer's bytes in fuzz/.

#include <string>
#include <vector>

namespace pattern_grammar {

inline const std::vector<std::string> kBytes = {"a", "b", "A", "B", "-", " ", "0", "_", "\xc3", "\xa9", "\n", "k"};
inline const std::vector<std::string> kEscapes = {"\\n",  "\\r", "\\t", "\\x41", "\\x2d", "\\u0061", "\\u00e9", "\\0",
                                                  "\\cA", "\\.", "\\-", "\\$",   "\\\\",  "\\d",     "\\D",     "\\w",
                                                  "\\W",  "\\s", "\\S", "\\xC3", "\\xe9", "\\u3055"};
inline const std::vector<std::string> kClasses = {
    "[ab]",        "[^a]",    "[]",      "[^]",           "[a-c]",         "[\\w-]",   "[[:alpha:]]",
    "[[:lower:]]", "[[.a.]]", "[[=a=]]", "[Z-a]",         "[\\x80-\\x7f]", "[\\d\\s]", "[-a]",
    "[a-]",        "[\\b]",   "[^\\W]",  "[\\xc3-\\xe9]", "[^\\n]",        "[.]",      "[\\]a]"};
inline const std::vector<std::string> kAnchors = {"^", "$", "\\b", "\\B"};
inline const std::vector<std::string> kQuantifiers = {"*",     "+",    "?",     "{0}", "{1}", "{2}",
                                                      "{0,2}", "{1,}", "{2,3}", "*?",  "+?",  "??"};
inline const std::vector<std::string> kOpeners = {"(", "(", "(?:", "(?=", "(?!"};
inline const std::vector<std::string> kReplacements = {"x", "$&", "$1", "$2", "$`", "$'", "$$", "$10", "$0", "<$1>"};
inline const std::vector<std::string> kTextPieces = {"a",  "b",  "A", "B", "-",        " ",
                                                     "\n", "\r", "0", "_", "\xc3\xa9", "k"};

// What a grammar draws its atoms and texts from.
struct Alphabet {
    const std::vector<std::string>& bytes;
    const std::vector<std::string>& escapes;
    const std::vector<std::string>& classes;
    const std::vector<std::string>& textPieces;
};

inline const Alphabet kByteAlphabet{kBytes, kEscapes, kClasses, kTextPieces};

// Characters users have whose letter case, width or class sets the engines apart:
// é É ß ẞ ı İ ſ, the Kelvin and Ohm signs, ω µ μ, typographic quotes and ellipsis,
// no-break, line-separator and ideographic spaces, a CJK ideograph, a combining
// acute accent, a fullwidth digit, the paragraph separator, final and capital sigma,
// a title-case letter.
inline const std::vector<std::string> kOtherCharacters = {
    "\xc3\xa9",     "\xc3\x89",     "\xc3\x9f",     "\xe1\xba\x9e", "\xc4\xb1", "\xc4\xb0",     "\xc5\xbf",
    "\xe2\x84\xaa", "\xe2\x84\xa6", "\xce\xa9",     "\xcf\x89",     "\xc2\xb5", "\xce\xbc",     "\xe2\x80\x9c",
    "\xe2\x80\x9d", "\xe2\x80\x98", "\xe2\x80\x99", "\xe2\x80\xa6", "\xc2\xa0", "\xe2\x80\xa8", "\xe3\x80\x80",
    "\xe7\x8c\xab", "\xcc\x81",     "\xef\xbc\x91", "\xe2\x80\xa9", "\xcf\x82", "\xce\xa3",     "\xc7\x85"};

inline std::vector<std::string> joined(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

inline const std::vector<std::string> kCharacters =
    joined({"a", "b", "k", "s", "i", "B", "K", "S", "I", "-", " ", "0", "_", "\n"}, kOtherCharacters);
inline const std::vector<std::string> kCharacterEscapes = {
    "\\n",     "\\r",     "\\t",     "\\x41",   "\\u00e9", "\\u00C9", "\\xe9",   "\\u212a", "\\u2126",
    "\\u017f", "\\u0130", "\\u0131", "\\u03c9", "\\u00b5", "\\u2028", "\\u00a0", "\\u3000", "\\uff11",
    "\\d",     "\\D",     "\\w",     "\\W",     "\\s",     "\\S",     "\\.",     "\\-",     "\\cA"};
inline const std::vector<std::string> kCharacterClasses = {"[ab]",
                                                           "[^a]",
                                                           "[]",
                                                           "[^]",
                                                           "[a-z]",
                                                           "[A-Z]",
                                                           "[\\w-]",
                                                           "[[:alpha:]]",
                                                           "[[:lower:]]",
                                                           "[[:upper:]]",
                                                           "[[:punct:]]",
                                                           "[Z-a]",
                                                           "[\\d\\s]",
                                                           "[^\\W]",
                                                           "[^\\n]",
                                                           "[\\u00c0-\\u00ff]",
                                                           "[^\\u2028\\n]",
                                                           "[\\u0100-\\u017f]",
                                                           "[\\u2018-\\u201f]",
                                                           "[\\s\\u00a0]",
                                                           "[^\\S]",
                                                           "[\\x80-\\uffff]",
                                                           "[\\u0370-\\u03ff]",
                                                           "[k\\u00e9]",
                                                           "[[.a.]]",
                                                           "[\\xc3\\xa9]",
                                                           "[\xc3\xa9\xe2\x80\x9c]",
                                                           "[\xc3\xa0-\xc3\xbf]",
                                                           "[^\xe2\x80\x98-\xe2\x80\x9d]",
                                                           "[\xc3\x9f\xe1\xba\x9e\xc4\xb1]"};
inline const std::vector<std::string> kCharacterPieces =
    joined({"a", "b", "k", "s", "i", "K", "S", "I", " ", "-", "0", "_", "\n", "\r", "!", "."}, kOtherCharacters);

inline const Alphabet kCharacterAlphabet{kCharacters, kCharacterEscapes, kCharacterClasses, kCharacterPieces};

template <class Choose>
class Generator {
public:
    explicit Generator(Choose choose, const Alphabet& alphabet = kByteAlphabet)
        : _choose(choose), _alphabet(alphabet) {}

    std::string pattern() { return alternation(0); }

    std::string replacement() {
        std::string result;
        for (int count = static_cast<int>(_choose(3)); count > 0; --count) result += pick(kReplacements);
        return result;
    }

    std::string text() {
        std::string result;
        for (int count = static_cast<int>(_choose(13)); count > 0; --count) result += pick(_alphabet.textPieces);
        return result;
    }

private:
    const std::string& pick(const std::vector<std::string>& from) { return from[_choose(from.size())]; }

    std::string alternation(int depth) {
        std::string result = sequence(depth);
        while (_choose(4) == 0) result += "|" + sequence(depth);
        return result;
    }

    std::string sequence(int depth) {
        std::string result;
        for (int count = static_cast<int>(_choose(4)); count > 0; --count) {
            result += atom(depth);
            if (_choose(3) == 0) result += pick(kQuantifiers);
            if (_choose(16) == 0) result += pick(kQuantifiers);
        }
        return result;
    }

    std::string atom(int depth) {
        switch (_choose(depth >= 3 ? 6 : 8)) {
            case 0:
            case 1:
                return pick(_alphabet.bytes);
            case 2:
                return pick(_alphabet.escapes);
            case 3:
                return pick(_alphabet.classes);
            case 4:
                return _choose(2) == 0 ? pick(kAnchors) : ".";
            case 5:
                return "\\" + std::to_string(1 + _choose(3));
            default:
                return pick(kOpeners) + alternation(depth + 1) + ")";
        }
    }

    Choose _choose;
    const Alphabet& _alphabet;
};

}  // namespace pattern_grammar
