#include "rules/pattern_guard.h"

#include <climits>
#include <regex>

#include "stack/recursion_budget.h"

namespace {

bool beyondInt(std::int64_t number) { return number > INT_MAX; }

}  // namespace

void checkNumbers(const LexedPattern& lexed) {
    for (const PatternToken& token : lexed.tokens) {
        if (token.kind == TokenKind::BackReference && beyondInt(token.number)) {
            throw std::regex_error(std::regex_constants::error_backref);
        }
        if (token.kind == TokenKind::Quantifier && (beyondInt(token.least) || beyondInt(token.most))) {
            throw std::regex_error(std::regex_constants::error_badbrace);
        }
    }
}

void checkBeforeCompiling(const std::string& pattern) {
    // Cheap, and spares lexing a pattern that could never be compiled.
    checkCompileBudget(pattern);
    checkNumbers(lexPattern(pattern));
}
