#include "rules/rule_check.h"

#include <regex>

#include "rules/substitution.h"
#include "rules/unicode_substitution.h"
#include "stack/large_stack.h"

namespace {

// The engine's message for a pattern it refuses, "" for one it takes.
std::string problemOf(const std::string& pattern, const std::string& replacement, bool unicode) {
    const WordList rule{{pattern, replacement}};
    try {
        // The character-wise engine compiles when it is built; the byte-wise one on
        // the first text, with exactly the options a pass uses.
        if (unicode) {
            static_cast<void>(UnicodeSubstitution(rule));
        } else {
            Substitution(rule).apply("");
        }
    } catch (const std::regex_error& error) {
        return error.what();
    } catch (const std::runtime_error& error) {
        // Only the character-wise engine refuses a rule that is not UTF-8.
        if (!unicode) throw;
        return error.what();
    }
    return "";
}

// Each character-wise engine loads its locale, which costs more than its rules:
// one engine for the whole list, and one per rule only to find the bad ones.
bool takesEveryRule(const WordList& words, bool unicode) {
    if (!unicode) return false;
    try {
        static_cast<void>(UnicodeSubstitution(words));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::vector<RuleCheck> checkEachRule(const WordList& words, bool unicode) {
    const bool allTaken = takesEveryRule(words, unicode);
    std::vector<RuleCheck> checks;
    checks.reserve(words.size());
    for (const auto& [pattern, replacement] : words) {
        checks.push_back({pattern, replacement, allTaken ? "" : problemOf(pattern, replacement, unicode)});
    }
    return checks;
}

}  // namespace

std::vector<RuleCheck> checkRules(const WordList& words, bool unicode) {
    // Compiling recurses per pattern byte: judge each pattern on the passes' stack.
    return onLargeStack([&] { return checkEachRule(words, unicode); });
}
