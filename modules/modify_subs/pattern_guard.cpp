#include "pattern_guard.h"

#include <climits>
#include <regex>
#include <string_view>

#include "recursion_budget.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the decimal digits at `pos` name a value beyond int; `pos` ends past them.
bool numberTooLarge(std::string_view pattern, std::size_t& pos) {
    while (pos < pattern.size() && pattern[pos] == '0') ++pos;
    const std::size_t start = pos;
    while (pos < pattern.size() && isDigit(pattern[pos])) ++pos;
    const std::string_view digits = pattern.substr(start, pos - start);
    const std::string_view limit = "2147483647";
    return digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit);
}

}  // namespace

void checkBeforeCompiling(const std::string& pattern) {
    bool inBrace = false;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos++];
        if (c == '\\' && pos < pattern.size() && isDigit(pattern[pos])) {
            if (numberTooLarge(pattern, pos)) throw std::regex_error(std::regex_constants::error_backref);
        } else if (c == '\\') {
            ++pos;
        } else if (c == '{' || (inBrace && c == ',')) {
            inBrace = true;
            if (numberTooLarge(pattern, pos)) throw std::regex_error(std::regex_constants::error_badbrace);
        } else if (c == '}') {
            inBrace = false;
        }
    }
    checkCompileBudget(pattern);
}
