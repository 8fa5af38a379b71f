#include "api/api_calls.h"

#include <new>
#include <utility>

#include "io/checked_output.h"
#include "io/file_failures.h"
#include "rules/rule_error.h"

namespace {

template <typename Work>
ApiFailure failureOf(Work work, FailureKind otherwise = FailureKind::Other) {
    try {
        work();
        return {};
    } catch (const RuleError& failure) {
        return {FailureKind::Rule, failure.what(), failure.pattern(), 0};
    } catch (const OutputFileError& failure) {
        return {FailureKind::Output, failure.line(), failure.path(), failure.error()};
    } catch (const SubtitleFileError& failure) {
        return {FailureKind::SubtitleFile, failure.line(), {}, 0};
    } catch (const PassFailure& failure) {
        return {FailureKind::Other, failure.line(), {}, 0};
    } catch (const std::bad_alloc&) {
        return {FailureKind::Memory, "out of memory", {}, 0};
    } catch (const std::exception& failure) {
        return {otherwise, failure.what(), {}, 0};
    }
}

}  // namespace

ApiFailure tryReadSubtitleFile(const std::string& subfile, std::string& bytes) {
    return failureOf([&] { bytes = readSubtitleFile(subfile); });
}

ApiFailure tryPassOnBytes(PassKind kind, std::string& data, SubtitleFormat format, const std::string& output,
                          CompiledRules& rules, RewriteMode mode, FilePass& result) {
    return failureOf([&] { result = passOnBytes(kind, std::move(data), format, output, rules, mode); });
}

ApiFailure tryRewriteBytes(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                           RewrittenBytes& result) {
    return failureOf([&] { result = rewriteBytes(data, format, rules, mode); });
}

ApiFailure tryExportTexts(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                          ExportedTexts& result) {
    return failureOf([&] { result = exportTexts(data, format, rules, mode); });
}

ApiFailure tryPreviewBytes(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                           PreviewResult& result) {
    return failureOf([&] { result = previewBytes(data, format, rules, mode); });
}

ApiFailure tryWriteOutput(const std::string& output, const std::string& content) {
    return failureOf([&] { writeOutput(output, content); });
}

ApiFailure tryApplyRules(std::vector<std::string>& texts, CompiledRules& rules, RewriteMode mode, TagSyntax tags) {
    return failureOf([&] { texts = applyRules(std::move(texts), rules, mode, tags); });
}

ApiFailure tryParseWords(const std::string& document, std::vector<WordListEntry>& entries) {
    return failureOf([&] { entries = readWordListDocument(document); }, FailureKind::BadWordList);
}

ApiFailure tryParseRuleValue(const std::string& pattern, const std::string& value, WordListEntry& entry) {
    return failureOf([&] { entry = ruleFromJsonValue(pattern, value); }, FailureKind::BadWordList);
}

TagSyntax tagSyntaxNamed(const std::string& name) {
    if (name == "ass") return TagSyntax::Ass;
    if (name == "srt") return TagSyntax::SubRip;
    if (name == "vtt") return TagSyntax::WebVtt;
    return TagSyntax::None;
}
