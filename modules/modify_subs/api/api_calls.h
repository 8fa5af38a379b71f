#pragma once

// The API's calls with their failure handed back as a value, so that a binding
// can release its interpreter lock around them and still raise the right error.

#include <string>
#include <utility>
#include <vector>

#include "api/subtitle_api.h"

enum class FailureKind { Ok, Rule, SubtitleFile, Output, BadWordList, Memory, Other };

struct ApiFailure {
    FailureKind kind = FailureKind::Ok;
    std::string message;
    std::string subject;  // the pattern of a rule error, the path of an output error
    int error = 0;        // errno of an output error, when the system gave one
};

ApiFailure tryReadSubtitleFile(const std::string& subfile, std::string& bytes);
// Takes `data` over, leaving it empty, so that a file's bytes are held once.
ApiFailure tryPassOnBytes(PassKind kind, std::string& data, SubtitleFormat format, const std::string& output,
                          CompiledRules& rules, RewriteMode mode, FilePass& result);
ApiFailure tryRewriteBytes(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                           RewrittenBytes& result);
ApiFailure tryExportTexts(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                          ExportedTexts& result);
ApiFailure tryPreviewBytes(const std::string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                           PreviewResult& result);
// The outputs of a pass done in memory, put in place as the passes put theirs.
ApiFailure tryWriteOutput(const std::string& output, const std::string& content);
ApiFailure tryApplyRules(std::vector<std::string>& texts, CompiledRules& rules, RewriteMode mode, TagSyntax tags);
// "ass", "srt" and "vtt" name their tags; anything else none.
TagSyntax tagSyntaxNamed(const std::string& name);

// A word list from its JSON document, read as the module reads a word-list file.
ApiFailure tryParseWords(const std::string& document, std::vector<WordListEntry>& entries);
ApiFailure tryParseRuleValue(const std::string& pattern, const std::string& value, WordListEntry& entry);
