#pragma once

// What the document layer refuses: a file its format's reader won't take ("not a
// SubRip file: no timing line found"), and a rewritten text its format can't write.

#include <stdexcept>
#include <string>
#include <utility>

class SubtitleFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // The file refused, when the caller that read it gave its name; "" for bytes alone.
    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }

private:
    std::string _path;
};

// The file was fine; the rules made a text (under its export key) that can't be written.
class UnwritableTextError : public std::runtime_error {
public:
    UnwritableTextError(std::string key, const std::string& message)
        : std::runtime_error(message), _key(std::move(key)) {}

    const std::string& key() const { return _key; }

private:
    std::string _key;
};
