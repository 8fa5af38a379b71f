#pragma once

// The module's four passes behind modifySubs/overwriteSubs. Each prints why it
// failed and returns "", as the module always has.

#include <string>

// Advanced SubStation Alpha: the export document, and the rewritten copy.
std::string modifyAss(const std::string& subfile, const std::string& replacementFile);
std::string assSubtitles(const std::string& subfile, const std::string& replacementFile);

// SubRip: the export document, and the rewritten copy.
std::string modifySrt(const std::string& subfile, const std::string& replacementFile);
std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile);
