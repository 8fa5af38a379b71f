#pragma once

// The two passes over SubRip files, throwing as the ASS passes do (ass_passes.h).

#include <optional>
#include <string>

#include "document/pass_result.h"

// The export document of the cues' texts, rewritten.
PassResult exportSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules);

// A copy of the file with each cue's text rewritten.
PassResult rewriteSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules);

// The file's SubRip text in the form the parser reads (see cleanedSubRipText);
// nullopt when it can't be read.
std::optional<std::string> removeBlankLinesFromStartAndEnd(const std::string& inputFilePath);
