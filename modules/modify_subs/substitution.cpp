#include "substitution.h"

Substitution::Substitution(const WordList& words) {
    _rules.reserve(words.size());
    for (const auto& [pattern, replacement] : words) {
        _rules.push_back({pattern, replacement, std::nullopt});
    }
}

std::string Substitution::apply(const std::string& text) {
    std::string modifiedText = text;
    for (Rule& rule : _rules) {
        if (!rule.compiled) {
            rule.compiled.emplace(rule.pattern, std::regex_constants::icase);
        }
        // The C-string form of the format: a NUL inside the replacement ends it.
        modifiedText = std::regex_replace(modifiedText, *rule.compiled, rule.replacement.c_str());
    }
    return modifiedText;
}
