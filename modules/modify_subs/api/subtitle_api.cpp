#include "api/subtitle_api.h"

#include <stdexcept>

#include "document/format_error.h"
#include "document/libass_handles.h"
#include "io/checked_output.h"
#include "io/input_file.h"
#include "stack/large_stack.h"
#include "stack/recursion_budget.h"
#include "text/utf8_text.h"

namespace {

constexpr std::size_t kCallerStackTextBytes = 64 << 10;

// The document of `data`; an ASS script also has to be one that libass reads.
SubtitleDocument documentOf(std::string data, SubtitleFormat format, const std::string& name) {
    try {
        SubtitleDocument document = readDocument(std::move(data), format);
        if (document.format == SubtitleFormat::Ass) {
            const AssLibrary library = startQuietLibrary();
            if (!library) throw std::runtime_error("Failed to initialize libass");
            if (!readTrackMemory(*library, document.text)) throw SubtitleFormatError("Failed to parse the ASS file.");
        }
        return document;
    } catch (SubtitleFormatError& refused) {
        // The reader had bytes; the caller knows whose.
        refused.setPath(name);
        throw;
    }
}

PreviewResult changesIn(const SubtitleDocument& document, CompiledRules& rules, RewriteMode mode) {
    CompiledRules::Borrowed rewriter = rules.borrow(mode);
    PreviewResult result;
    result.format = document.format;
    for (const TextSpan& span : document.spans) {
        std::string before = spanText(document.text, span);
        std::string after = rewriter->apply(before, tagSyntaxOf(document.format));
        if (after != before) {
            result.changes.push_back(
                {span.key, withValidUtf8(before), withValidUtf8(after), rewriter->lastChangedBy()});
        }
    }
    result.count = rewriter->count();
    return result;
}

// The export document, written from the texts themselves. Without rules a text the
// file holds as it is stays in the document's bytes, so a long cue is held once.
void writeExport(const std::string& output, const SubtitleDocument& document, TextRewriter& rewriter) {
    std::vector<std::string> copies;
    // Reserved whole, so that the members' views of its texts never move.
    copies.reserve(document.spans.size());
    std::vector<JsonMember> members;
    members.reserve(document.spans.size());
    std::vector<std::string> keys = exportKeys(document.spans);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const TextSpan& span = document.spans[i];
        const std::optional<std::string_view> inPlace =
            rewriter.hasRules() ? std::nullopt : spanTextInPlace(document.text, span);
        if (inPlace) {
            rewriter.countUnchanged(1);
            members.push_back({std::move(keys[i]), *inPlace});
        } else {
            members.push_back({std::move(keys[i]), copies.emplace_back(rewriter.apply(spanText(document.text, span),
                                                                                      tagSyntaxOf(document.format)))});
        }
    }
    writeOutputMembers(output, std::move(members));
}

FilePass passOn(PassKind kind, SubtitleDocument document, const std::string& output, CompiledRules& rules,
                RewriteMode mode) {
    CompiledRules::Borrowed rewriter = rules.borrow(mode);
    const SubtitleFormat format = document.format;
    if (kind == PassKind::Rewrite) {
        writeOutput(output, rewriteDocument(std::move(document), *rewriter));
    } else {
        writeExport(output, document, *rewriter);
    }
    return {PassResult{output, rewriter->count()}, format};
}

}  // namespace

std::string readSubtitleFile(const std::string& subfile) { return readInputBytes(subfile); }

FilePass passOnBytes(PassKind kind, std::string data, SubtitleFormat format, const std::string& name,
                     const std::string& output, CompiledRules& rules, RewriteMode mode) {
    rules.requireValid(mode.unicode);
    // Regexes recurse per text byte, as in the module's passes.
    return onLargeStack([&] { return passOn(kind, documentOf(std::move(data), format, name), output, rules, mode); });
}

RewrittenBytes rewriteBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                            RewriteMode mode) {
    rules.requireValid(mode.unicode);
    return onLargeStack([&] {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        SubtitleDocument document = documentOf(std::move(data), format, name);
        const SubtitleFormat read = document.format;
        std::string bytes = rewriteDocument(std::move(document), *rewriter);
        return RewrittenBytes{std::move(bytes), rewriter->count(), read};
    });
}

ExportedTexts exportTexts(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                          RewriteMode mode) {
    rules.requireValid(mode.unicode);
    return onLargeStack([&] {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        const SubtitleDocument document = documentOf(std::move(data), format, name);
        auto texts = rewrittenTexts(document, *rewriter);
        for (auto& [key, text] : texts) text = withValidUtf8(text);
        return ExportedTexts{std::move(texts), rewriter->count(), document.format};
    });
}

PreviewResult previewBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                           RewriteMode mode) {
    rules.requireValid(mode.unicode);
    return onLargeStack([&] { return changesIn(documentOf(std::move(data), format, name), rules, mode); });
}

std::vector<std::string> applyRules(std::vector<std::string> texts, CompiledRules& rules, RewriteMode mode,
                                    TagSyntax tags) {
    rules.requireValid(mode.unicode);
    const auto rewriteAll = [&](std::vector<std::string> batch) {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        for (std::string& text : batch) text = rewriter->apply(std::move(text), tags);
        return batch;
    };
    // A few short texts mostly fit the caller's own stack, which spares starting a
    // thread per call; the recursion budget says when they don't.
    std::size_t bytes = 0;
    for (const std::string& text : texts) bytes += text.size();
    if (bytes <= kCallerStackTextBytes) {
        try {
            return rewriteAll(texts);
        } catch (const RecursionBudgetExceeded&) {
        }
    }
    return onLargeStack([&] { return rewriteAll(std::move(texts)); });
}

TagSyntax tagSyntaxNamed(const std::string& name) {
    if (name == "ass") return TagSyntax::Ass;
    if (name == "srt") return TagSyntax::SubRip;
    if (name == "vtt") return TagSyntax::WebVtt;
    return TagSyntax::None;
}
