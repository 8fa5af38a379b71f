#include "document/ass_dialogue.h"

#include <algorithm>
#include <array>
#include <string>

#include "document/line_cursor.h"

namespace {

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
    std::size_t start = line.size() - withoutByteOrderMarks(line).size();
    while (start < line.size() && isBlank(line[start])) ++start;
    return start;
}

// How many fields stand before the Text field of a Format line's list, names
// compared as libass compares them; npos without one.
std::size_t fieldsBeforeText(std::string_view fields) {
    std::size_t index = 0;
    for (std::size_t start = 0;; ++index) {
        const std::size_t comma = std::min(fields.find(',', start), fields.size());
        std::string_view name = fields.substr(start, comma - start);
        while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
        while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
        if (name.size() == 4 && startsWithHeader(name, "text")) return index;
        if (comma == fields.size()) return std::string_view::npos;
        start = comma + 1;
    }
}

// Where libass starts the text of a line whose Text field follows `before` fields,
// or npos where it drops the line: each of those fields must hold something past
// its leading blanks (an empty field between commas does), and the text starts
// after the last one's comma, or at the line's end when that field ends the line.
std::size_t libassTextStart(std::size_t before, std::string_view fields) {
    std::size_t at = 0;
    for (std::size_t field = 0; field < before; ++field) {
        while (at < fields.size() && isBlank(fields[at])) ++at;
        if (at == fields.size()) return std::string_view::npos;
        at = std::min(fields.find(',', at), fields.size() - 1) + 1;
    }
    return at;
}

// Section headers, Format and Dialogue lines count only at the start of a line, so
// a bracket or a marker inside a text is just text.
class DialogueScanner {
public:
    DialogueScanner(const DialogueTextSink& texts, const FormatLineSink& formatLines, TextField field)
        : _texts(texts), _formatLines(formatLines), _field(field) {}

    // `line` is a line's content, which starts at `offset` in the script.
    void take(std::string_view line, std::size_t offset) {
        const std::size_t start = contentStart(line);
        const std::string_view content = line.substr(start);
        if (content.starts_with('[')) {
            followHeader(content);
        } else if (_inEventsSection && content.starts_with(formatMarker)) {
            if (_formatLines) _formatLines(start);
            _masterFormat = content.substr(formatMarker.size());
        } else if (_inEventsSection && content.starts_with(dialogueMarker)) {
            findText(line, start, offset);
        }
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

    void findText(std::string_view line, std::size_t start, std::size_t offset) {
        const std::size_t fieldsStart = start + dialogueMarker.size();
        const std::string fields(line.substr(fieldsStart));
        std::size_t textLinePos = std::string::npos;
        if (_field == TextField::AfterFormatCommas) {
            textLinePos = find_nth(_masterFormat, fields);
        } else if (const std::size_t before = fieldsBeforeText(_masterFormat); before != std::string_view::npos) {
            // libass skips the blanks after "Dialogue:", as it does before every first field.
            textLinePos = before == 0 ? std::min(fields.find_first_not_of(" \t"), fields.size())
                                      : libassTextStart(before, fields);
        }
        if (textLinePos == std::string::npos) return;
        const bool afterComma = textLinePos < fields.size() || fields.ends_with(',') ||
                                _field == TextField::AfterFormatCommas || fieldsBeforeText(_masterFormat) == 0;
        _texts(offset + fieldsStart + textLinePos, offset + line.size(), afterComma);
    }

    const DialogueTextSink& _texts;
    const FormatLineSink& _formatLines;
    TextField _field;
    std::string _masterFormat{standardEventFields};
    bool _inEventsSection = false;
};

}  // namespace

void forEachDialogueText(std::string_view script, const DialogueTextSink& texts, const FormatLineSink& formatLines,
                         TextField field) {
    DialogueScanner scanner(texts, formatLines, field);
    LineCursor lines(script);
    while (const std::optional<SourceLine> line = lines.next()) scanner.take(line->content(script), line->begin);
}

std::vector<TextSpan> findAssSpans(std::string_view script) {
    std::vector<TextSpan> spans;
    forEachDialogueText(
        script,
        [&](std::size_t begin, std::size_t end, bool afterComma) {
            const std::size_t before = begin == 0 ? std::string_view::npos : script.find_last_of("\r\n", begin - 1);
            const std::size_t lineStart = before == std::string_view::npos ? 0 : before + 1;
            spans.push_back({begin, end, static_cast<std::int64_t>(spans.size() + 1), LineEnd::None, 0, 0, lineStart,
                             begin, !afterComma});
        },
        {}, TextField::AtTextField);
    return spans;
}

std::size_t find_nth(const std::string& master, const std::string& word) {
    return textFieldStart(static_cast<std::size_t>(std::count(master.begin(), master.end(), ',')), word);
}

std::size_t textFieldStart(std::size_t fieldCommas, const std::string& word) {
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
