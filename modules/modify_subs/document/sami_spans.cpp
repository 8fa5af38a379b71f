#include "document/sami_spans.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "document/format_error.h"
#include "document/markup_text.h"
#include "text/tag_runs.h"

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAsciiAlnum(char c) {
    const char lower = lowerAscii(c);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9');
}

// The tag name at `at`, in lower case; a name longer than any the reader looks for is cut.
std::string lowerNameAt(std::string_view document, std::size_t at) {
    std::string name;
    for (; at < document.size() && isAsciiAlnum(document[at]) && name.size() < 8; ++at)
        name += lowerAscii(document[at]);
    return name;
}

// A paragraph of blanks and &nbsp; only, read before any decoding: the usual clear cue.
bool isClearCue(std::string_view content) {
    for (std::size_t at = 0; at < content.size();) {
        if (content.substr(at, 6) == "&nbsp;") {
            at += 6;
        } else if (content[at] == ' ' || content[at] == '\t' || content[at] == '\r' || content[at] == '\n') {
            ++at;
        } else {
            return false;
        }
    }
    return true;
}

// Where the case-insensitive `needle` (lower case) next stands from `at`, or the end.
std::size_t findLower(std::string_view document, std::string_view needle, std::size_t at) {
    const auto found =
        std::search(document.begin() + static_cast<std::ptrdiff_t>(at), document.end(), needle.begin(), needle.end(),
                    [](char c, char lower) { return std::tolower(static_cast<unsigned char>(c)) == lower; });
    return static_cast<std::size_t>(found - document.begin());
}

// Only a paragraph with something besides blanks and no-break spaces is a text.
bool holdsText(const TextSpan& span) {
    std::string_view text = span.markup->decoded;
    while (!text.empty()) {
        if (text.starts_with("\xC2\xA0")) {
            text.remove_prefix(2);
        } else if (std::isspace(static_cast<unsigned char>(text.front()))) {
            text.remove_prefix(1);
        } else {
            return true;
        }
    }
    return false;
}

class SamiReader {
public:
    explicit SamiReader(std::string_view document) : _document(document) {}

    std::vector<TextSpan> read() {
        std::size_t at = 0;
        while ((at = _document.find('<', at)) != std::string_view::npos) at = readMarkup(at);
        endParagraph(_document.size());
        if (_blocks == 0 && !_sami) throw SubtitleFormatError("not a SAMI file: no <SAMI> or <SYNC> tag found");
        return std::move(_spans);
    }

private:
    // Reads the markup at `at`, a '<'; returns where reading goes on.
    std::size_t readMarkup(std::size_t at) {
        // Tags end where the text runs say they do, so a rewrite reads back as it was read.
        const std::size_t length = markupLength(_document.substr(at), TagSyntax::Sami);
        // A '<' that opens no tag is text, as in an HTML reader.
        if (length == 0) return at + 1;
        const std::size_t end = at + length;
        const bool closing = _document[at + 1] == '/';
        const std::string name = lowerNameAt(_document, at + (closing ? 2 : 1));
        if (name.empty()) {  // a comment, a CDATA section or a processing instruction
            piece(MarkupPiece::Kind::Markup, at, end);
            return end;
        }
        if (name == "sami") _sami = true;
        if (!closing && (name == "style" || name == "title" || name == "script")) {
            endParagraph(at);
            const std::size_t endTag = findLower(_document, "</" + name, end);
            const std::size_t endTagClose = _document.find('>', endTag);
            return endTagClose == std::string_view::npos ? _document.size() : endTagClose + 1;
        }
        if (!closing && (name == "sync" || name == "p")) {
            endParagraph(at);
            if (name == "sync") ++_blocks;
            _content = MarkupContent{end, end, {}, false};
        } else if (name == "p" || name == "sync" || name == "body" || name == "sami" || name == "html" ||
                   name == "head") {
            endParagraph(at);
        } else {
            piece(name == "br" && !closing ? MarkupPiece::Kind::Break : MarkupPiece::Kind::Markup, at, end);
        }
        return end;
    }

    void piece(MarkupPiece::Kind kind, std::size_t begin, std::size_t end) {
        if (_content) _content->pieces.push_back({kind, begin, end});
    }

    void endParagraph(std::size_t at) {
        if (!_content) return;
        _content->end = at;
        if (_content->pieces.empty() && isClearCue(_document.substr(_content->begin, at - _content->begin))) {
            _content.reset();
            return;
        }
        TextSpan span = markupSpan(_document, *_content, MarkupDialect::Sami, _blocks, "<br>");
        _content.reset();
        if (holdsText(span)) _spans.push_back(std::move(span));
    }

    std::string_view _document;
    std::vector<TextSpan> _spans;
    std::optional<MarkupContent> _content;  // the paragraph being read
    int _blocks = 0;
    bool _sami = false;
};

}  // namespace

std::vector<TextSpan> findSamiSpans(std::string_view document) { return SamiReader(document).read(); }
