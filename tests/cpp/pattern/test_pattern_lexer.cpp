#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "pattern/pattern_lexer.h"
#include "rules/substitution.h"

namespace {

using namespace std::string_literals;

std::string nameOf(const PatternToken& token) {
    switch (token.kind) {
        case TokenKind::Byte:
            return "byte";
        case TokenKind::Escape:
            return "escape";
        case TokenKind::ClassEscape:
            return "set";
        case TokenKind::AnyByte:
            return "any";
        case TokenKind::Anchor:
            return "anchor";
        case TokenKind::BackReference:
            return "ref" + std::to_string(token.number);
        case TokenKind::GroupOpen:
            return "open";
        case TokenKind::GroupClose:
            return "close";
        case TokenKind::Quantifier:
            return "{" + std::to_string(token.least) + "," + std::to_string(token.most) + (token.lazy ? "}?" : "}");
        case TokenKind::Alternation:
            return "or";
        case TokenKind::ClassOpen:
            return "class";
        case TokenKind::ClassClose:
            return "end";
        case TokenKind::NamedClass:
            return "named";
        case TokenKind::RangeDash:
            return "range";
    }
    return "?";
}

// Each token as its kind and the bytes it was read from.
std::string describe(const std::string& pattern) {
    const LexedPattern lexed = lexPattern(pattern);
    std::string description;
    for (const PatternToken& token : lexed.tokens) {
        if (!description.empty()) description += ' ';
        description += nameOf(token) + ":" + pattern.substr(token.begin, token.end - token.begin);
    }
    if (lexed.valid()) return description;
    return description + (description.empty() ? "!" : " !") + std::to_string(lexed.error->position);
}

TEST(PatternLexer, ReadsPatternsAsTheEngineDoes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\\c(a", "escape:\\c( byte:a"},  // \c takes the next byte, whatever it is
        {"[]a]", "class:[ end:] byte:a byte:]"},
        {"[[:alpha:]-]", "class:[ named:[:alpha:] byte:- end:]"},
        {"[a-z-]", "class:[ byte:a range:- byte:z byte:- end:]"},
        {"[--a]", "class:[ byte:- range:- byte:a end:]"},
        {"[\\b\\d]", "class:[ escape:\\b set:\\d end:]"},
        {"(?:a|b)+?", "open:(?: byte:a or:| byte:b close:) {1,-1}?:+?"},
        {"a{2,}b{1,3}c{4}", "byte:a {2,-1}:{2,} byte:b {1,3}:{1,3} byte:c {4,4}:{4}"},
        {"a**?", "byte:a {0,-1}:* {0,-1}?:*?"},
        {"\\012", "escape:\\0 byte:1 byte:2"},
        {"(a)\\1\\b$", "open:( byte:a close:) ref1:\\1 anchor:\\b anchor:$"},
        {"\\u3055+", "escape:\\u3055 {1,-1}:+"},
        {"a{99999999999}", "byte:a {2147483648,2147483648}:{99999999999}"},
        {"a{2,1}", "byte:a {2,1}:{2,1} !1"},  // kept for the number check, then refused
        {"(a\\1)", "open:( byte:a ref1:\\1 !2"},
        {"^*", "anchor:^ !1"},
        {"[\\w-a]", "class:[ set:\\w range:- byte:a !3"},
        {"(?<a)", "!0"},
    };
    for (const auto& [pattern, expected] : cases) {
        EXPECT_EQ(describe(pattern), expected) << pattern;
    }
}

// Random pieces of pattern syntax, glued together: most results are invalid, in
// every way the pieces allow, and many are valid.
std::string generatedPattern(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "a",     "Z",         "0",         "1",        "-",     ",",          ":",      "=",       "^",       "$",
        ".",     "|",         "|",         "(",        "(",     ")",          ")",      "(?:",     "(?=",     "(?!",
        "(?",    "[",         "[^",        "]",        "]",     "{",          "}",      "{2}",     "{1,}",    "{0,2}",
        "{2,1}", "{,1}",      "{1",        "*",        "+",     "?",          "\\",     "\\1",     "\\2",     "\\0",
        "\\b",   "\\B",       "\\d",       "\\W",      "\\c",   "\\x4",       "\\x41",  "\\u00e9", "\\u3055", "\\.",
        "\\k",   "[:alpha:]", "[:ALPHA:]", "[:nope:]", "[.a.]", "[.hyphen.]", "[.zz.]", "[=a=]",   "[:",      ":]",
        "\xc3",  "\xa9",      "\0"s,       "\\\xc3",   "a-z",   "z-a",        "\\w-",   "-\\d",    "a-\\x41"};
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::string pattern;
    const int count = std::uniform_int_distribution<int>(1, 8)(random);
    for (int i = 0; i < count; ++i) pattern += pieces[piece(random)];
    return pattern;
}

bool compiles(const std::string& pattern) {
    try {
        std::regex(pattern, std::regex_constants::icase);
        return true;
    } catch (const std::regex_error&) {
        return false;
    }
}

int settingOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::atoi(value);
}

// QUORVANT_LEXER_ITERATIONS and QUORVANT_LEXER_SEED make a longer or other run.
TEST(PatternLexer, AcceptsExactlyWhatTheEngineCompiles) {
    std::mt19937 random(static_cast<unsigned>(settingOr("QUORVANT_LEXER_SEED", 20261208)));
    const int iterations = settingOr("QUORVANT_LEXER_ITERATIONS", 8000);
    int valid = 0;
    for (int i = 0; i < iterations; ++i) {
        const std::string pattern = generatedPattern(random);
        const bool accepted = lexPattern(pattern).valid();
        ASSERT_EQ(accepted, compiles(pattern)) << testing::PrintToString(pattern);
        valid += accepted;
    }
    // Both answers must be well represented for the comparison to mean anything.
    EXPECT_GT(valid, iterations / 10);
    EXPECT_LT(valid, iterations - iterations / 10);
}

TEST(WideEscapes, AreTheCharacterOutsideAClassAndRefusedInside) {
    Substitution substitution(
        ReplacementRules{{"\\u3055+", "<sa>"}, {"\\u00e9t\\u00e9", "summer"}, {"[\\u0061]b", "x"}});
    EXPECT_EQ(substitution.apply("\xe3\x81\x95\xe3\x81\x95 U \xc3\xa9t\xc3\xa9 ab"), "<sa> U summer x");
    try {
        Substitution(ReplacementRules{{"[\\u3055\\u3056]", "x"}}).apply("text");
        FAIL() << "no exception";
    } catch (const std::regex_error& error) {
        EXPECT_NE(std::string(error.what()).find("outside the class"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("[\\u3055\\u3056]"), std::string::npos) << error.what();
    }
}

}  // namespace
