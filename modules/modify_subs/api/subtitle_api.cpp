#include "subtitle_api.h"

#include <json/value.h>

#include "format_error.h"
#include "input_file.h"
#include "large_stack.h"
#include "libass_handles.h"
#include "pass_errors.h"
#include "pass_output.h"
#include "rule_check.h"

namespace {

SubtitleFormat formatOfFile(const std::string& subfile) {
    const std::optional<SubtitleFormat> format = formatOfName(subfile);
    if (!format) throw SubtitleFileError("not an .ass, .ssa, .srt or .vtt file");
    return *format;
}

std::string readSubtitleFile(const std::string& subfile) {
    InputFile file = readInputFile(subfile);
    if (file.failure == ReadFailure::CannotOpen) throw SubtitleFileError("cannot open the file");
    if (!file) throw SubtitleFileError("cannot read the file");
    return std::move(file.bytes);
}

// The document of `data`; an ASS script also has to be one that libass reads.
SubtitleDocument documentOf(std::string data, SubtitleFormat format) {
    try {
        SubtitleDocument document = readDocument(std::move(data), format);
        if (format == SubtitleFormat::Ass) {
            const AssLibrary library = startQuietLibrary();
            if (!library) throw PassFailure("Failed to initialize libass");
            if (!readTrackMemory(*library, document.text)) throw SubtitleFileError("Failed to parse the ASS file.");
        }
        return document;
    } catch (const SubtitleFormatError& refused) {
        throw SubtitleFileError(refused.what());
    }
}

std::string rewritten(SubtitleDocument document, TextRewriter& rewriter) {
    try {
        return rewriteDocument(std::move(document), rewriter);
    } catch (const SubtitleFormatError& unwritable) {
        throw PassFailure(unwritable.what());
    }
}

}  // namespace

void requireValidRules(const WordList& words, bool unicode) {
    for (const RuleCheck& check : checkRules(words, unicode)) {
        if (!check.problem.empty()) throw RuleError(check.pattern, check.problem);
    }
}

PassResult runPass(PassKind kind, const std::string& subfile, const std::string& output, const WordList& words,
                   RewriteMode mode) {
    const SubtitleFormat format = formatOfFile(subfile);
    requireValidRules(words, mode.unicode);
    // Regexes recurse per text byte, as in the module's passes.
    return onLargeStack([&] {
        SubtitleDocument document = documentOf(readSubtitleFile(subfile), format);
        TextRewriter rewriter(words, mode);
        if (kind == PassKind::Rewrite) {
            writeOutput(output, rewritten(std::move(document), rewriter));
        } else {
            Json::Value texts;
            for (auto& [key, text] : rewrittenTexts(document, rewriter)) texts[key] = std::move(text);
            writeOutputDocument(output, std::move(texts));
        }
        return PassResult{output, rewriter.count()};
    });
}

std::string rewriteBytes(std::string data, SubtitleFormat format, const WordList& words, RewriteMode mode) {
    requireValidRules(words, mode.unicode);
    return onLargeStack([&] {
        TextRewriter rewriter(words, mode);
        return rewritten(documentOf(std::move(data), format), rewriter);
    });
}

std::vector<std::pair<std::string, std::string>> exportTexts(std::string data, SubtitleFormat format,
                                                             const WordList& words, RewriteMode mode) {
    requireValidRules(words, mode.unicode);
    return onLargeStack([&] {
        TextRewriter rewriter(words, mode);
        return rewrittenTexts(documentOf(std::move(data), format), rewriter);
    });
}

PreviewResult previewFile(const std::string& subfile, const WordList& words, RewriteMode mode) {
    const SubtitleFormat format = formatOfFile(subfile);
    requireValidRules(words, mode.unicode);
    return onLargeStack([&] {
        const SubtitleDocument document = documentOf(readSubtitleFile(subfile), format);
        TextRewriter rewriter(words, mode);
        PreviewResult result;
        for (const TextSpan& span : document.spans) {
            ++result.textCount;
            std::string before = spanText(document.text, span);
            std::string after = rewriter.apply(before, tagSyntaxOf(format));
            if (after != before) result.changes.push_back({span.key, std::move(before), std::move(after)});
        }
        return result;
    });
}

std::string applyRules(const std::string& text, const WordList& words, RewriteMode mode, TagSyntax tags) {
    requireValidRules(words, mode.unicode);
    return onLargeStack([&] { return TextRewriter(words, mode).apply(text, tags); });
}
