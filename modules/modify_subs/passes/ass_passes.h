#pragma once

// The two passes over Advanced SubStation Alpha files.

#include <string>

// The export document of the file's dialogue texts, rewritten; returns its name.
std::string modifyAss(const std::string& subfile, const std::string& replacementFile);

// A copy of the file with the text of each dialogue line rewritten; returns its name.
std::string assSubtitles(const std::string& subfile, const std::string& replacementFile);
