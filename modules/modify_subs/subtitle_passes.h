#pragma once

// The four passes, printing nothing: the module's functions and the API both run
// them. Each throws SubtitleFileError for an input it can't read, OutputFileError
// when `output` can't be written, PassFailure for other setbacks it names, and
// whatever the rules' source or the rules themselves throw.

#include <functional>
#include <string>

#include "ass_line_loop.h"
#include "text_rewriter.h"

struct PassResult {
    std::string output;
    RewriteCount texts;  // texts read, and how many of them the rules changed
};

// Makes the rules when a pass first needs them: the module reads its word list
// only once the subtitle file has been read.
using RewriterSource = std::function<TextRewriter()>;

PassResult exportAss(const std::string& subfile, const std::string& output, const RewriterSource& rules);
PassResult rewriteAss(const std::string& subfile, const std::string& output, const RewriterSource& rules,
                      const FormatLineSink& formatLines);
PassResult exportSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules);
PassResult rewriteSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules);

// Writes `content` to `output` or throws OutputFileError.
void writeOutput(const std::string& output, const std::string& content);
