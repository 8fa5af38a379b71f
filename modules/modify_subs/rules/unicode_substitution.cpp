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
#include "rules/rule_error.h"
#include "rules/substitution.h"
#include "stack/recursion_budget.h"
#include "text/utf8_text.h"

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Up to this many bytes, a text may run on the wide regex while a rule's JIT waits.
constexpr std::size_t kShortText = 4096;

// Which engine a text can run on.
struct TextShape {
    bool ascii = true;
    bool basicPlane = true;  // no four-byte sequence
};

TextShape shapeOf(std::string_view text) {
    TextShape shape;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        shape.ascii = shape.ascii && byte < 0x80;
        shape.basicPlane = shape.basicPlane && byte < 0xF0;
    }
    return shape;
}

// Folded as the wide regex folds under icase: the ctype facet's tolower, per code point.
std::wstring foldedWide(std::wstring text, const std::ctype<wchar_t>& ctype) {
    ctype.tolower(text.data(), text.data() + text.size());
    return text;
}

// The same for valid UTF-8, without a wide copy: the locale folds ASCII as ASCII, and
// most characters of other text to themselves.
std::string foldedUtf8(std::string_view text, const std::ctype<wchar_t>& ctype) {
    std::string folded;
    folded.reserve(text.size());
    while (!text.empty()) {
        const char c = text.front();
        if (static_cast<unsigned char>(c) < 0x80) {
            folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            text.remove_prefix(1);
            continue;
        }
        const std::string_view before = text;
        const auto character = static_cast<wchar_t>(*takeCharacter(text));
        const wchar_t lower = ctype.tolower(character);
        if (lower == character) {
            folded.append(before.substr(0, before.size() - text.size()));
        } else {
            folded += utf8FromWide(std::wstring_view(&lower, 1));
        }
    }
    return folded;
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
    bool characterJitTried = false;
    std::optional<JitRule> characterJit;
    int wideTexts = 0;  // texts run on the wide regex before the character JIT
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
    CodePointSets codePoints{locale};

    // Working out a list's code point sets and compiling its patterns for them costs
    // about as much as a hundred texts on the wide regex: a short file is done first.
    int wideTextsFirst;

    Rules(const RuleSequence& source, int wideTexts) : byteWise(source), wideTextsFirst(wideTexts) {
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
        requireNoNul(source.pattern, replacement);
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
                      std::nullopt,
                      false,
                      std::nullopt,
                      0};
        rule.expression.imbue(locale);
        const std::wstring widePattern = wideOrRefuse(pattern, "pattern", source.pattern);
        rule.expression.assign(widePattern, sensitive ? std::regex_constants::ECMAScript
                                                      : std::regex_constants::ECMAScript | std::regex_constants::icase);
        rule.replacement = wideOrRefuse(replacement, "replacement", source.pattern);
        // Byte-wise shaping would leave the replacement's other letters as they are.
        const bool byteWise = source.letterCase != LetterCase::Preserve || isAscii(replacement);
        if (byteWise && isAscii(pattern) && isPlainLiteral(pattern)) {
            rule.asciiLiteral.emplace(pattern, replacement, source.letterCase == LetterCase::Preserve);
        }
        rule.asciiPattern = byteWise && jitAllowed && isAsciiPattern(pattern);
        rule.byteReplacement = replacement;
        return rule;
    }

    // The rule on PCRE2: byte-wise on ASCII text for an ASCII pattern, character-wise
    // on other text of the Basic Multilingual Plane, the only code points the
    // character sets cover.
    JitRule* jitFor(WideRule& rule, const std::string& text, const TextShape& shape) {
        if (!jitAllowed) return nullptr;
        const bool ignoreCase = rule.letterCase != LetterCase::Sensitive;
        if (shape.ascii && rule.asciiPattern) {
            if (!rule.asciiJitTried) {
                rule.asciiJitTried = true;
                if (const std::optional<JitPattern> translated = jitPatternFor(rule.pattern, byteSets, ignoreCase)) {
                    rule.asciiJit = JitRule::compile(*translated, rule.byteReplacement);
                    if (rule.asciiJit && rule.letterCase == LetterCase::Preserve) rule.asciiJit->preserveCase();
                }
            }
            return rule.asciiJit ? &*rule.asciiJit : nullptr;
        }
        // Shaping a replacement after a match is the wide regex's, with its letters.
        if (!shape.basicPlane || rule.letterCase == LetterCase::Preserve) return nullptr;
        // A long text is worth the JIT at once, and may be too long for the wide regex's stack.
        if (rule.wideTexts < wideTextsFirst && text.size() <= kShortText) {
            ++rule.wideTexts;
            return nullptr;
        }
        if (!rule.characterJitTried) {
            rule.characterJitTried = true;
            if (const std::optional<JitPattern> translated =
                    characterJitPatternFor(rule.pattern, codePoints, ignoreCase)) {
                rule.characterJit = JitRule::compile(*translated, rule.byteReplacement);
            }
        }
        return rule.characterJit ? &*rule.characterJit : nullptr;
    }

    // Nothing when the rule leaves `text` (valid UTF-8) as it is.
    std::optional<std::string> rewrite(WideRule& rule, const std::string& text, const TextShape& shape) {
        if (rule.asciiLiteral && shape.ascii) {
            return rule.asciiLiteral->apply(text,
                                            rule.letterCase == LetterCase::Sensitive ? identityFold() : asciiFold);
        }
        if (JitRule* jit = jitFor(rule, text, shape)) {
            try {
                std::optional<std::string> replaced = jit->replace(text, jitContext);
                if (!replaced || *replaced == text) return std::nullopt;
                return replaced;
            } catch (const JitGaveUp&) {
                // The wide regex gives the same, or the error that says why not.
            }
        }
        // Every rule keeps a text valid UTF-8; should one not, this throws rather than read nothing.
        const std::wstring wide = wideFromUtf8(text).value();
        checkRecursionBudget(rule.pattern, rule.stackDemand, wide.size());
        // The C-string form of the format, as the byte-wise rules use it.
        const std::wstring rewritten = rule.letterCase == LetterCase::Preserve
                                           ? replaceShaped(wide, rule.expression, rule.replacement, ctype)
                                           : std::regex_replace(wide, rule.expression, rule.replacement.c_str());
        if (rewritten == wide) return std::nullopt;
        return utf8FromWide(rewritten);
    }

    // The rules' literals were folded alike.
    void scan(const std::string& text) { scanner->scan(foldedUtf8(text, ctype)); }
};

