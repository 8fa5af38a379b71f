// Benchmark builds only (QUORVANT_PLAIN_SUBSTITUTION): the unoptimised baseline,
// the reference substitution, which compiles every rule afresh for every text.
#include <utility>

#include "rules/reference_substitution.h"
#include "rules/substitution.h"

struct Substitution::Rules {
    ReplacementRules words;
};

// The module's lists only: rules in pattern order, without options.
Substitution::Substitution(const RuleSequence& rules) : _rules(std::make_unique<Rules>()) {
    for (const ReplacementRule& rule : rules) _rules->words[rule.pattern] = rule.replacement;
}

Substitution::Substitution(const ReplacementRules& words) : _rules(std::make_unique<Rules>(Rules{words})) {}

Substitution::~Substitution() = default;
Substitution::Substitution(Substitution&&) noexcept = default;
Substitution& Substitution::operator=(Substitution&&) noexcept = default;

std::string Substitution::apply(const std::string& text, std::vector<std::size_t>* changedBy) {
    return referenceSubstitution(_rules->words, text, changedBy);
}
