#include "document/written_form.h"

#include <algorithm>
#include <optional>

#include "document/format_error.h"
#include "document/line_cursor.h"
#include "document/subrip_lines.h"

namespace {

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    // Most rewritten texts are one line: no cursor for them.
    if (std::none_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; })) {
        if (!text.empty()) lines.push_back(text);
        return lines;
    }
    LineCursor cursor(text);
    while (const std::optional<SourceLine> line = cursor.next()) lines.push_back(line->content(text));
    return lines;
}

std::string withEscapedArrows(std::string_view line) {
    std::string escaped;
    for (std::size_t arrow; (arrow = line.find("-->")) != std::string_view::npos; line.remove_prefix(arrow + 3)) {
        escaped.append(line.substr(0, arrow)).append("--&gt;");
    }
    return escaped.append(line);
}

// Whether a SubRip reader would take a line of `lines` for the start of a cue:
// two time stamps around an arrow, a number before a timing line (or before
// `following()`, the first non-blank line after the text), a timing line at the
// start of a paragraph, or a number there that ends the file (a file cut off).
// Both functions read the document around the text, so they run only when asked.
template <class Following, class AtParagraphStart>
bool opensSubRipCue(const std::vector<std::string>& lines, const Following& following,
                    const AtParagraphStart& atParagraphStart) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view content = withoutByteOrderMarks(lines[i]);
        if (isArrowTiming(content)) return true;
        const bool number = isWholeNumber(trimmedUnicodeBlanks(content));
        std::optional<std::string_view> next;
        if (i + 1 < lines.size()) {
            next = lines[i + 1];
        } else if (number) {
            next = following();
        }
        if (number && next && isTimingLike(withoutByteOrderMarks(*next))) return true;
        if (i == 0 && (isTimingWithTime(content) || (number && !next)) && atParagraphStart()) return true;
    }
    return false;
}

// Whether the text at `begin` starts a paragraph: the file's first line, or one after a blank line.
bool startsParagraph(std::string_view document, std::size_t begin) {
    std::string_view before = document.substr(0, begin);
    if (before.ends_with('\n')) before.remove_suffix(1);
    if (before.ends_with('\r')) before.remove_suffix(1);
    if (before.size() == begin) return begin == 0;
    // find_last_of with a set calls memchr once per byte.
    std::size_t lineStart = before.size();
    while (lineStart > 0 && before[lineStart - 1] != '\r' && before[lineStart - 1] != '\n') --lineStart;
    return isBlankLine(before.substr(lineStart));
}

// The first non-blank line after the span.
std::optional<std::string_view> nextNonBlankLine(std::string_view document, const TextSpan& span) {
    LineCursor lines(document, span.end);
    if (span.end > span.begin) lines.next();  // the rest of the text's last line
    while (const std::optional<SourceLine> line = lines.next()) {
        if (!isBlankLine(line->content(document))) return line->content(document);
    }
    return std::nullopt;
}

std::string joinedLines(const std::vector<std::string>& lines, std::string_view original, std::string_view lineEnd) {
    if (lines.size() < 2) return lines.empty() ? std::string() : lines.front();
    std::vector<std::string_view> ends;
    LineCursor cursor(original);
    while (const std::optional<SourceLine> line = cursor.next()) {
        if (line->end > line->contentEnd) ends.push_back(line->lineEnd(original));
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) joined += i - 1 < ends.size() ? ends[i - 1] : lineEnd;
        joined += lines[i];
    }
    return joined;
}

}  // namespace

std::string assWrittenForm(std::string text) {
    if (text.find_first_of("\r\n") == std::string::npos) return text;
    std::string written;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\r' && text[at] != '\n') {
            written += text[at];
            continue;
        }
        written += "\\N";
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    }
    return written;
}

std::vector<std::string> writtenLines(std::string_view text, SubtitleFormat format) {
    std::vector<std::string> written;
    for (const std::string_view line : linesOf(text)) {
        if (format == SubtitleFormat::WebVtt) {
            if (!line.empty()) written.push_back(withEscapedArrows(line));
        } else if (!isBlankLine(line)) {
            written.emplace_back(line);
        }
    }
    return written;
}

std::string writtenSpan(SubtitleFormat format, std::string_view document, const TextSpan& span, std::string_view text) {
    if (format == SubtitleFormat::Ass) return assWrittenForm(std::string(text));
    const std::vector<std::string> lines = writtenLines(text, format);
    if (format == SubtitleFormat::SubRip && opensSubRipCue(
                                                lines, [&] { return nextNonBlankLine(document, span); },
                                                [&] { return startsParagraph(document, span.begin); })) {
        throw UnwritableTextError(
            span.key(), "the rewritten text of cue " + span.key() +
                            " holds a line that SubRip readers would take for the start of a cue; nothing was "
                            "written");
    }
    const std::string_view original = document.substr(span.begin, span.end - span.begin);
    const std::string_view lineEnd = lineEndBytes(span.lineEnd);
    std::string bytes = joinedLines(lines, original, lineEnd);
    if (span.begin == span.end && !bytes.empty()) {
        std::string filled;
        for (int i = 0; i < span.fillBefore; ++i) filled += lineEnd;
        filled += bytes;
        for (int i = 0; i < span.fillAfter; ++i) filled += lineEnd;
        return filled;
    }
    return bytes;
}
