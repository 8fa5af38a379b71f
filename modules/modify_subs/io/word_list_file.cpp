#include "io/word_list_file.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include <json/json.h>

#include "io/input_file.h"

ReplacementRules loadReplacementWords(const std::string& filename) {
    const InputFile file = readInputFile(filename);
    if (!file) throw std::runtime_error("Failed to open replacement words file");
    std::istringstream document(file.bytes);
    return parseReplacementWords(document);
}

ReplacementRules parseReplacementWords(std::istream& document) {
    Json::Value root;
    document >> root;

    ReplacementRules words;
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

// The reader counts a column in bytes; a person, and the member positions the list's
// errors give, count characters. Its lines end at "\r\n", "\r" or "\n".
std::string withCharacterColumns(const std::string& errors, std::string_view document) {
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = errors.find("Line "); at != std::string::npos; at = errors.find("Line ", at + 1)) {
        int line = 0;
        int column = 0;
        int consumed = 0;
        if (std::sscanf(errors.c_str() + at, "Line %d, Column %d%n", &line, &column, &consumed) != 2) continue;
        std::size_t lineStart = 0;
        for (int seen = 1; seen < line && lineStart < document.size(); ++lineStart) {
            const char c = document[lineStart];
            if (c == '\n' || (c == '\r' && (lineStart + 1 == document.size() || document[lineStart + 1] != '\n')))
                ++seen;
        }
        const std::size_t columnEnd =
            std::min(document.size(), lineStart + static_cast<std::size_t>(std::max(column - 1, 0)));
        int characters = 1;
        for (std::size_t byte = lineStart; byte < columnEnd; ++byte) characters += (document[byte] & 0xC0) != 0x80;
        out.append(errors, copied, at - copied);
        out += "Line " + std::to_string(line) + ", Column " + std::to_string(characters);
        copied = at + static_cast<std::size_t>(consumed);
    }
    return out.append(errors, copied);
}

std::string kindOf(const Json::Value& value) {
    if (value.isObject()) return "a JSON object";
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

const std::string kExpected = "a word list is one JSON object, {\"pattern\": \"replacement\", ...}";

// The root object, or the sentence that says why the document is none.
Json::Value rootObject(const std::string& document) {
    Json::Value root;
    std::string errors;
    if (!parses(document, false, root, errors)) {
        // A list mistyped keeps the reader's own account of where; anything else is no list at all.
        const std::size_t first = document.find_first_not_of(" \t\r\n");
        if (first != std::string::npos && (document[first] == '{' || document[first] == '/')) {
            throw WordListDocumentError(withCharacterColumns(errors, document));
        }
    }
    // A subtitle file given by mistake reads as no JSON, or as a number with text after it.
    if (!parses(document, false, root, errors) ||
        (!root.isObject() && !root.isArray() && !parses(document, true, root, errors))) {
        throw WordListDocumentError("not a word list: this is no JSON value (a subtitle file given by mistake?), and " +
                                    kExpected);
    }
    if (!root.isObject())
        throw WordListDocumentError("not a word list: this is " + kindOf(root) + ", and " + kExpected);
    if (!parses(document, true, root, errors)) {
        // The lenient read succeeded, so the only complaint left is what follows the object.
        int line = 0;
        int column = 0;
        const std::string counted = withCharacterColumns(errors, document);
        const std::size_t at = counted.find("Line ");
        if (at != std::string::npos && std::sscanf(counted.c_str() + at, "Line %d, Column %d", &line, &column) == 2) {
            throw WordListDocumentError("text follows the word list's JSON object at line " + std::to_string(line) +
                                        ", column " + std::to_string(column) + "; " + kExpected);
        }
        throw WordListDocumentError("text follows the word list's JSON object; " + kExpected);
    }
    return root;
}

// Where the first byte that is not part of a well-formed UTF-8 sequence stands.
std::optional<std::size_t> firstInvalidUtf8(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++at;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return at;
        }
        for (std::size_t next = 1; next < length; ++next) {
            if (at + next >= text.size()) return at;
            const auto byte = static_cast<unsigned char>(text[at + next]);
            if (byte < (next == 1 ? low : 0x80) || byte > (next == 1 ? high : 0xBF)) return at;
        }
        at += length;
    }
    return std::nullopt;
}

// Past blanks and comments, which the reader takes between tokens.
std::size_t skipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r') {
            ++at;
        } else if (text.substr(at, 2) == "//") {
            at = text.find('\n', at);
        } else if (text.substr(at, 2) == "/*") {
            const std::size_t end = text.find("*/", at + 2);
            at = end == std::string_view::npos ? end : end + 2;
        } else {
            break;
        }
    }
    return std::min(at, text.size());
}

std::size_t pastString(std::string_view text, std::size_t at) {
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\') ++at;
    }
    return std::min(at + 1, text.size());
}

// Past one value of a document the reader has accepted.
std::size_t pastValue(std::string_view text, std::size_t at) {
    if (text[at] == '"') return pastString(text, at);
    int depth = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '"') {
            at = pastString(text, at);
            continue;
        }
        if (c == '/' && depth > 0) {
            at = std::max(skipBlanks(text, at), at + 1);
            continue;
        }
        if (c == '{' || c == '[') ++depth;
        if (c == '}' || c == ']') {
            if (depth == 0) return at;
            if (--depth == 0) return at + 1;
        }
        if (depth == 0 && (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/')) return at;
        ++at;
    }
    return at;
}

