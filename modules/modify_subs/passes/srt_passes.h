#pragma once

// The two passes over SubRip files.

#include <optional>
#include <string>

// The export document of the cues' texts, rewritten; returns its name.
std::string modifySrt(const std::string& subfile, const std::string& replacementFile);

// A copy of the file with each cue's text rewritten; returns its name.
std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile);

// The file's SubRip text in the form the parser reads (see cleanedSubRipText);
// nullopt, after a line on std::cerr, when it can't be read.
std::optional<std::string> removeBlankLinesFromStartAndEnd(const std::string& inputFilePath);
