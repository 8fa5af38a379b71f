#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>

#include "rules/word_list.h"

// Reads the JSON object at `filename`. Throws std::runtime_error when the file
// can't be opened, and jsoncpp's exceptions for anything jsoncpp refuses; never
// returns a partial list.
WordList loadReplacementWords(const std::string& filename);

// The same from a stream that holds the document; only the open failure is left out.
WordList parseReplacementWords(std::istream& document);

// The same from the whole document, refusing what the reader above lets through:
// a document that is not one JSON object, and text after the object. The messages
// are plain sentences, for the caller to prefix with the file's name, thrown as
// WordListDocumentError.
WordList parseWordListDocument(const std::string& document);

class WordListDocumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
