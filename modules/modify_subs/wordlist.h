#pragma once

#include <iosfwd>
#include <map>
#include <string>

// Pattern -> replacement. std::map keeps the byte-wise pattern order in which the
// rules are applied, so that order is part of the list's meaning.
using WordList = std::map<std::string, std::string>;

// Reads the JSON object at `filename`. Throws std::runtime_error when the file
// can't be opened, and jsoncpp's exceptions for anything jsoncpp refuses; never
// returns a partial list.
WordList loadReplacementWords(const std::string& filename);

// The same from a stream that holds the document; only the open failure is left out.
WordList parseReplacementWords(std::istream& document);
