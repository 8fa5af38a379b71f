#include "wordlist.h"

#include <sstream>
#include <stdexcept>

#include <json/json.h>

#include "input_file.h"

WordList loadReplacementWords(const std::string& filename) {
    const InputFile file = readInputFile(filename);
    if (!file) throw std::runtime_error("Failed to open replacement words file");
    std::istringstream document(file.bytes);
    return parseReplacementWords(document);
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
