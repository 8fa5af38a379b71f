#pragma once

// What a pass throws when it can't do its work. The module's wrappers turn these
// into their printed line and an empty name; the API raises them.

#include <stdexcept>
#include <string>

#include "io/output.h"

// A failure the module reports by one line.
class PassFailure : public std::runtime_error {
public:
    explicit PassFailure(const std::string& line) : std::runtime_error(line), _line(line) {}

    // The whole line: what() ends at a NUL byte a path may hold.
    const std::string& line() const { return _line; }

private:
    std::string _line;
};

// The subtitle file could not be read, or its format reader refused it.
class SubtitleFileError : public PassFailure {
public:
    using PassFailure::PassFailure;
};

// The output could not be written: the path, the system's errno, and the module's line.
class OutputFileError : public PassFailure {
public:
    OutputFileError(const std::string& path, const WriteResult& result)
        : PassFailure(result.failureLine("Could not open the output file: " + path)), _path(path), _result(result) {}

    const std::string& path() const { return _path; }
    int error() const { return _result.error(); }
    // The line with `cannotOpen` for a file that could not be opened.
    std::string failureLine(std::string cannotOpen) const { return _result.failureLine(std::move(cannotOpen)); }

private:
    std::string _path;
    WriteResult _result;
};
