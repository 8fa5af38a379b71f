#pragma once

// A file that its format's reader refuses: "not a SubRip file: no timing line found".

#include <stdexcept>

class SubtitleFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
