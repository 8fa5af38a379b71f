#include "rules/jit_rule.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <limits>
#include <locale>
#include <string_view>

#include "rules/case_shape.h"

namespace {

// The JIT's own stack grows to this; a search that needs more runs again in the
// interpreter, whose backtracking lives on the heap.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMost = 8 << 20;
constexpr std::uint32_t kNoLimit = std::numeric_limits<std::uint32_t>::max();
// Longer texts run on the JIT whatever the rule's count (countText).
constexpr std::size_t kLongText = 4096;

// Case folding as std::regex in the classic locale: ASCII only, without UTF. As in
// libstdc++ (not ECMAScript), a back-reference to a group that took no part fails.
constexpr std::uint32_t kCompileOptions = PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;
// Code points of UTF-8 text, with none of PCRE2's own ideas of their classes or case.
constexpr std::uint32_t kCharacterOptions = PCRE2_DOLLAR_ENDONLY | PCRE2_UTF | PCRE2_NEVER_UCP;

// Where the character that starts at `offset` ends.
std::size_t nextCharacter(std::string_view text, std::size_t offset) {
    ++offset;
    while (offset < text.size() && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80) ++offset;
    return offset;
}

struct FreeCode {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct FreeMatchData {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

}  // namespace

void JitMatchContext::FreeContext::operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
void JitMatchContext::FreeStack::operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }

// No limit on backtracking: a pattern that takes long takes as long as std::regex
// would, and the command line's --timeout is the answer to it.
JitMatchContext::JitMatchContext()
    : _context(pcre2_match_context_create(nullptr)),
      _stack(pcre2_jit_stack_create(kJitStackStart, kJitStackMost, nullptr)) {
    if (!_context) throw std::bad_alloc();
    pcre2_set_match_limit(_context.get(), kNoLimit);
    pcre2_set_depth_limit(_context.get(), kNoLimit);
    pcre2_set_heap_limit(_context.get(), kNoLimit);
    if (_stack) pcre2_jit_stack_assign(_context.get(), nullptr, _stack.get());
}

JitMatchContext::~JitMatchContext() = default;

struct JitRule::Compiled {
    std::unique_ptr<pcre2_code, FreeCode> code;
    std::unique_ptr<pcre2_match_data, FreeMatchData> data;
    ReplacementFormat format;
    int captures = 0;
    int textsBeforeJit = 0;
    bool preserveCase = false;
    // The texts are checked UTF-8 before they get here.
    std::uint32_t matchOptions = 0;
    bool characters = false;

    // Without the JIT (an unsupported platform) the interpreter still gives the results.
    // A long text goes to the JIT at once: PCRE2 10.42's interpreter looks for a
    // caseless pattern's last letter in both cases to the text's end at each search,
    // so dense matches on one long line took time in the square of its length.
    void countText(std::size_t length) {
        if (textsBeforeJit < 0) return;
        if (textsBeforeJit-- == 0 || length > kLongText) {
            pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
            textsBeforeJit = -1;
        }
    }

    // Where the match was, with groups shifted by `base`; false when there is none.
    bool search(std::string_view text, std::size_t base, std::size_t offset, std::uint32_t options,
                const JitMatchContext& context) const;
    std::string_view group(std::string_view text, int number) const;
};

std::optional<JitRule> JitRule::compile(const JitPattern& pattern, const std::string& replacement,
                                        int interpretedTexts) {
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    // PCRE2 10.42's start-up optimisations miss matches of patterns that may start
    // without consuming: "(?=a)_*a" finds nothing in "bab", and the JIT finds nothing
    // in "k0" for "(?:k|)[^\r]+?[^\r]".
    const std::uint32_t options =
        (pattern.characters ? kCharacterOptions : kCompileOptions | (pattern.ignoreCase ? PCRE2_CASELESS : 0)) |
        (pattern.startsPlainly ? 0 : PCRE2_NO_START_OPTIMIZE);
    std::unique_ptr<pcre2_code, FreeCode> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.source.data()),
                                                             pattern.source.size(), options, &error, &errorOffset,
                                                             nullptr));
    if (!code) return std::nullopt;
    std::uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    if (static_cast<int>(captures) != pattern.captures) return std::nullopt;
    std::unique_ptr<pcre2_match_data, FreeMatchData> data(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!data) throw std::bad_alloc();
    return JitRule(std::make_unique<Compiled>(
        Compiled{std::move(code), std::move(data), ReplacementFormat(replacement, pattern.captures), pattern.captures,
                 interpretedTexts, false, pattern.characters ? PCRE2_NO_UTF_CHECK : 0u, pattern.characters}));
}

