#include "document/timed_lines.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "document/format_error.h"
#include "document/line_cursor.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Past the bracket holding digits at `at` (none only when `empty` allows), or nullopt.
std::optional<std::size_t> pastBracket(std::string_view line, std::size_t at, const TimedLineSyntax& syntax,
                                       bool empty) {
    if (at >= line.size() || line[at] != syntax.open) return std::nullopt;
    std::size_t digits = at + 1;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    if (digits >= line.size() || line[digits] != syntax.close || (!empty && digits == at + 1)) return std::nullopt;
    return digits + 1;
}

// Where the text of a timed line starts, or nullopt for another line.
std::optional<std::size_t> textStart(std::string_view line, const TimedLineSyntax& syntax) {
    const std::optional<std::size_t> second = pastBracket(line, 0, syntax, false);
    return second ? pastBracket(line, *second, syntax, true) : std::nullopt;
}

bool isFrameRate(std::string_view line, std::size_t textAt) {
    const std::string_view text = line.substr(textAt);
    const std::string_view times = line.substr(0, textAt);
    const bool first = times == "{1}{1}" || times == "{0}{0}";
    return first && !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return isDigit(c) || c == '.' || c == ',' || c == ' '; });
}

}  // namespace

bool isTimedLine(std::string_view line, const TimedLineSyntax& syntax) {
    return textStart(withoutByteOrderMarks(line), syntax).has_value();
}

std::vector<TextSpan> findTimedLineSpans(std::string_view document, const TimedLineSyntax& syntax) {
    std::vector<TextSpan> spans;
    bool anyLine = false;
    bool firstTimed = true;
    LineCursor lines(document);
    while (const std::optional<SourceLine> line = lines.next()) {
        const std::string_view content = withoutByteOrderMarks(line->content(document));
        anyLine = anyLine || !isBlankLine(content);
        const std::optional<std::size_t> textAt = textStart(content, syntax);
        if (!textAt) continue;
        const bool frameRate = syntax.frameRateLine && firstTimed && isFrameRate(content, *textAt);
        firstTimed = false;
        if (frameRate) continue;
        TextSpan span;
        span.begin = line->contentEnd - (content.size() - *textAt);
        span.end = line->contentEnd;
        span.number = static_cast<std::int64_t>(spans.size() + 1);
        std::string text(document.substr(span.begin, span.end - span.begin));
        std::replace(text.begin(), text.end(), '|', '\n');
        span.markup = std::make_shared<const MarkupText>(MarkupText{std::move(text), {}, "|"});
        spans.push_back(std::move(span));
    }
    if (spans.empty() && anyLine && firstTimed) {
        const std::string brackets =
            std::string(1, syntax.open) + "start" + syntax.close + syntax.open + "end" + syntax.close;
        throw SubtitleFormatError(std::string("not a ") + syntax.formatName + " file: no " + brackets + " line found");
    }
    return spans;
}
