#include "pattern_warnings.h"

#include <algorithm>
#include <string_view>

namespace {

bool isNonAscii(std::string_view character) {
    return !character.empty() && static_cast<unsigned char>(character.front()) >= 0x80;
}

bool isContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A lead byte and the continuation bytes after it; any other byte alone.
std::size_t characterLength(std::string_view text, std::size_t start) {
    std::size_t end = start + 1;
    if (isNonAscii(text.substr(start))) {
        while (end < text.size() && isContinuationByte(text[end])) ++end;
    }
    return end - start;
}

bool isRepeat(std::string_view text, std::size_t at, std::string_view character) {
    if (character == "?" || character == "*" || character == "+") return true;
    // "{" repeats only when a count follows; otherwise it is a literal brace.
    return character == "{" && at < text.size() && text[at] >= '0' && text[at] <= '9';
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string inClassWarning(std::string_view character) {
    return quoted(character) + " inside a bracket class matches any one of its " +
           std::to_string(character.size()) + " UTF-8 bytes, not the character; use an alternation (?:" +
           std::string(character) + "|...) instead";
}

std::string repeatWarning(std::string_view repeat, std::string_view character) {
    return quoted(repeat) + " after " + quoted(character) + " repeats only the last of its " +
           std::to_string(character.size()) + " UTF-8 bytes; group the character: (?:" +
           std::string(character) + ")" + std::string(repeat);
}

std::string dotWarning(std::string_view character) {
    return "\".\" next to " + quoted(character) +
           " matches a single byte, not a character, so it can match half of a non-ASCII character";
}

// The element just before the current one, as far as the warnings care.
struct Previous {
    std::string_view character;
    bool isDot = false;
};

}  // namespace

std::vector<std::string> patternWarnings(const std::string& pattern) {
    const std::string_view text(pattern);
    std::vector<std::string> warnings;
    const auto warn = [&](std::string message) {
        if (std::find(warnings.begin(), warnings.end(), message) == warnings.end()) {
            warnings.push_back(std::move(message));
        }
    };
    bool inClass = false;
    Previous previous;
    for (std::size_t at = 0; at < text.size();) {
        const bool escaped = text[at] == '\\';
        const std::size_t start = escaped ? at + 1 : at;
        if (start >= text.size()) break;
        const std::string_view character = text.substr(start, characterLength(text, start));
        at = start + character.size();

        if (inClass) {
            // ECMAScript has no special first "]": "[]" is an empty class.
            if (!escaped && character == "]") {
                inClass = false;
                previous = {};
            } else if (isNonAscii(character)) {
                warn(inClassWarning(character));
            }
            continue;
        }
        if (!escaped && character == "[") {
            inClass = true;
            continue;
        }
        if (!escaped && isRepeat(text, at, character)) {
            const std::size_t close = character == "{" ? text.find('}', at) : std::string_view::npos;
            const std::string_view repeat = close == std::string_view::npos ? character
                                                                             : text.substr(start, close + 1 - start);
            if (isNonAscii(previous.character)) warn(repeatWarning(repeat, previous.character));
            // A "?" after a repeat makes it lazy; it repeats nothing of its own.
            previous = {};
            continue;
        }
        const bool isDot = !escaped && character == ".";
        if (isDot && isNonAscii(previous.character)) warn(dotWarning(previous.character));
        if (previous.isDot && isNonAscii(character)) warn(dotWarning(character));
        previous = {character, isDot};
    }
    return warnings;
}
