#pragma once

// A byte-wise rule run by PCRE2's JIT with std::regex_replace's results: its matches
// are the ones std::regex finds (jit_pattern.h), and they are walked as libstdc++'s
// regex_iterator walks them, empty matches included. Backtracking lives on the heap,
// so a long text needs no large stack, and no match limit cuts a search short.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "rules/jit_pattern.h"
#include "rules/replacement_format.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

// PCRE2 gave up on a text (out of memory): the rule asks std::regex instead.
class JitGaveUp : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What every rule of one word list shares while matching; one thread at a time.
class JitMatchContext {
public:
    JitMatchContext();
    ~JitMatchContext();
    JitMatchContext(const JitMatchContext&) = delete;
    JitMatchContext& operator=(const JitMatchContext&) = delete;

    pcre2_real_match_context_8* get() const { return _context.get(); }

private:
    struct FreeContext {
        void operator()(pcre2_real_match_context_8* context) const;
    };
    struct FreeStack {
        void operator()(pcre2_real_jit_stack_8* stack) const;
    };
    std::unique_ptr<pcre2_real_match_context_8, FreeContext> _context;
    std::unique_ptr<pcre2_real_jit_stack_8, FreeStack> _stack;
};

class JitRule {
public:
    // Nothing when PCRE2 refuses the translated pattern. The first `interpretedTexts`
    // texts run in PCRE2's interpreter (same results): a rule that meets few texts
    // does not pay for the JIT's compilation.
    static std::optional<JitRule> compile(const JitPattern& pattern, const std::string& replacement,
                                          int interpretedTexts = kInterpretedTexts);
    static constexpr int kInterpretedTexts = 8;

    ~JitRule();
    JitRule(JitRule&&) noexcept;
    JitRule& operator=(JitRule&&) noexcept;

    // Each replacement then takes its match's letter case (case_shape.h).
    void preserveCase();

    // The text with every match replaced, or nothing when there is no match.
    // Throws JitGaveUp.
    std::optional<std::string> replace(const std::string& text, const JitMatchContext& context);

private:
    struct Compiled;
    explicit JitRule(std::unique_ptr<Compiled> compiled);
    std::unique_ptr<Compiled> _compiled;
};
