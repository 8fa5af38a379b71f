#pragma once

// The one way a pass or the word-list loader reads a file: whole, in one read.

#include <stdexcept>
#include <string>

enum class ReadFailure {
    None,
    CannotOpen,  // missing, not permitted, or a path that names no file
    CannotRead,  // opened but not readable as a file: a directory, an I/O error
};

struct InputFile {
    std::string bytes;
    ReadFailure failure = ReadFailure::None;
    int error = 0;  // the system's errno for the failure (EISDIR for a directory)

    explicit operator bool() const { return failure == ReadFailure::None; }
};

InputFile readInputFile(const std::string& path);

// A file the system would not hand over, with its errno, so that a caller can
// give the system's own reason without asking the system again.
class InputFileError : public std::runtime_error {
public:
    InputFileError(const std::string& path, int error);

    const std::string& path() const { return _path; }
    int error() const { return _error; }

private:
    std::string _path;
    int _error;
};

// The file's bytes, or InputFileError.
std::string readInputBytes(const std::string& path);
