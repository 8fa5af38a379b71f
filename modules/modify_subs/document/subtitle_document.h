#pragma once

// A subtitle file as a document: its text and the spans of dialogue in it. The
// rules rewrite the spans; every other byte is written back as it was read, in
// the file's own encoding.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/subtitle_format.h"
#include "document/text_span.h"
#include "rules/text_rewriter.h"
#include "text/tag_runs.h"
#include "text/utf16_text.h"

struct SubtitleDocument {
    SubtitleFormat format;
    std::string text;  // UTF-8, or the file's bytes as they are
    std::vector<TextSpan> spans;
    std::optional<Utf16Form> utf16;  // how the text is written back when it was UTF-16
};

// The document of a file's bytes, in the format its start shows (a WEBVTT header,
// an ASS script's "[Script Info]"), `format` otherwise. Throws SubtitleFormatError for a file its
// format's reader refuses (a ".srt" file without any timing line).
SubtitleDocument readDocument(std::string bytes, SubtitleFormat format);

// The document's bytes with each span's text as `rewriter` rewrites it. When nothing
// can change, the text itself is handed back; otherwise `document` stays whole. Throws
// UnwritableTextError when a rewritten text can't be written in the file's encoding.
// The spans at the positions in `kept` (ascending, from 0) stay as they are.
std::string rewriteDocument(SubtitleDocument&& document, TextRewriter& rewriter,
                            const std::vector<std::size_t>& kept = {});

// The bytes that replace `span` when its text is rewritten to `after`, in the form the
// file writes it; nothing when the span holds that text already. Throws
// UnwritableTextError when the file's encoding can't hold them.
std::optional<std::string> writtenChange(const SubtitleDocument& document, const TextSpan& span,
                                         const std::string& after);

// The same bytes handed to `write` piece by piece, in file order: a pass streams them
// into its output file instead of holding a second copy of a large file. A failure
// throws as rewriteDocument's does, after some pieces were written.
void writeRewrittenDocument(SubtitleDocument&& document, TextRewriter& rewriter,
                            const std::function<void(std::string_view)>& write);

// The spans' export keys: a key that repeats (a SubRip cue number given twice)
// is "N#2", "N#3", ... after its first, so that no text is lost.
std::vector<std::string> exportKeys(const std::vector<TextSpan>& spans);

// Each span's export key and rewritten text, in file order.
std::vector<std::pair<std::string, std::string>> rewrittenTexts(const SubtitleDocument& document,
                                                                TextRewriter& rewriter);
