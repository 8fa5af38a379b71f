#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "rules/replacement_rules.h"

// The module's reading of a word list file: the JSON object at `filename`. Throws
// std::runtime_error when the file can't be opened, and jsoncpp's exceptions for
// anything jsoncpp refuses; never returns a partial list.
ReplacementRules loadReplacementWords(const std::string& filename);

// The same from a stream that holds the document; only the open failure is left out.
ReplacementRules parseReplacementWords(std::istream& document);

// One member of a word list as the API and the command line read it.
struct WordListEntry {
    ReplacementRule rule;
    bool enabled = true;
    int line = 0;  // of the pattern, from 1; the column counts characters
    int column = 0;
};

// The strict reading of a whole document: UTF-8 (a leading mark is skipped), one
// JSON object, nothing after it, each value a string, a number, true, false, null
// or an object of rule options. Every member in the order written, a pattern given
// twice included. Throws WordListDocumentError with a plain sentence, for the caller
// to prefix with the file's name.
std::vector<WordListEntry> readWordListDocument(const std::string& document);

class WordListDocumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One value given as JSON text (`{"replace": "x", "case": "sensitive"}`, `"x"`,
// `1.5`) for `pattern`, read as the document reader reads a member's value;
// WordListDocumentError when it can't be.
WordListEntry ruleFromJsonValue(const std::string& pattern, const std::string& value);
