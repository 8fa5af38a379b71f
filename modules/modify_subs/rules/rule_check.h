#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"
#include "rules/text_rewriter.h"

// One rule of a list as the rewriter will apply it, with the engine's verdict.
struct RuleCheck {
    std::string problem;  // the engine's message; empty when the pattern compiles
    // Mistakes (rule_mistakes.h), then, byte-wise, places that work on single bytes of a character.
    std::vector<std::string> warnings;
    // An earlier rule that rewrites every text this one could match first (rule_shadows.h).
    std::optional<std::size_t> shadowedBy;
};

struct CheckedRules {
    std::vector<RuleCheck> rules;  // in the list's order
    // The whole list compiled in the mode, when every rule passed.
    std::optional<TextRewriter> rewriter;
};

// Every rule of `rules`, compiled as the rewriter compiles it (character-wise when
// `unicode`), so a pattern passes here exactly when it passes there.
CheckedRules checkRules(const RuleSequence& rules, bool unicode = false);
