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

// Texts up to this long mostly fit the caller's own stack whatever the rules; the
// recursion budget says when they don't.
constexpr std::size_t kCallerStackTextBytes = 64 << 10;

bool textsFitCallerStack(const SubtitleDocument& document) {
    for (const TextSpan& span : document.spans) {
        if (span.end - span.begin > kCallerStackTextBytes) return false;
    }
    return true;
}

// The document of `data`; an ASS script also has to be one that libass reads.
SubtitleDocument documentOf(std::string data, SubtitleFormat format, const std::string& name) {
    try {
        SubtitleDocument document = readDocument(std::move(data), format);
        if (document.format == SubtitleFormat::Ass) {
            const AssLibrary library = startQuietLibrary();
            if (!library) throw std::runtime_error("Failed to initialize libass");
            if (!libassReadsScript(*library, document.text)) throw SubtitleFormatError("Failed to parse the ASS file.");
        }
        return document;
    } catch (SubtitleFormatError& refused) {
        // The reader had bytes; the caller knows whose.
        refused.setPath(name);
        throw;
    }
}

PreviewResult changesIn(const SubtitleDocument& document, CompiledRules& rules, RewriteMode mode, bool edits) {
    CompiledRules::Borrowed rewriter = rules.borrow(mode);
    PreviewResult result;
    result.format = document.format;
    std::vector<std::string> keys = exportKeys(document.spans);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::string before = spanText(document.text, document.spans[i]);
        std::string after = rewriter->apply(before, tagSyntaxOf(document.format));
        if (after == before) continue;
        std::optional<std::string> written = edits ? writtenChange(document, document.spans[i], after) : std::nullopt;
        TextChange& change = result.changes.emplace_back(TextChange{
            std::move(keys[i]), withValidUtf8(before), withValidUtf8(after), rewriter->lastChangedBy(), 0, 0, {}});
        if (written) {
            change.begin = document.spans[i].begin;
            change.end = document.spans[i].end;
            change.written = std::move(*written);
        }
    }
    result.count = rewriter->count();
    return result;
}

// The export document, written from the texts themselves. Without rules a text the
// file holds as it is stays in the document's bytes, so a long cue is held once.
void writeExport(const std::string& output, unsigned permissionCeiling, const SubtitleDocument& document,
                 TextRewriter& rewriter) {
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
    writeOutputMembers(output, std::move(members), permissionCeiling);
}

// Leaves `document` whole when a rule throws, for a second try.
FilePass passOn(PassKind kind, SubtitleDocument& document, const std::string& output, unsigned permissionCeiling,
                CompiledRules& rules, RewriteMode mode) {
    CompiledRules::Borrowed rewriter = rules.borrow(mode);
    const SubtitleFormat format = document.format;
    if (kind == PassKind::Rewrite) {
        // Streamed: the output never stands whole beside the file's text.
        writeOutputPieces(
            output, [&](const PieceWriter& write) { writeRewrittenDocument(std::move(document), *rewriter, write); },
            permissionCeiling);
    } else {
        writeExport(output, permissionCeiling, document, *rewriter);
    }
    return {PassResult{output, rewriter->count()}, format};
}

}  // namespace

std::string readSubtitleFile(const std::string& subfile) { return readInputBytes(subfile); }

FilePass passOnBytes(PassKind kind, std::string data, SubtitleFormat format, const std::string& name,
                     const std::string& output, unsigned permissionCeiling, CompiledRules& rules, RewriteMode mode) {
    rules.requireValid(mode.unicode);
    SubtitleDocument document = documentOf(std::move(data), format, name);
    // Regexes recurse per text byte, as in the module's passes.
    return onCallerOrLargeStack(textsFitCallerStack(document),
                                [&] { return passOn(kind, document, output, permissionCeiling, rules, mode); });
}

RewrittenBytes rewriteBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                            RewriteMode mode, const std::vector<std::size_t>& kept) {
    rules.requireValid(mode.unicode);
    SubtitleDocument document = documentOf(std::move(data), format, name);
    return onCallerOrLargeStack(textsFitCallerStack(document), [&] {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        const SubtitleFormat read = document.format;
        std::string bytes = rewriteDocument(std::move(document), *rewriter, kept);
        return RewrittenBytes{std::move(bytes), rewriter->count(), read};
    });
}

ExportedTexts exportTexts(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                          RewriteMode mode) {
    rules.requireValid(mode.unicode);
    const SubtitleDocument document = documentOf(std::move(data), format, name);
    return onCallerOrLargeStack(textsFitCallerStack(document), [&] {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        auto texts = rewrittenTexts(document, *rewriter);
        for (auto& [key, text] : texts) text = withValidUtf8(text);
        return ExportedTexts{std::move(texts), rewriter->count(), document.format};
    });
}

PreviewResult previewBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                           RewriteMode mode, bool edits) {
    rules.requireValid(mode.unicode);
    const SubtitleDocument document = documentOf(std::move(data), format, name);
    return onCallerOrLargeStack(textsFitCallerStack(document), [&] { return changesIn(document, rules, mode, edits); });
}

std::vector<DocumentText> documentTexts(std::string data, SubtitleFormat format, const std::string& name) {
    const SubtitleDocument document = documentOf(std::move(data), format, name);
    std::vector<std::string> keys = exportKeys(document.spans);
    std::vector<DocumentText> texts;
    texts.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const TextSpan& span = document.spans[i];
        texts.push_back({std::move(keys[i]), withValidUtf8(spanText(document.text, span)),
                         withValidUtf8(document.text.substr(span.headingBegin, span.headingEnd - span.headingBegin))});
    }
    return texts;
}

std::vector<std::string> applyRules(std::vector<std::string> texts, CompiledRules& rules, RewriteMode mode,
                                    TagSyntax tags) {
    rules.requireValid(mode.unicode);
    bool fits = true;
    for (const std::string& text : texts) fits = fits && text.size() <= kCallerStackTextBytes;
    // The texts stay as they are until every one is rewritten, for a second try.
    return onCallerOrLargeStack(fits, [&] {
        CompiledRules::Borrowed rewriter = rules.borrow(mode);
        std::vector<std::string> rewritten;
        rewritten.reserve(texts.size());
        for (const std::string& text : texts) rewritten.push_back(rewriter->apply(text, tags));
        return rewritten;
    });
}

TagSyntax tagSyntaxNamed(const std::string& name) {
    if (name == "ass") return TagSyntax::Ass;
    if (name == "srt") return TagSyntax::SubRip;
    if (name == "vtt") return TagSyntax::WebVtt;
    if (const std::optional<SubtitleFormat> format = formatNamed(name)) return tagSyntaxOf(*format);
    return TagSyntax::None;
}
