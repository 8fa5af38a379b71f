#include "document/markup_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>

#include "text/tag_runs.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// How the content reads, piece by piece, once data is cut into layout and text.
enum class Token { Text, Layout, Newline, Markup, Break };

struct Piece {
    Token token;
    std::size_t begin;
    std::size_t end;
};

void appendData(std::vector<Piece>& out, std::string_view document, std::size_t begin, std::size_t end, bool preserve) {
    std::size_t at = begin;
    while (at < end) {
        // find_first_of with a set calls memchr once per byte; data is short.
        std::size_t lineEnd = at;
        while (lineEnd < end && document[lineEnd] != '\n' && document[lineEnd] != '\r') ++lineEnd;
        if (lineEnd == end) {
            out.push_back({Token::Text, at, end});
            break;
        }
        std::size_t blankBegin = lineEnd;
        std::size_t blankEnd = lineEnd + 1;
        if (preserve) {
            if (document[lineEnd] == '\r' && blankEnd < end && document[blankEnd] == '\n') ++blankEnd;
        } else {
            // Blanks before the line end are the text's: "a \n" reads "a " back.
            while (blankEnd < end && isSpace(document[blankEnd])) ++blankEnd;
        }
        if (blankBegin > at) out.push_back({Token::Text, at, blankBegin});
        out.push_back({preserve ? Token::Newline : Token::Layout, blankBegin, blankEnd});
        at = blankEnd;
    }
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character of the numeric reference body ("#38", "#x26"), when it is one a text may hold.
std::optional<std::uint32_t> numericReference(std::string_view body) {
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t code = 0;
    for (const char c : digits) {
        const int value = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (value < 0) return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    return code;
}

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

bool lowerEquals(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(), [](char c, char l) {
               return std::tolower(static_cast<unsigned char>(c)) == l;
           });
}

// <br>, <BR/>, <tt:br />, </br>: the rules see these as "\n", never as markup.
bool isBreakTag(std::string_view markup) {
    std::size_t end = markup.starts_with("</") ? 2 : 1;
    const std::size_t nameStart = end;
    while (end < markup.size() && markup[end] != '>' && markup[end] != '/' &&
           !std::isspace(static_cast<unsigned char>(markup[end])))
        ++end;
    std::string_view name = markup.substr(nameStart, end - nameStart);
    if (const std::size_t colon = name.rfind(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
    return lowerEquals(name, "br");
}

// Whether SAMI readers would end the paragraph at `markup`: <P>, <SYNC>, </BODY>, an open comment...
bool endsSamiText(std::string_view markup) {
    if (markup.starts_with("<!--")) return !markup.ends_with("-->");
    std::size_t end = markup.starts_with("</") ? 2 : 1;
    const std::size_t nameStart = end;
    while (end < markup.size() && std::isalnum(static_cast<unsigned char>(markup[end]))) ++end;
    const std::string_view name = markup.substr(nameStart, end - nameStart);
    static constexpr std::array<std::string_view, 9> structure = {"p",    "sync",  "body",  "sami",  "head",
                                                                  "html", "style", "title", "script"};
    return std::any_of(structure.begin(), structure.end(),
                       [&](std::string_view tag) { return lowerEquals(name, tag); });
}

// The markup the paragraph holds as it was read: its tags, comments and the like, and
// SAMI references left undecoded. A '<' of the text (read from "&lt;") is not among them.
std::unordered_set<std::string_view> ownMarkup(std::string_view original, TagSyntax syntax, MarkupDialect dialect) {
    std::unordered_set<std::string_view> own;
    for (const TextRun& run : splitTextRuns(original, syntax)) {
        if (!run.visible && !isBreakTag(run.text) &&
            (run.text.starts_with('<') || decodedReferences(run.text, dialect) == run.text))
            own.insert(run.text);
    }
    return own;
}

}  // namespace

std::string decodedReferences(std::string_view data, MarkupDialect dialect) {
    if (data.find('&') == std::string_view::npos) return std::string(data);
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> named = {
        {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", kNoBreakSpace}}};
    std::string text;
    text.reserve(data.size());
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t amp = data.find('&', at);
        text.append(data.substr(at, amp - at));
        if (amp == std::string_view::npos) break;
        std::size_t stop = amp + 1;
        while (stop < data.size() && (std::isalnum(static_cast<unsigned char>(data[stop])) || data[stop] == '#'))
            ++stop;
        const std::string_view body = data.substr(amp + 1, stop - amp - 1);
        const bool closed = stop < data.size() && data[stop] == ';';
        std::optional<std::string> decoded;
        if (body.starts_with('#')) {
            if (const std::optional<std::uint32_t> code = numericReference(body); code && closed) {
                decoded.emplace();
                appendUtf8(*decoded, *code);
            }
        } else {
            // XML has no &nbsp;, the last; HTML reads names in any case, and without a ';'.
            const bool sami = dialect == MarkupDialect::Sami;
            for (std::size_t i = 0; i < (sami ? named.size() : named.size() - 1); ++i) {
                const auto& [name, character] = named[i];
                if (sami ? lowerEquals(body, name) : closed && body == name) decoded = character;
            }
        }
        if (!decoded) {
            text += '&';
            at = amp + 1;
            continue;
        }
        text += *decoded;
        at = stop + (closed ? 1 : 0);
    }
    return text;
}

TextSpan markupSpan(std::string_view document, const MarkupContent& content, MarkupDialect dialect, std::int64_t number,
                    std::string lineBreak) {
    // Most paragraphs are one line of data without references: their bytes are their text.
    if (content.pieces.empty()) {
        const std::string_view bytes = document.substr(content.begin, content.end - content.begin);
        if (std::none_of(bytes.begin(), bytes.end(), [](char c) { return c == '&' || c == '\r' || c == '\n'; })) {
            TextSpan span;
            span.begin = content.begin;
            span.end = content.end;
            span.number = number;
            span.markup = std::make_shared<const MarkupText>(MarkupText{std::string(bytes), {}, std::move(lineBreak)});
            return span;
        }
    }
    std::vector<Piece> pieces;
    auto add = [&](MarkupPiece::Kind kind, std::size_t begin, std::size_t end) {
        if (begin >= end) return;
        if (kind == MarkupPiece::Kind::Data) {
            appendData(pieces, document, begin, end, content.preserve);
        } else {
            pieces.push_back({kind == MarkupPiece::Kind::Break ? Token::Break : Token::Markup, begin, end});
        }
    };
    std::size_t at = content.begin;
    std::optional<std::size_t> dataFrom;
    // Data pieces that touch are read as one, so that layout is seen whole.
    auto flushData = [&](std::size_t upTo) {
        if (dataFrom) add(MarkupPiece::Kind::Data, *dataFrom, upTo);
        dataFrom.reset();
    };
    auto take = [&](MarkupPiece::Kind kind, std::size_t begin, std::size_t end) {
        if (kind == MarkupPiece::Kind::Data) {
            if (!dataFrom) dataFrom = begin;
            return;
        }
        flushData(begin);
        add(kind, begin, end);
    };
    for (const MarkupPiece& piece : content.pieces) {
        if (piece.begin < at || piece.end > content.end) continue;
        if (piece.begin > at) take(MarkupPiece::Kind::Data, at, piece.begin);
        take(piece.kind, piece.begin, piece.end);
        at = piece.end;
    }
    if (at < content.end) take(MarkupPiece::Kind::Data, at, content.end);
    flushData(content.end);

    // Blanks that open the content before a line end are layout with it.
    if (pieces.size() > 1 && pieces[0].token == Token::Text && pieces[1].token == Token::Layout &&
        std::all_of(document.begin() + static_cast<std::ptrdiff_t>(pieces[0].begin),
                    document.begin() + static_cast<std::ptrdiff_t>(pieces[0].end), isSpace)) {
        pieces[1].begin = pieces[0].begin;
        pieces.erase(pieces.begin());
    }
    std::size_t first = 0;
    std::size_t last = pieces.size();
    while (first < last && pieces[first].token == Token::Layout) ++first;
    while (last > first && pieces[last - 1].token == Token::Layout) --last;

    TextSpan span;
    span.number = number;
    MarkupText markup;
    markup.lineBreak = std::move(lineBreak);
    span.begin = first < last ? pieces[first].begin : content.begin;
    span.end = first < last ? pieces[last - 1].end : content.begin;
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        const Piece& piece = pieces[i];
        const std::string_view bytes = document.substr(piece.begin, piece.end - piece.begin);
        switch (piece.token) {
            case Token::Text:
                text += decodedReferences(bytes, dialect);
                break;
            case Token::Markup:
                text += bytes;
                break;
            case Token::Layout: {
                const bool besideBreak = (i > first && pieces[i - 1].token == Token::Break) ||
                                         (i + 1 < last && pieces[i + 1].token == Token::Break);
                if (!besideBreak) text += ' ';
                break;
            }
            case Token::Newline:
                text += '\n';
                markup.breaks.emplace_back(bytes);
                break;
            case Token::Break: {
                // Layout after a break is its own; layout before it, unless an earlier break took it.
                std::size_t begin = piece.begin;
                std::size_t end = piece.end;
                if (i > first && pieces[i - 1].token == Token::Layout &&
                    !(i > first + 1 && pieces[i - 2].token == Token::Break)) {
                    begin = pieces[i - 1].begin;
                }
                if (i + 1 < last && pieces[i + 1].token == Token::Layout) end = pieces[i + 1].end;
                text += '\n';
                markup.breaks.emplace_back(document.substr(begin, end - begin));
                break;
            }
        }
    }
    markup.decoded = std::move(text);
    span.markup = std::make_shared<const MarkupText>(std::move(markup));
    return span;
}

std::string writtenMarkup(const TextSpan& span, std::string_view original, std::string_view text, MarkupDialect dialect,
                          bool newMarkup) {
    const TagSyntax syntax = dialect == MarkupDialect::Sami ? TagSyntax::Sami : TagSyntax::Ttml;
    const std::unordered_set<std::string_view> own = ownMarkup(original, syntax, dialect);
    // What looked like markup in the text as read but was text ("&lt;b&gt;") stays text.
    // Its '<' alone is text: markup after it (an own <i> inside "&lt;!-- <i>") still counts.
    std::unordered_set<std::string_view> lookalikes;
    const std::string_view decoded = span.markup ? std::string_view(span.markup->decoded) : std::string_view();
    for (std::size_t at = 0; at < decoded.size(); ++at) {
        if (decoded[at] != '<' && decoded[at] != '&') continue;
        const std::string_view markup = decoded.substr(at, markupLength(decoded.substr(at), syntax));
        if (markup.empty()) continue;
        if (own.contains(markup)) {
            at += markup.size() - 1;
        } else {
            lookalikes.insert(markup);
        }
    }
    std::string written;
    written.reserve(text.size() + text.size() / 8);
    std::size_t nextBreak = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '<' || c == '&') {
            const std::string_view markup = text.substr(at, markupLength(text.substr(at), syntax));
            const bool kept = !markup.empty() && (own.contains(markup) ||
                                                  (newMarkup && !lookalikes.contains(markup) && !isBreakTag(markup) &&
                                                   !(dialect == MarkupDialect::Sami && endsSamiText(markup))));
            if (kept) {
                written += markup;
                at += markup.size() - 1;
                continue;
            }
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
            std::string_view form = nextBreak < span.markup->breaks.size()
                                        ? std::string_view(span.markup->breaks[nextBreak++])
                                        : std::string_view(span.markup->lineBreak);
            // Blanks of the text after a break would read back as more of the layout that follows its tag.
            if (at + 1 < text.size() && (text[at + 1] == ' ' || text[at + 1] == '\t')) {
                const std::size_t tagEnd = form.rfind('>');
                const std::size_t layout =
                    tagEnd == std::string_view::npos ? tagEnd : form.find_first_of("\r\n", tagEnd);
                if (layout != std::string_view::npos) form = form.substr(0, layout);
            }
            written += form;
        } else if (c == '&') {
            written += "&amp;";
        } else if (c == '<') {
            written += "&lt;";
        } else if (c == '>') {
            written += "&gt;";
        } else if (dialect == MarkupDialect::Sami && text.substr(at).starts_with(kNoBreakSpace)) {
            written += "&nbsp;";
            ++at;
        } else {
            written += c;
        }
    }
    return written;
}
