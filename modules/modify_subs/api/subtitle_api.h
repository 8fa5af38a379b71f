#pragma once

// The passes for library callers: nothing is printed, every failure is thrown
// (RuleError, SubtitleFileError, OutputFileError, PassFailure).

#include <string>

#include "pass_result.h"
#include "tag_runs.h"
#include "text_rewriter.h"
#include "wordlist.h"

enum class PassKind { Export, Rewrite };

// Throws RuleError for the first pattern, in the order the rules apply, that the
// engine of the mode refuses.
void requireValidRules(const WordList& words, bool unicode);

// The pass of `kind` for the ending of `subfile` (".ass" or ".srt", else
// SubtitleFileError), writing `output`. The rules are checked before any file is read.
PassResult runPass(PassKind kind, const std::string& subfile, const std::string& output, const WordList& words,
                   RewriteMode mode);

// `text` as a pass in `mode` rewrites it, with `tags` protected when the mode asks.
std::string applyRules(const std::string& text, const WordList& words, RewriteMode mode, TagSyntax tags);
