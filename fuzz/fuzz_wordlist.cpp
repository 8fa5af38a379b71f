// The word-list loader on arbitrary documents: a list or one of jsoncpp's
// exceptions, nothing else.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <json/json.h>

#include "wordlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream document(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const WordList words = parseReplacementWords(document);
        for (const auto& [pattern, replacement] : words) {
            if (pattern.size() + replacement.size() > 2 * size + 16) __builtin_trap();
        }
    } catch (const Json::Exception&) {
    }
    return 0;
}
