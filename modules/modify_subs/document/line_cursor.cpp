#include "document/line_cursor.h"

#include <algorithm>

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::optional<SourceLine> LineCursor::next() {
    if (_at >= _document.size()) return std::nullopt;
    SourceLine line;
    line.begin = _at;
    // find_first_of with a set of two calls memchr once per byte: on a 50 MB cue that
    // was most of the pass. Each line end is searched for alone, vectorised, and kept
    // until passed, so a file with only one kind is not searched again per line.
    const std::size_t found = std::min(ahead(_nextNewline, '\n'), ahead(_nextCarriageReturn, '\r'));
    line.contentEnd = std::min(found, _document.size());
    line.end = line.contentEnd;
    if (line.end < _document.size()) {
        line.end +=
            _document[line.end] == '\r' && line.end + 1 < _document.size() && _document[line.end + 1] == '\n' ? 2 : 1;
    }
    _at = line.end;
    return line;
}

std::size_t LineCursor::ahead(std::optional<std::size_t>& cached, char lineEnd) {
    if (!cached || *cached < _at) cached = _document.find(lineEnd, _at);
    return *cached;
}

std::string_view withoutByteOrderMarks(std::string_view content) {
    while (!content.empty() && content.front() == byteOrderMark.front() && content.starts_with(byteOrderMark))
        content.remove_prefix(byteOrderMark.size());
    return content;
}

bool isBlankLine(std::string_view content) {
    content = withoutByteOrderMarks(content);
    return std::all_of(content.begin(), content.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string_view firstLineEnd(std::string_view document) {
    LineCursor lines(document);
    while (const std::optional<SourceLine> line = lines.next()) {
        if (line->end > line->contentEnd) return line->lineEnd(document);
    }
    return "\n";
}
