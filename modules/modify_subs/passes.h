#pragma once

// The module's four passes behind modifySubs/overwriteSubs, and the helpers they
// share. Each prints why it failed and returns "", as the module always has.

#include <cstddef>
#include <optional>
#include <string>

bool endsWith(const std::string& fullString, const std::string& ending);

// Advanced SubStation Alpha.
std::string modifyAss(const std::string& subfile, const std::string& replacementFile);
std::string assSubtitles(const std::string& subfile, const std::string& replacementFile);
// Where the text field of a dialogue line starts, judged by the commas of the
// events' Format line; std::string::npos when the line has too few fields.
std::size_t find_nth(const std::string& master, const std::string& word);

// SubRip.
std::string modifySrt(const std::string& subfile, const std::string& replacementFile);
std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile);
// The file's SubRip text in the form the parser reads (see cleanedSubRipText);
// nullopt when it can't be read.
std::optional<std::string> cleanedSubRipFile(const std::string& inputFilePath);
