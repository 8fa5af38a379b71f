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

template <class Choose>
class Generator {
public:
    explicit Generator(Choose choose) : _choose(choose) {}

    std::string pattern() { return alternation(0); }

    std::string replacement() {
        std::string result;
        for (int count = static_cast<int>(_choose(3)); count > 0; --count) result += pick(kReplacements);
        return result;
    }

    std::string text() {
        std::string result;
        for (int count = static_cast<int>(_choose(13)); count > 0; --count) result += pick(kTextPieces);
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
                return pick(kBytes);
            case 2:
                return pick(kEscapes);
            case 3:
                return pick(kClasses);
            case 4:
                return _choose(2) == 0 ? pick(kAnchors) : ".";
            case 5:
                return "\\" + std::to_string(1 + _choose(3));
            default:
                return pick(kOpeners) + alternation(depth + 1) + ")";
        }
    }

    Choose _choose;
};

}  // namespace pattern_grammar
