#pragma once

// What only the tests ask of the core, built here from its public calls.

#include <json/json.h>

#include <cstddef>
#include <regex>
#include <string>

#include "io/output.h"
#include "rules/code_point_sets.h"
#include "rules/ecmascript_space_traits.h"
#include "stack/recursion_budget.h"
#include "test_support.h"
#include "text/utf8_text.h"

namespace core_helpers {

// The export document's text, as the export passes write it to a file.
inline std::string exportDocumentText(Json::Value document) {
    const test_support::TempDir dir;
    const std::string path = dir.file("document.json");
    if (!writeExportDocument(path, std::move(document))) return "(not written)";
    return test_support::readFile(path);
}

// An upper estimate of the stack that compiling `pattern` and running it over a
// text of `textLength` bytes can use.
inline double regexStackEstimate(const std::string& pattern, std::size_t textLength) {
    return regexStackDemand(pattern).estimate(textLength);
}

// The code points the wide regex, compiled as the rules are, matches `atom` (UTF-8)
// against one at a time: exact, but far too slow to build rules with.
inline CodePointSet askedCodePointSet(const std::string& atom, bool ignoreCase = true) {
    WideRegex expression;
    expression.imbue(std::locale("C.UTF-8"));
    expression.assign(*wideFromUtf8(atom), ignoreCase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                                      : std::regex_constants::ECMAScript);
    CodePointSet set;
    for (std::size_t c = 0; c < set.size(); ++c) {
        const auto character = static_cast<wchar_t>(c);
        set[c] = std::regex_match(&character, &character + 1, expression);
    }
    return set;
}

}  // namespace core_helpers
