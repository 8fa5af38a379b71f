#pragma once

// The passes for library callers: nothing is printed, every failure is thrown as
// its own type (caught_failure.h lists them). Files are read as documents
// (subtitle_document.h): every byte outside a changed text is kept.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/pass_result.h"
#include "document/subtitle_document.h"
#include "io/word_list_file.h"
#include "rules/compiled_rules.h"
#include "rules/text_rewriter.h"
#include "text/tag_runs.h"

enum class PassKind { Export, Rewrite };

// Each call below takes its rules compiled (compiled_rules.h): the list's checks
// and regexes are made once, by the first call in a mode, for all later ones.

// A subtitle file's bytes, read whole; InputFileError when they can't be.
std::string readSubtitleFile(const std::string& subfile);

// The pass of `kind` on a file's bytes, writing `output` with no permission bit
// outside `permissionCeiling` (see writeWholeFile). The bytes are UTF-8 (a
// byte-order mark may lead), or what c_quorvant/text_encoding.py made of the file.
// `name` is the file's, for the SubtitleFormatError of bytes its reader refuses;
// the calls on bytes alone take "".
struct FilePass {
    PassResult result;
    SubtitleFormat format = SubtitleFormat::Ass;  // as the file's start showed it
};
FilePass passOnBytes(PassKind kind, std::string data, SubtitleFormat format, const std::string& name,
                     const std::string& output, unsigned permissionCeiling, CompiledRules& rules, RewriteMode mode);

// The same passes on a file's bytes in memory, with the texts read and changed.
// Texts handed back (export, preview) are valid UTF-8, each stray byte U+FFFD,
// as in an export document.
struct RewrittenBytes {
    std::string bytes;
    RewriteCount texts;
    SubtitleFormat format = SubtitleFormat::Ass;
};
struct ExportedTexts {
    std::vector<std::pair<std::string, std::string>> texts;  // key and rewritten text, in file order
    RewriteCount count;
    SubtitleFormat format = SubtitleFormat::Ass;
};
// `kept`: the positions (ascending, from 0) of texts left as they are.
RewrittenBytes rewriteBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                            RewriteMode mode, const std::vector<std::size_t>& kept = {});
ExportedTexts exportTexts(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                          RewriteMode mode);

// One text that the rules would change, under its export key, and the rules that
// change it (their indexes in the order the rules apply). When edits are asked for,
// the bytes [begin, end) of the text read are replaced by `written` in the copy; a
// change the copy writes as it was read has begin == end and nothing written.
struct TextChange {
    std::string key;
    std::string before;
    std::string after;
    std::vector<std::size_t> rules;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string written;
};

struct PreviewResult {
    RewriteCount count;
    std::vector<TextChange> changes;
    SubtitleFormat format = SubtitleFormat::Ass;
};

// What a rewrite of the file, or of a file's bytes, would change; writes nothing.
// With `edits`, each change also says which bytes the copy replaces, and the call
// refuses what the rewrite refuses (a SubRip text readers would take for a cue).
PreviewResult previewBytes(std::string data, SubtitleFormat format, const std::string& name, CompiledRules& rules,
                           RewriteMode mode, bool edits = false);

// Each text of a file's bytes as the passes read it, in file order: its export
// key, the text (valid UTF-8) and the bytes that time it (TextSpan's heading).
struct DocumentText {
    std::string key;
    std::string text;
    std::string heading;
};
std::vector<DocumentText> documentTexts(std::string data, SubtitleFormat format, const std::string& name);

// Each of `texts` as a pass in `mode` rewrites it, with `tags` protected when the mode asks.
std::vector<std::string> applyRules(std::vector<std::string> texts, CompiledRules& rules, RewriteMode mode,
                                    TagSyntax tags);

// "ass", "srt", "vtt" and the other formats' names name their tags; anything else none.
TagSyntax tagSyntaxNamed(const std::string& name);
