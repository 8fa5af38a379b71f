#include "rules/unicode_substitution.h"

#include <algorithm>
#include <locale>
#include <optional>
#include <regex>
#include <stdexcept>
#include <vector>

#include "pattern/pattern_lexer.h"
#include "pattern/pattern_literals.h"
#include "rules/case_fold.h"
#include "rules/case_shape.h"
#include "rules/ecmascript_space_traits.h"
#include "rules/jit_pattern.h"
#include "rules/jit_rule.h"
#include "rules/literal_replace.h"
#include "rules/literal_scanner.h"
#include "rules/pattern_guard.h"
#include "rules/substitution.h"
#include "stack/recursion_budget.h"
#include "text/utf8_text.h"

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAscii(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

std::string narrowedAscii(std::wstring_view text) {
    std::string narrow(text.size(), '\0');
    std::transform(text.begin(), text.end(), narrow.begin(), [](wchar_t c) { return static_cast<char>(c); });
    return narrow;
}

// Folded as the wide regex folds under icase: the ctype facet's tolower, per code point.
std::wstring foldedWide(std::wstring text, const std::ctype<wchar_t>& ctype) {
    ctype.tolower(text.data(), text.data() + text.size());
    return text;
}

// A rule whose pattern or replacement is not UTF-8 has no characters to match or
// write; refusing it keeps every result valid UTF-8.
std::wstring wideOrRefuse(const std::string& utf8, const std::string& what, const std::string& pattern) {
    std::optional<std::wstring> wide = wideFromUtf8(utf8);
    if (!wide) throw std::runtime_error("The " + what + " of the rule " + pattern + " is not valid UTF-8");
    return std::move(*wide);
}

struct WideRule {
    std::string pattern;  // as compiled
    LetterCase letterCase = LetterCase::Insensitive;
    WideRegex expression;
    std::wstring replacement;
    std::string byteReplacement;
    StackDemand stackDemand;
    // Folded UTF-8 literals of which every match holds one; empty when unsure.
    std::vector<std::string> requiredLiterals;
    // Set for a plain ASCII literal: on ASCII text the locale folds it as ASCII, so
    // it is replaced as the byte-wise rules replace it, without a regex.
    std::optional<LiteralReplace> asciiLiteral;
    // An ASCII pattern means on ASCII text what it means byte-wise: it may run there
    // on the JIT as a byte-wise rule, set at its first ASCII text.
    bool asciiPattern = false;
    bool asciiJitTried = false;
    std::optional<JitRule> asciiJit;
};

// The byte-wise literal analysis reads a quantifier after a multi-byte character
// as applying to its last byte, so its literals hold for characters only when the
// pattern is ASCII or a plain literal.
std::vector<std::string> characterLiterals(const std::string& pattern, const std::ctype<wchar_t>& ctype) {
    std::vector<std::string> literals;
    if (isPlainLiteral(pattern)) {
        literals = {pattern};
    } else if (isAscii(pattern)) {
        literals = requiredLiterals(pattern);
    }
    for (std::string& literal : literals) {
        std::optional<std::wstring> wide = wideFromUtf8(literal);
        if (!wide) return {};
        literal = utf8FromWide(foldedWide(std::move(*wide), ctype));
    }
    return literals;
}

// ASCII bytes and escapes of ASCII characters only; no [=e=] or [.a.], whose
// collation the character-wise locale reads its own way, and no back-reference: with
// traits of its own, libstdc++ compares those by collation, letter case included.
bool isAsciiPattern(const std::string& pattern) {
    if (!isAscii(pattern)) return false;
    const LexedPattern lexed = lexPattern(pattern);
    if (!lexed.valid()) return false;
    for (const PatternToken& token : lexed.tokens) {
        if (token.kind == TokenKind::Escape && (token.symbol == 'x' || token.symbol == 'u') && token.number > 0x7F) {
            return false;
        }
        if (token.kind == TokenKind::NamedClass && token.symbol != ':') return false;
        if (token.kind == TokenKind::BackReference) return false;
    }
    return true;
}

}  // namespace

struct UnicodeSubstitution::Rules {
    std::locale locale{"C.UTF-8"};
    const std::ctype<wchar_t>& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    std::vector<WideRule> rules;
    std::optional<LiteralScanner> scanner;
    CaseFold asciiFold = caseFoldOf(std::locale::classic());
    Substitution byteWise;
    // The byte-wise translation reads classes in the global locale, which must be the classic one.
    bool jitAllowed = std::locale() == std::locale::classic();
    JitMatchContext jitContext;
    ByteSetCache byteSets;

    explicit Rules(const RuleSequence& source) : byteWise(source) {
        rules.reserve(source.size());
        std::vector<std::vector<std::string>> literals;
        for (const ReplacementRule& rule : source) {
            rules.push_back(compile(rule));
            literals.push_back(rules.back().requiredLiterals);
        }
        // Folded literals in folded text: a case-sensitive rule is found where it may match.
        scanner.emplace(literals, identityFold());
    }

