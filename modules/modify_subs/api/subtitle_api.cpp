#include "subtitle_api.h"

#include "ass_passes.h"
#include "large_stack.h"
#include "pass_errors.h"
#include "rule_check.h"
#include "srt_passes.h"

void requireValidRules(const WordList& words, bool unicode) {
    for (const RuleCheck& check : checkRules(words, unicode)) {
        if (!check.problem.empty()) throw RuleError(check.pattern, check.problem);
    }
}

PassResult runPass(PassKind kind, const std::string& subfile, const std::string& output, const WordList& words,
                   RewriteMode mode) {
    const bool ass = subfile.ends_with(".ass");
    if (!ass && !subfile.ends_with(".srt")) throw SubtitleFileError("Not an .ass or .srt file");
    requireValidRules(words, mode.unicode);
    const RewriterSource rules = [&] { return TextRewriter(words, mode); };
    // Regexes recurse per text byte, as in the module's passes.
    return onLargeStack([&] {
        if (kind == PassKind::Export)
            return ass ? exportAss(subfile, output, rules) : exportSrt(subfile, output, rules);
        return ass ? rewriteAss(subfile, output, rules, [](std::size_t) {}) : rewriteSrt(subfile, output, rules);
    });
}

std::string applyRules(const std::string& text, const WordList& words, RewriteMode mode, TagSyntax tags) {
    requireValidRules(words, mode.unicode);
    return onLargeStack([&] { return TextRewriter(words, mode).apply(text, tags); });
}
