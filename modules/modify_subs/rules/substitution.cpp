#include "rules/substitution.h"

#include <algorithm>
#include <locale>
#include <optional>
#include <regex>
#include <utility>
#include <vector>

#include "pattern/pattern_lexer.h"
#include "pattern/pattern_literals.h"
#include "rules/case_fold.h"
#include "rules/case_shape.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "rules/literal_replace.h"
#include "rules/literal_scanner.h"
#include "rules/rule_error.h"
#include "rules/rule_regex.h"
#include "stack/recursion_budget.h"

namespace {

// The one place where a rule's regex runs over a text.
std::string replaceByRegex(const std::string& text, const RuleEngineRegex& expression, const std::string& replacement,
                           LetterCase letterCase) {
    // The C-string form of the format: a NUL inside the replacement ends it.
    if (letterCase != LetterCase::Preserve) return std::regex_replace(text, expression, replacement.c_str());
    return replaceShaped(text, expression, replacement, std::use_facet<std::ctype<char>>(std::locale::classic()));
}

// A plain literal is replaced directly; any other pattern through its regex, and
// only when the text holds one of the literals that all its matches contain.
struct Rule {
    std::string pattern;  // as written, for messages
    std::string compiledPattern;
    std::string replacement;
    LetterCase letterCase = LetterCase::Insensitive;
    std::vector<std::string> requiredLiterals;
    std::optional<LiteralReplace> literal;
    std::optional<RuleEngine> compiled;
    // Set at the rule's first text that passes the literal scan, when the pattern
    // translates; std::regex runs the others.
    mutable std::optional<JitRule> jit;  // counts its texts
    bool jitTried = false;
    bool usable = false;  // checked for a NUL

    // Nothing when the text stays as it is.
    std::optional<std::string> rewrite(const std::string& text, const CaseFold& fold,
                                       const JitMatchContext& context) const {
        if (literal) {
            return literal->apply(text, letterCase == LetterCase::Sensitive ? identityFold() : fold);
        }
        if (jit) {
            try {
                std::optional<std::string> rewritten = jit->replace(text, context);
                if (rewritten && *rewritten == text) return std::nullopt;
                return rewritten;
            } catch (const JitGaveUp&) {
                // std::regex gives the same results, or the error that says why not.
            }
        }
        checkRecursionBudget(pattern, compiled->stackDemand, text.size());
        std::string rewritten = replaceByRegex(text, compiled->regex, replacement, letterCase);
        if (rewritten == text) {
            return std::nullopt;
        }
        return rewritten;
    }
};

Rule makeRule(const ReplacementRule& source) {
    const std::string pattern = source.compiledPattern();
    const LexedPattern lexed = lexPattern(pattern);
    Rule rule{source.pattern,
              pattern,
              source.replacement,
              source.letterCase,
              requiredLiterals(lexed),
              std::nullopt,
              std::nullopt,
              std::nullopt,
              false,
              false};
    if (isPlainLiteral(lexed)) {
        rule.requiredLiterals = {pattern};
        rule.literal.emplace(pattern, source.replacement, source.letterCase == LetterCase::Preserve);
    }
    return rule;
}

std::optional<JitRule> jitRuleFor(const Rule& rule, ByteSetCache& byteSets) {
    const std::optional<JitPattern> translated =
        jitPatternFor(rule.compiled->spelled, byteSets, rule.letterCase != LetterCase::Sensitive);
    if (!translated) return std::nullopt;
    std::optional<JitRule> jit = JitRule::compile(*translated, rule.replacement);
    if (jit && rule.letterCase == LetterCase::Preserve) jit->preserveCase();
    return jit;
}

// Where `after` differs from `before`: its bytes between their common start and end.
std::pair<std::size_t, std::size_t> changedBytes(std::string_view before, std::string_view after) {
    const std::size_t shorter = std::min(before.size(), after.size());
    const std::size_t head = static_cast<std::size_t>(
        std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(shorter), after.begin()).first -
        before.begin());
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    return {head, after.size() - tail};
}

}  // namespace

struct Substitution::Rules {
    std::vector<Rule> rules;
    // Set at the first text, so that the folding is that of the locale the regexes
    // are compiled under.
    std::optional<CaseFold> fold;
    std::optional<LiteralScanner> scanner;
    // The translation reads classes and folding as the classic locale has them.
    bool jitAllowed = false;
    std::unique_ptr<JitMatchContext> jitContext;
    ByteSetCache byteSets;

    void prepare() {
        fold = caseFoldOf(std::locale());
        jitAllowed = std::locale() == std::locale::classic();
        jitContext = std::make_unique<JitMatchContext>();
        std::vector<std::vector<std::string>> literals;
        literals.reserve(rules.size());
        for (const Rule& rule : rules) {
            literals.push_back(rule.requiredLiterals);
        }
        scanner.emplace(literals, *fold);
    }
};

Substitution::Substitution(const RuleSequence& rules) : _rules(std::make_unique<Rules>()) {
    _rules->rules.reserve(rules.size());
    for (const ReplacementRule& rule : rules) {
        _rules->rules.push_back(makeRule(rule));
    }
}

Substitution::Substitution(const ReplacementRules& words) : Substitution(inPatternOrder(words)) {}

Substitution::~Substitution() = default;
Substitution::Substitution(Substitution&&) noexcept = default;
Substitution& Substitution::operator=(Substitution&&) noexcept = default;

std::string Substitution::apply(const std::string& text, std::vector<std::size_t>* changedBy) {
    if (!_rules->scanner) {
        _rules->prepare();
    }
    LiteralScanner& scanner = *_rules->scanner;
    std::string modifiedText = text;
    scanner.scan(modifiedText);
    for (std::size_t index = 0; index < _rules->rules.size(); ++index) {
        Rule& rule = _rules->rules[index];
        // Refused at its first text, in order, as a pattern the regex refuses is.
        if (!rule.usable) {
            requireNoNul(rule.pattern, rule.replacement);
            rule.usable = true;
        }
        if (!rule.literal && !rule.compiled) {
            rule.compiled.emplace(compileRuleEngine(rule.compiledPattern, rule.letterCase != LetterCase::Sensitive));
        }
        if (!rule.requiredLiterals.empty() && !scanner.found(index)) {
            continue;
        }
        if (!rule.literal && !rule.jitTried) {
            rule.jitTried = true;
            if (_rules->jitAllowed) rule.jit = jitRuleFor(rule, _rules->byteSets);
        }
        if (std::optional<std::string> rewritten = rule.rewrite(modifiedText, *_rules->fold, *_rules->jitContext)) {
            const auto [from, to] = changedBytes(modifiedText, *rewritten);
            modifiedText = std::move(*rewritten);
            scanner.rescanChanged(modifiedText, from, to);
            if (changedBy) changedBy->push_back(index);
        }
    }
    return modifiedText;
}