    WideRule compile(const ReplacementRule& source) const {
        const std::string pattern = source.compiledPattern();
        const std::string& replacement = source.replacement;
        const bool sensitive = source.letterCase == LetterCase::Sensitive;
        checkBeforeCompiling(pattern);
        WideRule rule{pattern,
                      source.letterCase,
                      {},
                      {},
                      {},
                      regexStackDemand(pattern),
                      characterLiterals(pattern, ctype),
                      std::nullopt,
                      false,
                      false,
                      std::nullopt};
        rule.expression.imbue(locale);
        const std::wstring widePattern = wideOrRefuse(pattern, "pattern", source.pattern);
        rule.expression.assign(widePattern, sensitive ? std::regex_constants::ECMAScript
                                                      : std::regex_constants::ECMAScript | std::regex_constants::icase);
        rule.replacement = wideOrRefuse(replacement, "replacement", source.pattern);
        if (isAscii(pattern) && isPlainLiteral(pattern)) {
            rule.asciiLiteral.emplace(pattern, replacement, source.letterCase == LetterCase::Preserve);
        }
        rule.asciiPattern = jitAllowed && isAsciiPattern(pattern);
        rule.byteReplacement = replacement;
        return rule;
    }

    // Nothing when the rule leaves `text` as it is.
    std::optional<std::wstring> rewrite(WideRule& rule, const std::wstring& text) {
        const bool asciiText = (rule.asciiLiteral || rule.asciiPattern) && isAscii(std::wstring_view(text));
        if (rule.asciiLiteral && asciiText) {
            std::optional<std::string> replaced = rule.asciiLiteral->apply(
                narrowedAscii(text), rule.letterCase == LetterCase::Sensitive ? identityFold() : asciiFold);
            // The replacement was checked to be UTF-8 when the rule was built.
            return replaced ? wideFromUtf8(*replaced) : std::nullopt;
        }
        if (rule.asciiPattern && asciiText) {
            if (!rule.asciiJitTried) {
                rule.asciiJitTried = true;
                const bool ignoreCase = rule.letterCase != LetterCase::Sensitive;
                if (const std::optional<JitPattern> translated = jitPatternFor(rule.pattern, byteSets, ignoreCase)) {
                    rule.asciiJit = JitRule::compile(*translated, rule.byteReplacement);
                    if (rule.asciiJit && rule.letterCase == LetterCase::Preserve) rule.asciiJit->preserveCase();
                }
            }
            if (rule.asciiJit) {
                try {
                    const std::string narrow = narrowedAscii(text);
                    std::optional<std::string> replaced = rule.asciiJit->replace(narrow, jitContext);
                    return replaced && *replaced != narrow ? wideFromUtf8(*replaced) : std::nullopt;
                } catch (const JitGaveUp&) {
                    // The wide regex gives the same, or the error that says why not.
                }
            }
        }
        checkRecursionBudget(rule.pattern, rule.stackDemand, text.size());
        // The C-string form of the format, as the byte-wise rules use it.
        std::wstring rewritten = rule.letterCase == LetterCase::Preserve
                                     ? replaceShaped(text, rule.expression, rule.replacement, ctype)
                                     : std::regex_replace(text, rule.expression, rule.replacement.c_str());
        if (rewritten == text) return std::nullopt;
        return rewritten;
    }

    void scan(const std::wstring& text) { scanner->scan(foldedUtf8(text)); }

    // Most subtitle text is ASCII, which the locale folds as ASCII: no conversions.
    std::string foldedUtf8(const std::wstring& text) const {
        if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x80; })) {
            return utf8FromWide(foldedWide(text, ctype));
        }
        std::string folded(text.size(), '\0');
        std::transform(text.begin(), text.end(), folded.begin(),
                       [](wchar_t c) { return static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c); });
        return folded;
    }
};

UnicodeSubstitution::UnicodeSubstitution(const RuleSequence& rules) : _rules(std::make_unique<Rules>(rules)) {}
UnicodeSubstitution::UnicodeSubstitution(const ReplacementRules& words) : UnicodeSubstitution(inPatternOrder(words)) {}
UnicodeSubstitution::~UnicodeSubstitution() = default;
UnicodeSubstitution::UnicodeSubstitution(UnicodeSubstitution&&) noexcept = default;
UnicodeSubstitution& UnicodeSubstitution::operator=(UnicodeSubstitution&&) noexcept = default;

std::string UnicodeSubstitution::apply(const std::string& text, std::vector<std::size_t>* changedBy) {
    std::optional<std::wstring> wide = wideFromUtf8(text);
    if (!wide) return _rules->byteWise.apply(text, changedBy);
    std::wstring modifiedText = std::move(*wide);
    bool changed = false;
    _rules->scan(modifiedText);
    for (std::size_t index = 0; index < _rules->rules.size(); ++index) {
        WideRule& rule = _rules->rules[index];
        if (!rule.requiredLiterals.empty() && !_rules->scanner->found(index)) continue;
        if (std::optional<std::wstring> rewritten = _rules->rewrite(rule, modifiedText)) {
            modifiedText = std::move(*rewritten);
            changed = true;
            _rules->scan(modifiedText);
            if (changedBy) changedBy->push_back(index);
        }
    }
    // Valid UTF-8 comes back from its code points unchanged: no need to convert.
    return changed ? utf8FromWide(modifiedText) : text;
}
