// Benchmark builds only (QUORVANT_PLAIN_SUBSTITUTION): the unoptimised baseline,
// every rule compiled afresh for every text and run through std::regex_replace.
#include <regex>
#include <utility>

#include "substitution.h"

struct Substitution::Rules {
    WordList words;
};

Substitution::Substitution(const WordList& words) : _rules(std::make_unique<Rules>(Rules{words})) {}

Substitution::~Substitution() = default;
Substitution::Substitution(Substitution&&) noexcept = default;
Substitution& Substitution::operator=(Substitution&&) noexcept = default;

std::string Substitution::apply(const std::string& text) {
    std::string modifiedText = text;
    for (const auto& [pattern, replacement] : _rules->words) {
        const std::regex expression(pattern, std::regex_constants::icase);
        modifiedText = std::regex_replace(modifiedText, expression, replacement.c_str());
    }
    return modifiedText;
}
