// The substitution against the reference substitution, which compiles every rule
// afresh for every text. Results, exceptions and the
// moment of failure must agree. QUORVANT_DIFF_ITERATIONS sets the number of word
// lists (a longer run), QUORVANT_DIFF_SEED the seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <locale>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "rules/reference_substitution.h"
#include "rules/substitution.h"
#include "stack/recursion_budget.h"

namespace {

using namespace std::string_literals;

struct Outcome {
    std::string result;
    std::string exceptionType;
    std::string message;

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* os) {
    *os << testing::PrintToString(outcome.result) << " / " << outcome.exceptionType << " "
        << testing::PrintToString(outcome.message);
}

template <typename Rewrite>
Outcome outcomeOf(Rewrite rewrite) {
    try {
        return {rewrite(), "", ""};
    } catch (const std::exception& error) {
        return {"", typeid(error).name(), error.what()};
    }
}

const std::vector<std::string> literalPieces = {
    "san",          "kun",  "Chan", "SENPAI", "-", " ", "a", "B",  "x", "ab", "\xc3\xa9", "\xc3\x89",
    "\xe3\x81\x95", "\r",   "\n",   "\t",     ",", "!", "'", "\"", "=", "_",  "0",        "7",
    "\xc9",         "\xe9", "I",    "\xfd",   "~", "/"};

const std::vector<std::string> escapePieces = {
    "\\.", "\\-", "\\n",   "\\r",   "\\t",     "\\f",     "\\v",     "\\d",  "\\D",  "\\w",  "\\W", "\\s",       "\\S",
    "\\b", "\\B", "\\x41", "\\x2d", "\\u0061", "\\u3055", "\\u00e9", "\\cA", "\\c(", "\\0",  "\\1", "\\2",       "\\12",
    "\\$", "\\(", "\\)",   "\\[",   "\\]",     "\\{",     "\\|",     "\\*",  "\\k",  "\\\\", "\\ ", "\\\xc3\xa9"};

const std::vector<std::string> classPieces = {"[a-z]",       "[^a]",     "[]",         "[^]",    "[\\]]",
                                              "[[:alpha:]]", "[-a]",     "[\xc3\xa9]", "[\\w-]", "[\\c]]",
                                              "[[.a.]]",     "[A-Z0-9]", "[\\b]",      "[.]",    "[\\u00e9]"};

const std::vector<std::string> quantifierPieces = {"*",     "+",  "?",  "{2}", "{1,}", "{0,2}", "{0}",
                                                   "{1,3}", "*?", "+?", "??",  "{2}?", "{01}"};

const std::vector<std::string> boundedGroupQuantifiers = {"?", "??", "{2}", "{0}", "{1,2}"};

const std::vector<std::string> brokenPieces = {"(",    ")",   "[",    "*",  "{",          "\\", "a{2,1}", "(?<x)",
                                               "\\x4", "\\c", "{,2}", "a{", "[[:nope:]]", "(?", "\0"s};

const std::vector<std::string> replacementPieces = {
    "x",   "-", "$&", "$$", "$`",  "$'",  "$0",    "$1", "$2", "$9",       "$10", "$01", "$00",
    "$99", "$", "$x", "\\", "\\1", "\0"s, "\0$&"s, "[",  "]",  "\xc3\xa9", " ",   "$$1", "$\xc3\xa9"};

const std::vector<std::string> textPieces = {"Taro-kun", "Aoi-SAN", "senpai",   "Sensei",   "chan",
                                             " ",        "  ",      "\r\n",     "\n",       "\r",
                                             "a",        "b",       "ab",       "-",        "42",
                                             "$",        "[",       "\xc3\xa9", "\xc3\x89", "\xe3\x81\x95\xe3\x82\x93",
                                             "\xc9",     "\xe9",    "I",        "i",        "\xfd",
                                             "{\\i1}",   "\\N",     ",",        "KUN!",     "Mr.",
                                             "_x_",      "\t",      "\0"s};

class Generator {
public:
    explicit Generator(unsigned seed) : _random(seed) {}

    // Patterns are often cut from the texts they will be applied to.
    ReplacementRules words(const std::vector<std::string>& texts) {
        ReplacementRules words;
        const int count = below(5) + 1;
        for (int i = 0; i < count; ++i) {
            words[pattern(texts)] = replacement();
        }
        return words;
    }

    std::string text() {
        std::string text;
        const int count = below(3) == 0 ? 0 : below(8) + 1;
        for (int i = 0; i < count; ++i) {
            text += below(12) == 0 ? std::string(1, static_cast<char>(below(256))) : pick(textPieces);
        }
        return text;
    }

private:
    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(_random); }

    const std::string& pick(const std::vector<std::string>& pieces) {
        return pieces[static_cast<std::size_t>(below(static_cast<int>(pieces.size())))];
    }

    std::string pattern(const std::vector<std::string>& texts) {
        switch (below(10)) {
            case 0:  // plain literals take the fast path
                return pick(literalPieces) + pick(literalPieces);
            case 1:
                return sequence(0) + pick(brokenPieces);
            case 2:
            case 3:
            case 4:
                return alternation(0);
            default:
                return patternFromText(below(4) == 0 ? text() : pick(texts));
        }
    }

