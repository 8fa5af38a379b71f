#include "ass_line_loop.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view formatMarker = "Format:";
constexpr std::string_view dialogueMarker = "Dialogue:";
// What libass assumes when an events section has no Format line of its own; the
// SSA list differs only in its first name, so the text starts after 9 commas in both.
constexpr std::string_view standardEventFields =
    " Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";

// The headers that move libass out of an events section, measured by what it
// exports: any other header ("[Graphics]", "[Aegisub Project Garbage]", a made-up
// one) leaves it reading dialogue lines.
constexpr std::array<std::string_view, 4> headersEndingEvents = {"[script info]", "[v4 styles]", "[v4+ styles]",
                                                                 "[fonts]"};
constexpr std::string_view eventsHeader = "[events]";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// libass takes a header in any letter case, and ignores what follows its "]".
bool startsWithHeader(std::string_view content, std::string_view lowerCaseHeader) {
    return content.size() >= lowerCaseHeader.size() &&
           std::equal(lowerCaseHeader.begin(), lowerCaseHeader.end(), content.begin(), [](char header, char c) {
               return header == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
           });
}

// Where a line's content starts as libass reads it: past byte-order marks, then
// past blanks, so that neither hides a marker.
std::size_t contentStart(std::string_view line) {
    std::size_t start = 0;
    while (line.substr(start).starts_with(byteOrderMark)) start += byteOrderMark.size();
    while (start < line.size() && isBlank(line[start])) ++start;
    return start;
}

struct Line {
    std::string_view content;
    std::string_view end;  // "\r\n", "\r", "\n", or empty for a last line without one
};

Line takeLine(std::string_view& buffer) {
    const std::size_t endStart = std::min(buffer.find_first_of("\r\n"), buffer.size());
    std::size_t endLength = endStart < buffer.size() ? 1 : 0;
    if (buffer.substr(endStart).starts_with("\r\n")) endLength = 2;
    const Line line{buffer.substr(0, endStart), buffer.substr(endStart, endLength)};
    buffer.remove_prefix(endStart + endLength);
    return line;
}

// Section headers, Format and Dialogue lines count only at the start of a line, so
// a bracket or a marker inside a text is just text.
class EventsRewriter {
public:
    EventsRewriter(TextRewriter& rewriter, const FormatLineSink& formatLines)
        : _rewriter(rewriter), _formatLines(formatLines) {}

    void take(std::string_view line, std::string& out) {
        const std::size_t start = contentStart(line);
        const std::string_view content = line.substr(start);
        if (content.starts_with('[')) {
            followHeader(content);
        } else if (_inEventsSection && content.starts_with(formatMarker)) {
            _formatLines(start);
            _masterFormat = content.substr(formatMarker.size());
        } else if (_inEventsSection && content.starts_with(dialogueMarker)) {
            rewriteDialogue(line, start, out);
            return;
        }
        out.append(line);
    }

private:
    void followHeader(std::string_view content) {
        if (startsWithHeader(content, eventsHeader)) {
            _inEventsSection = true;
        } else if (std::any_of(headersEndingEvents.begin(), headersEndingEvents.end(),
                               [&](std::string_view header) { return startsWithHeader(content, header); })) {
            _inEventsSection = false;
        }
    }

    void rewriteDialogue(std::string_view line, std::size_t start, std::string& out) {
        const std::size_t fieldsStart = start + dialogueMarker.size();
        const std::string dialogueLine(line.substr(fieldsStart));
        const std::size_t textLinePos = find_nth(_masterFormat, dialogueLine);
        if (textLinePos == std::string::npos) {
            out.append(line);
            return;
        }
        out.append(line.substr(0, fieldsStart + textLinePos));
        out.append(_rewriter.apply(dialogueLine.substr(textLinePos), TagSyntax::Ass));
    }

    TextRewriter& _rewriter;
    const FormatLineSink& _formatLines;
    std::string _masterFormat{standardEventFields};
    bool _inEventsSection = false;
};

}  // namespace

std::string rewriteLines(std::string_view buffer, TextRewriter& rewriter, const FormatLineSink& formatLines) {
    std::string modifiedBuffer;
    modifiedBuffer.reserve(buffer.size() + buffer.size() / 8 + 1);
    EventsRewriter events(rewriter, formatLines);
    while (!buffer.empty()) {
        const Line line = takeLine(buffer);
        events.take(line.content, modifiedBuffer);
        modifiedBuffer.append(line.end.empty() ? "\n" : line.end);
    }
    return modifiedBuffer;
}

std::size_t find_nth(const std::string& master, const std::string& word) {
    const auto fieldCommas = static_cast<std::size_t>(std::count(master.begin(), master.end(), ','));
    if (fieldCommas == 0) return std::string::npos;

    // The text is the last field, so commas past the field count belong to it.
    std::size_t commasSeen = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == ',' && ++commasSeen == fieldCommas) return i + 1;
    }
    // Too few commas: an empty piece at the very end doesn't count as a field.
    std::size_t pieces = commasSeen + 1;
    if (word.empty() || word.back() == ',') --pieces;
    return pieces + 1 >= fieldCommas ? word.size() : std::string::npos;
}
