// The word-list loaders on arbitrary documents: a list or one of jsoncpp's
// exceptions (the strict one: a std::exception saying why), nothing else.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include <json/json.h>

#include "io/word_list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream document(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const ReplacementRules words = parseReplacementWords(document);
        for (const auto& [pattern, replacement] : words) {
            if (pattern.size() + replacement.size() > 2 * size + 16) __builtin_trap();
        }
    } catch (const Json::Exception&) {
    }
    try {
        for (const WordListEntry& entry : readWordListDocument(document.str())) {
            if (entry.rule.pattern.size() + entry.rule.replacement.size() > 2 * size + 16) __builtin_trap();
            if (entry.line < 1 || entry.column < 1) __builtin_trap();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
