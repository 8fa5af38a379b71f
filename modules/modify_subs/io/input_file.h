#pragma once

// The one way a pass or the word-list loader reads a file: whole, in one read.

#include <string>

enum class ReadFailure {
    None,
    CannotOpen,  // missing, not permitted, or a path that names no file
    CannotRead,  // opened but not readable as a file: a directory, an I/O error
};

struct InputFile {
    std::string bytes;
    ReadFailure failure = ReadFailure::None;

    explicit operator bool() const { return failure == ReadFailure::None; }
};

InputFile readInputFile(const std::string& path);
