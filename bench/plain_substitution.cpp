// Benchmark builds only (QUORVANT_PLAIN_SUBSTITUTION): the unoptimised baseline,
// the reference substitution, which compiles every rule afresh for every text.
#include <utility>

#include "rules/reference_substitution.h"
#include "rules/substitution.h"

struct Substitution::Rules {
    WordList words;
};

Substitution::Substitution(const WordList& words) : _rules(std::make_unique<Rules>(Rules{words})) {}

Substitution::~Substitution() = default;
Substitution::Substitution(Substitution&&) noexcept = default;
Substitution& Substitution::operator=(Substitution&&) noexcept = default;

std::string Substitution::apply(const std::string& text) { return referenceSubstitution(_rules->words, text); }
