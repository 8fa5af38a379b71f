#pragma once

// The module's four passes behind modifySubs/overwriteSubs. A subtitle file or
// output that can't be read or written is reported as a printed line and "", as
// the module always has; a word list or pattern that fails is thrown, except by
// the ASS export, which prints that too.

#include <string>

// Advanced SubStation Alpha: the export document, and the rewritten copy.
std::string modifyAss(const std::string& subfile, const std::string& replacementFile);
std::string assSubtitles(const std::string& subfile, const std::string& replacementFile);

// SubRip: the export document, and the rewritten copy.
std::string modifySrt(const std::string& subfile, const std::string& replacementFile);
std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile);
