#include "wordlist.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <json/json.h>

#include "file_path.h"

WordList loadReplacementWords(const std::string& filename) {
    std::ifstream inputFile = openForReading(filename);
    // A directory opens as a stream on Linux and then reads as nothing at all.
    std::error_code ignored;
    if (!inputFile || std::filesystem::is_directory(filename, ignored)) {
        throw std::runtime_error("Failed to open replacement words file");
    }
    return parseReplacementWords(inputFile);
}

WordList parseReplacementWords(std::istream& document) {
    Json::Value root;
    document >> root;

    WordList words;
    for (const std::string& key : root.getMemberNames()) {
        // asString() turns null into "" and numbers/booleans into their text, and
        // throws for arrays and objects.
        words[key] = root[key].asString();
    }
    return words;
}
