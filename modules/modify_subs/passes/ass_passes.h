#pragma once

// The two passes over Advanced SubStation Alpha files. Each throws
// SubtitleFileError for an input it can't read, OutputFileError when `output`
// can't be written, and whatever the rules' source or the rules throw.

#include <string>

#include "document/pass_result.h"
#include "passes/ass_line_loop.h"

// The export document of the events' texts, rewritten.
PassResult exportAss(const std::string& subfile, const std::string& output, const RewriterSource& rules);

// A copy of the file with the text of each dialogue line rewritten; `formatLines`
// is told where each events Format line taken starts.
PassResult rewriteAss(const std::string& subfile, const std::string& output, const RewriterSource& rules,
                      const FormatLineSink& formatLines);