JitRule::JitRule(std::unique_ptr<Compiled> compiled) : _compiled(std::move(compiled)) {}

void JitRule::preserveCase() { _compiled->preserveCase = true; }
JitRule::~JitRule() = default;
JitRule::JitRule(JitRule&&) noexcept = default;
JitRule& JitRule::operator=(JitRule&&) noexcept = default;

bool JitRule::Compiled::search(std::string_view text, std::size_t base, std::size_t offset, std::uint32_t options,
                               const JitMatchContext& context) const {
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data()) + base;
    const std::size_t length = text.size() - base;
    options |= matchOptions;
    int result = pcre2_match(code.get(), subject, length, offset, options, data.get(), context.get());
    if (result == PCRE2_ERROR_JIT_STACKLIMIT) {
        result = pcre2_match(code.get(), subject, length, offset, options | PCRE2_NO_JIT, data.get(), context.get());
    }
    if (result == PCRE2_ERROR_NOMATCH) return false;
    if (result < 0) throw JitGaveUp("PCRE2 error " + std::to_string(result));
    PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    if (base != 0) {
        for (int index = 0; index <= 2 * captures + 1; ++index) {
            if (ovector[index] != PCRE2_UNSET) ovector[index] += base;
        }
    }
    return true;
}

std::string_view JitRule::Compiled::group(std::string_view text, int number) const {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    const PCRE2_SIZE start = ovector[2 * number];
    if (start == PCRE2_UNSET) return {};
    return text.substr(start, ovector[2 * number + 1] - start);
}

// libstdc++'s regex_iterator: after a match the next search starts at its end with
// the text before it known (no ^ there, \b looks back). After an empty match it first
// asks for a longer match at the same place; before any match has moved on, that
// search starts a text of its own there (^ matches, \b sees nothing before). When
// there is none, the search goes on one byte further, or one character on a wide
// string.
std::optional<std::string> JitRule::replace(const std::string& text, const JitMatchContext& context) {
    _compiled->countText(text.size());
    const Compiled& rule = *_compiled;
    const std::string_view whole(text);
    if (!rule.search(whole, 0, 0, 0, context)) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(rule.data.get());
    std::size_t copied = 0;
    bool textBefore = false;
    bool found = true;
    while (found) {
        const std::size_t start = ovector[0];
        const std::size_t end = ovector[1];
        const std::string_view prefix = whole.substr(copied, start - copied);
        out += prefix;
        const std::size_t written = out.size();
        rule.format.appendTo(out, [&](int number) { return rule.group(whole, number); }, prefix, whole.substr(end));
        if (rule.preserveCase) {
            shapeLikeMatch(out, written, whole.substr(start, end - start),
                           std::use_facet<std::ctype<char>>(std::locale::classic()));
        }
        copied = end;
        if (start != end) {
            textBefore = true;
            found = rule.search(whole, 0, end, 0, context);
            continue;
        }
        if (end == whole.size()) break;
        const std::size_t base = textBefore ? 0 : end;
        if (rule.search(whole, base, end - base, PCRE2_ANCHORED | PCRE2_NOTEMPTY_ATSTART, context)) continue;
        textBefore = true;
        found = rule.search(whole, 0, rule.characters ? nextCharacter(whole, end) : end + 1, 0, context);
    }
    out += whole.substr(copied);
    return out;
}
