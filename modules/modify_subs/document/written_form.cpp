#include "document/written_form.h"

#include <algorithm>
#include <optional>

#include "document/format_error.h"
#include "document/line_cursor.h"
#include "document/markup_text.h"
#include "document/subrip_lines.h"
#include "document/ttml_spans.h"
#include "text/tag_runs.h"

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

// MicroDVD and MPL2 have no escape for '|': a rule's one would read back as a line break.
std::string barJoinedLines(const TextSpan& span, std::string_view text, const char* formatName) {
    if (text.find('|') != std::string_view::npos) {
        throw UnwritableTextError(span.key(), "the rewritten text of cue " + span.key() + " holds a '|', which " +
                                                  formatName + " readers read as a line break; nothing was written");
    }
    std::string written;
    written.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\r' && text[at] != '\n') {
            written += text[at];
            continue;
        }
        written += '|';
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    }
    return written;
}

// The markup of a text, in order: when a rewrite keeps the paragraph's own, the
// escaped text between is well-formed as the paragraph was, with no parse to tell.
std::vector<std::string_view> markupRuns(std::string_view text) {
    std::vector<std::string_view> markup;
    for (const TextRun& run : splitTextRuns(text, TagSyntax::Ttml)) {
        if (!run.visible) markup.push_back(run.text);
    }
    return markup;
}

// A rule's own markup that leaves the paragraph ill-formed is written as text instead.
std::string writtenTtml(const TextSpan& span, std::string_view original, std::string_view text) {
    std::string written = writtenMarkup(span, original, text, MarkupDialect::Ttml);
    if (markupRuns(text) == markupRuns(span.markup->decoded) || !ttmlContentProblem(written)) return written;
    // Then all its markup is the paragraph's own, nested elements as the file had them.
    written = writtenMarkup(span, original, text, MarkupDialect::Ttml, false);
    if (const std::optional<std::string> problem = ttmlContentProblem(written, false)) {
        throw UnwritableTextError(span.key(), "the rewritten text of paragraph " + span.key() + " holds " + *problem +
                                                  ", so TTML readers would not read it back; nothing was written");
    }
    return written;
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
        } else if (!isBlankLine(line) || line != withoutByteOrderMarks(line)) {
            written.emplace_back(line);
        }
    }
    if (format != SubtitleFormat::SubRip) return written;
    // The reader takes a line of byte-order marks between two text lines into the
    // text, and one before the first or after the last for the blank line it is.
    const auto mark = [](const std::string& line) { return isBlankLine(line); };
    written.erase(written.begin(), std::find_if_not(written.begin(), written.end(), mark));
    written.erase(std::find_if_not(written.rbegin(), written.rend(), mark).base(), written.end());
    return written;
}

std::string moduleSubRipText(std::string text, const std::string& key, bool atFileStart) {
    if (text.find_first_of("\r\n") == std::string::npos) return text;
    const std::vector<std::string> lines = writtenLines(text, SubtitleFormat::SubRip);
    // A blank line and the next cue's number follow the text, when anything does.
    if (opensSubRipCue(lines, [] { return std::optional<std::string_view>(); }, [&] { return atFileStart; })) {
        throw UnwritableTextError(key, "the rewritten text of cue " + key +
                                           " holds a line that SubRip readers would take for the start of a cue; "
                                           "nothing was written");
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += lines[i];
    }
    return joined;
}

std::string writtenSpan(SubtitleFormat format, std::string_view document, const TextSpan& span, std::string_view text) {
    const std::string_view original = document.substr(span.begin, span.end - span.begin);
    switch (format) {
        case SubtitleFormat::Ass: {
            std::string written = assWrittenForm(std::string(text));
            if (span.begin == span.end && !written.empty() && span.commaBefore) written.insert(0, ",");
            return written;
        }
        case SubtitleFormat::Sami:
            return writtenMarkup(span, original, text, MarkupDialect::Sami);
        case SubtitleFormat::Ttml:
            return writtenTtml(span, original, text);
        case SubtitleFormat::MicroDvd:
            return barJoinedLines(span, text, "MicroDVD");
        case SubtitleFormat::Mpl2:
            return barJoinedLines(span, text, "MPL2");
        case SubtitleFormat::SubRip:
        case SubtitleFormat::WebVtt:
            break;
    }
    const std::vector<std::string> lines = writtenLines(text, format);
    if (format == SubtitleFormat::SubRip && opensSubRipCue(
                                                lines, [&] { return nextNonBlankLine(document, span); },
                                                [&] { return startsParagraph(document, span.begin); })) {
        throw UnwritableTextError(
            span.key(), "the rewritten text of cue " + span.key() +
                            " holds a line that SubRip readers would take for the start of a cue; nothing was "
                            "written");
    }
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