// One member's key or value as `reader` reads it: built once for the document, as
// jsoncpp's builder fills a settings object each time, most of reading a short list.
Json::Value valueOf(Json::CharReader& reader, std::string_view text) {
    Json::Value value;
    std::string errors;
    reader.parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

// As the pattern is written in JSON, characters left as they are.
std::string quoted(const std::string& pattern) {
    std::string out = "\"";
    for (const char c : pattern) {
        const auto byte = static_cast<unsigned char>(c);
        const std::string_view named = c == '"'    ? "\\\""
                                       : c == '\\' ? "\\\\"
                                       : c == '\n' ? "\\n"
                                       : c == '\r' ? "\\r"
                                       : c == '\t' ? "\\t"
                                                   : "";
        if (!named.empty()) {
            out += named;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* const kReplacementKinds = "a replacement must be a string, a number, true, false or null";
const char* const kOptions = "replace, case, word, literal and enabled";

// A member's value: replacement text, or an object of options.
WordListEntry entryOf(const std::string& pattern, const Json::Value& value, const std::string& where) {
    WordListEntry entry{{pattern, ""}};
    const std::string rule = "the value of pattern " + quoted(pattern) + where;
    if (value.isArray())
        throw WordListDocumentError(rule + " is an array; " + kReplacementKinds + ", or an object of options");
    if (!value.isObject()) {
        // asString() turns null into "" and numbers and booleans into their text.
        entry.rule.replacement = value.asString();
        return entry;
    }
    for (const std::string& name : value.getMemberNames()) {
        const Json::Value& option = value[name];
        const std::string named = rule + ": option \"" + name + "\" ";
        if (name == "replace") {
            if (option.isArray() || option.isObject())
                throw WordListDocumentError(named + "is " + kindOf(option) + "; " + kReplacementKinds);
            entry.rule.replacement = option.asString();
        } else if (name == "case") {
            const std::string letterCase = option.isString() ? option.asString() : "";
            if (letterCase == "insensitive") {
                entry.rule.letterCase = LetterCase::Insensitive;
            } else if (letterCase == "sensitive") {
                entry.rule.letterCase = LetterCase::Sensitive;
            } else if (letterCase == "preserve") {
                entry.rule.letterCase = LetterCase::Preserve;
            } else {
                throw WordListDocumentError(named + "is " + (option.isString() ? quoted(letterCase) : kindOf(option)) +
                                            "; it is \"insensitive\", \"sensitive\" or \"preserve\"");
            }
        } else if (name == "word" || name == "literal" || name == "enabled") {
            if (!option.isBool()) throw WordListDocumentError(named + "is " + kindOf(option) + "; it is true or false");
            (name == "word"      ? entry.rule.word
             : name == "literal" ? entry.rule.literal
                                 : entry.enabled) = option.asBool();
        } else {
            throw WordListDocumentError(rule + ": unknown option " + quoted(name) + "; the options are " + kOptions);
        }
    }
    if (!value.isMember("replace"))
        throw WordListDocumentError(rule + " has no \"replace\"; the options are " + kOptions);
    return entry;
}

}  // namespace

std::vector<WordListEntry> readWordListDocument(const std::string& raw) {
    if (const std::optional<std::size_t> bad = firstInvalidUtf8(raw)) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(raw[*bad])));
        throw WordListDocumentError("not UTF-8: byte " + std::string(byte) + " at byte offset " + std::to_string(*bad));
    }
    const std::string document = raw.starts_with("\xEF\xBB\xBF") ? raw.substr(3) : raw;
    rootObject(document);
    // The object's members as written: the parsed object keeps one of each pattern.
    const std::string_view text(document);
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::vector<WordListEntry> entries;
    int line = 1;
    std::size_t lineStart = 0;
    std::size_t counted = 0;
    std::size_t at = skipBlanks(text, skipBlanks(text, 0) + 1);
    while (at < text.size() && text[at] == '"') {
        const std::size_t keyEnd = pastString(text, at);
        const std::size_t colon = skipBlanks(text, keyEnd);
        const std::size_t valueStart = skipBlanks(text, colon + 1);
        const std::size_t valueEnd = pastValue(text, valueStart);
        for (; counted < at; ++counted) {
            if (text[counted] == '\n') {
                ++line;
                lineStart = counted + 1;
            }
        }
        int column = 1;
        for (std::size_t byte = lineStart; byte < at; ++byte) column += (text[byte] & 0xC0) != 0x80;
        const std::string pattern = valueOf(*reader, text.substr(at, keyEnd - at)).asString();
        WordListEntry entry = entryOf(pattern, valueOf(*reader, text.substr(valueStart, valueEnd - valueStart)),
                                      " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")");
        entry.line = line;
        entry.column = column;
        entries.push_back(std::move(entry));
        at = skipBlanks(text, valueEnd);
        if (at < text.size() && text[at] == ',') at = skipBlanks(text, at + 1);
    }
    return entries;
}

WordListEntry ruleFromJsonValue(const std::string& pattern, const std::string& value) {
    Json::Value parsed;
    std::string errors;
    if (!parses(value, true, parsed, errors)) {
        throw WordListDocumentError("the value of pattern " + quoted(pattern) +
                                    " is no value the JSON reader can read");
    }
    return entryOf(pattern, parsed, "");
}