    // A piece of a likely text, loosened here and there, so that it often matches.
    std::string patternFromText(const std::string& source) {
        const std::size_t start = source.empty() ? 0 : static_cast<std::size_t>(below(static_cast<int>(source.size())));
        std::string result;
        for (const char c : source.substr(start, static_cast<std::size_t>(below(10) + 1))) {
            const int change = below(16);
            if (change == 0) {
                result += ".";
            } else if (change == 1) {
                result += pick(literalPieces) + "?";
            } else if (std::string_view("^$\\.*+?()[]{}|").find(c) != std::string_view::npos) {
                result += '\\';
                result += c;
            } else {
                result += change == 2 && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            }
            if (change == 3) {
                result += pick(quantifierPieces);
            }
        }
        if (below(4) == 0) {
            result = std::string("(").append(result).append(")").append(pick(literalPieces));
        }
        return result;
    }

    std::string alternation(int depth) {
        std::string result = sequence(depth);
        while (below(6) == 0) {
            result += '|';
            result += sequence(depth);
        }
        return result;
    }

    std::string sequence(int depth) {
        std::string result;
        const int count = below(4) + (below(8) == 0 ? 0 : 1);
        for (int i = 0; i < count; ++i) {
            const std::string piece = atom(depth);
            result += piece;
            if (below(4) == 0) {
                // Unbounded repeats of a group can take libstdc++ exponential time.
                result += piece.front() == '(' ? pick(boundedGroupQuantifiers) : pick(quantifierPieces);
            }
        }
        return result;
    }

    std::string atom(int depth) {
        const int kind = below(depth >= 2 ? 9 : 11);
        if (kind <= 3) {
            return pick(literalPieces);
        }
        switch (kind) {
            case 4:
                return pick(escapePieces);
            case 5:
                return pick(classPieces);
            case 6:
                return below(2) == 0 ? "^" : "$";
            case 7:
                return ".";
            case 8:
                return pick(literalPieces) + pick(literalPieces);
            case 9: {
                static const char* const openers[] = {"(", "(?:", "(?=", "(?!"};
                return std::string(openers[below(4)]).append(alternation(depth + 1)).append(")");
            }
            default:
                return std::string("(").append(sequence(depth + 1)).append(")");
        }
    }

    std::string replacement() {
        std::string result;
        const int count = below(4);
        for (int i = 0; i < count; ++i) {
            result += pick(replacementPieces);
        }
        return result;
    }

    std::mt19937 _random;
};

int settingOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::atoi(value);
}

// Several texts through one Substitution, as a pass feeds them.
void expectSameAsReference(unsigned seed, int wordLists) {
    Generator generator(seed);
    for (int round = 0; round < wordLists; ++round) {
        std::vector<std::string> texts(4);
        for (std::string& text : texts) {
            text = generator.text();
        }
        const ReplacementRules words = generator.words(texts);
        std::optional<Substitution> substitution;
        ASSERT_NO_THROW(substitution.emplace(words));  // nothing is compiled yet
        for (const std::string& text : texts) {
            const Outcome expected = outcomeOf([&] { return referenceSubstitution(words, text); });
            const Outcome actual = outcomeOf([&] { return substitution->apply(text); });
            if (actual.exceptionType == typeid(RecursionBudgetExceeded).name()) {
                continue;  // a deliberate refusal of a text that has grown long
            }
            ASSERT_EQ(actual, expected) << "seed " << seed << ", round " << round << ", text "
                                        << testing::PrintToString(text) << ", words " << testing::PrintToString(words);
        }
    }
}

TEST(SubstitutionDifferential, MatchesCompilePerTextReference) {
    const auto seed = static_cast<unsigned>(settingOr("QUORVANT_DIFF_SEED", 20261207));
    expectSameAsReference(seed, settingOr("QUORVANT_DIFF_ITERATIONS", 1500));
}

// Folds like a single-byte Latin locale with a dotless i: 0xC9 and 0xE9 are one
// letter, and 'I' lowers to 0xFD, so a plain ASCII fold would be wrong here.
class WideFoldCtype : public std::ctype<char> {
protected:
    char do_tolower(char c) const override {
        switch (static_cast<unsigned char>(c)) {
            case 0xC9:
                return static_cast<char>(0xE9);
            case 'I':
                return static_cast<char>(0xFD);
            default:
                return std::ctype<char>::do_tolower(c);
        }
    }
    const char* do_tolower(char* begin, const char* end) const override {
        for (char* c = begin; c != end; ++c) {
            *c = do_tolower(*c);
        }
        return end;
    }
};

class GlobalLocale {
public:
    explicit GlobalLocale(const std::locale& locale) : _previous(std::locale::global(locale)) {}
    GlobalLocale(const GlobalLocale&) = delete;
    GlobalLocale& operator=(const GlobalLocale&) = delete;
    ~GlobalLocale() { std::locale::global(_previous); }

private:
    std::locale _previous;
};

TEST(SubstitutionDifferential, FoldsAsTheGlobalLocaleDoes) {
    // std::locale takes ownership of the facet.
    const GlobalLocale wideFold(std::locale(std::locale::classic(), new WideFoldCtype));
    Substitution substitution(ReplacementRules{{"\xc9t\xc9", "summer"}, {"(x)I", "[$1]"}});
    EXPECT_EQ(substitution.apply("\xe9t\xe9 xi x\xfd \xe9T\xc9"), "summer xi [x] summer");
    expectSameAsReference(7, settingOr("QUORVANT_DIFF_ITERATIONS", 1500) / 5);
}

}  // namespace