UnicodeSubstitution::UnicodeSubstitution(const RuleSequence& rules, int wideTextsFirst)
    : _rules(std::make_unique<Rules>(rules, wideTextsFirst)) {}
UnicodeSubstitution::UnicodeSubstitution(const ReplacementRules& words, int wideTextsFirst)
    : UnicodeSubstitution(inPatternOrder(words), wideTextsFirst) {}
UnicodeSubstitution::~UnicodeSubstitution() = default;
UnicodeSubstitution::UnicodeSubstitution(UnicodeSubstitution&&) noexcept = default;
UnicodeSubstitution& UnicodeSubstitution::operator=(UnicodeSubstitution&&) noexcept = default;

std::string UnicodeSubstitution::apply(const std::string& text, std::vector<std::size_t>* changedBy) {
    if (!isValidUtf8(text)) return _rules->byteWise.apply(text, changedBy);
    // Kept as UTF-8 throughout: only a rule left on the wide regex converts it.
    std::string modifiedText = text;
    TextShape shape = shapeOf(modifiedText);
    _rules->scan(modifiedText);
    for (std::size_t index = 0; index < _rules->rules.size(); ++index) {
        WideRule& rule = _rules->rules[index];
        if (!rule.requiredLiterals.empty() && !_rules->scanner->found(index)) continue;
        if (std::optional<std::string> rewritten = _rules->rewrite(rule, modifiedText, shape)) {
            modifiedText = std::move(*rewritten);
            shape = shapeOf(modifiedText);
            _rules->scan(modifiedText);
            if (changedBy) changedBy->push_back(index);
        }
    }
    return modifiedText;
}
