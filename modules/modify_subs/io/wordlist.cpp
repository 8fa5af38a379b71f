#include "io/wordlist.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <json/json.h>

#include "io/input_file.h"

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

namespace {

bool parses(const std::string& document, bool failIfExtra, Json::Value& root, std::string& errors) {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = failIfExtra;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(document.data(), document.data() + document.size(), &root, &errors);
}

std::string kindOf(const Json::Value& value) {
    switch (value.type()) {
        case Json::arrayValue:
            return "a JSON array";
        case Json::stringValue:
            return "a JSON string";
        case Json::nullValue:
            return "null";
        case Json::booleanValue:
            return "true or false";
        default:
            return "a number";
    }
}

}  // namespace

WordList parseWordListDocument(const std::string& document) {
    const std::string expected = "a word list is one JSON object, {\"pattern\": \"replacement\", ...}";
    Json::Value root;
    std::string errors;
    if (!parses(document, false, root, errors)) {
        // A list mistyped keeps the reader's own account of where; anything else is no list at all.
        const std::size_t first = document.find_first_not_of(" \t\r\n");
        if (first != std::string::npos && (document[first] == '{' || document[first] == '/')) {
            throw WordListDocumentError(errors);
        }
    }
    // A subtitle file given by mistake reads as no JSON, or as a number with text after it.
    if (!parses(document, false, root, errors) ||
        (!root.isObject() && !root.isArray() && !parses(document, true, root, errors))) {
        throw WordListDocumentError("not a word list: this is no JSON value (a subtitle file given by mistake?), and " +
                                    expected);
    }
    if (!root.isObject()) throw WordListDocumentError("not a word list: this is " + kindOf(root) + ", and " + expected);
    if (!parses(document, true, root, errors)) {
        // The lenient read succeeded, so the only complaint left is what follows the object.
        int line = 0;
        int column = 0;
        const std::size_t at = errors.find("Line ");
        if (at != std::string::npos && std::sscanf(errors.c_str() + at, "Line %d, Column %d", &line, &column) == 2) {
            throw WordListDocumentError("text follows the word list's JSON object at line " + std::to_string(line) +
                                        ", column " + std::to_string(column) + "; " + expected);
        }
        throw WordListDocumentError("text follows the word list's JSON object; " + expected);
    }
    WordList words;
    for (const std::string& key : root.getMemberNames()) {
        const Json::Value& value = root[key];
        if (value.isArray() || value.isObject()) {
            throw WordListDocumentError("the value of pattern \"" + key + "\" is " +
                                        (value.isArray() ? "an array" : "an object") +
                                        "; a replacement must be a string, a number, true, false or null");
        }
        words[key] = value.asString();
    }
    return words;
}
