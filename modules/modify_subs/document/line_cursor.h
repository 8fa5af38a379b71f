#pragma once

// Lines as subtitle files end them: at "\r\n", "\r" or "\n", whichever stands,
// so a file that mixes them (two files joined, a stray CR) loses no line.

#include <cstddef>
#include <optional>
#include <string_view>

struct SourceLine {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;  // where its line end starts
    std::size_t end = 0;         // past its line end

    std::string_view content(std::string_view document) const { return document.substr(begin, contentEnd - begin); }
    std::string_view lineEnd(std::string_view document) const { return document.substr(contentEnd, end - contentEnd); }
};

// Reads the lines of a document one at a time; a copy reads ahead without moving this one.
class LineCursor {
public:
    explicit LineCursor(std::string_view document, std::size_t from = 0) : _document(document), _at(from) {}

    // The next line, or nullopt at the end. Text after the last line end is a line.
    std::optional<SourceLine> next();

    std::size_t position() const { return _at; }

private:
    // The first `lineEnd` at or after the cursor, npos when there is none.
    std::size_t ahead(std::optional<std::size_t>& cached, char lineEnd);

    std::string_view _document;
    std::size_t _at;
    std::optional<std::size_t> _nextNewline;
    std::optional<std::size_t> _nextCarriageReturn;
};

// Spaces and tabs only, past any byte-order marks (an empty line is blank).
bool isBlankLine(std::string_view content);

// `content` past the UTF-8 byte-order marks it starts with: two files joined
// leave one at the start of a line.
std::string_view withoutByteOrderMarks(std::string_view content);

// The first line end of the document, "\n" when it has none.
std::string_view firstLineEnd(std::string_view document);
