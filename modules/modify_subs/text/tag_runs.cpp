#include "text/tag_runs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <utility>

#include "text/character_references.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where the brace block opening at `start` ends (one past its '}'), or the text's end.
std::size_t blockEnd(std::string_view text, std::size_t start) {
    const std::size_t close = text.find('}', start);
    return close == std::string_view::npos ? text.size() : close + 1;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A \p tag's value as libass reads it (strtol: white space, a sign, decimal
// digits, clamped to 32 bits); 0 without digits.
long long drawingScale(std::string_view argument) {
    std::size_t at = 0;
    while (at < argument.size() && std::isspace(static_cast<unsigned char>(argument[at]))) ++at;
    bool negative = false;
    if (at < argument.size() && (argument[at] == '-' || argument[at] == '+')) negative = argument[at++] == '-';
    long long value = 0;
    for (; at < argument.size() && isDigit(argument[at]); ++at) {
        value = std::min<long long>(value * 10 + (argument[at] - '0'), 1LL << 32);
    }
    return negative ? -value : value;
}

// The drawing state after the override block `block` ("{...}"), tag by tag as
// libass parses them: blanks may follow the backslash, a name runs to '(' or the
// next backslash, and any name starting with 'p' but "pos" and "pbo" sets the
// drawing scale (its argument in parentheses, or the rest of the name, blanks
// allowed). A scale above 0 draws; \p, \p0 and \p-1 end a drawing. Tags inside
// \t(...) count too, as libass applies them.
bool drawingAfter(std::string_view block, bool drawing) {
    const std::string_view tags = block.substr(1, block.size() - 2);
    for (std::size_t at = tags.find('\\'); at != std::string_view::npos; at = tags.find('\\', at)) {
        std::size_t name = at + 1;
        while (name < tags.size() && isBlank(tags[name])) ++name;
        const std::size_t nameEnd = std::min(tags.find_first_of("(\\", name), tags.size());
        at = nameEnd;
        const std::string_view tag = tags.substr(name, nameEnd - name);
        if (!tag.starts_with('p') || tag.starts_with("pos") || tag.starts_with("pbo")) continue;
        std::string_view argument = tag.substr(1);
        if (nameEnd < tags.size() && tags[nameEnd] == '(') {
            const std::size_t close = std::min(tags.find_first_of(",\\)", nameEnd + 1), tags.size());
            argument = tags.substr(nameEnd + 1, close - nameEnd - 1);
        }
        drawing = drawingScale(argument) > 0;
    }
    return drawing;
}

// The length of the SubRip tag at the start of `text`, or 0 when it is not one.
std::size_t subRipTagLength(std::string_view text) {
    static constexpr std::array<std::string_view, 5> names = {"i", "b", "u", "s", "font"};
    std::size_t at = 1;
    if (at < text.size() && text[at] == '/') ++at;
    for (const std::string_view name : names) {
        if (text.size() < at + name.size()) continue;
        if (!std::equal(name.begin(), name.end(), text.begin() + static_cast<std::ptrdiff_t>(at),
                        [](char n, char c) { return n == lowerAscii(c); })) {
            continue;
        }
        const std::size_t after = at + name.size();
        if (after < text.size() && (text[after] == '>' || std::isspace(static_cast<unsigned char>(text[after])))) {
            const std::size_t close = text.find('>', after);
            return close == std::string_view::npos ? 0 : close + 1;
        }
    }
    return 0;
}

bool isAsciiLetter(char c) { return lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z'; }

// "mm:ss.ttt" or "hh:mm:ss.ttt", with two or more digits of hours.
bool isWebVttTimeStamp(std::string_view text) {
    constexpr std::string_view minutesOn = "00:00.000";
    if (text.size() < minutesOn.size()) return false;
    const std::string_view hours = text.substr(0, text.size() - minutesOn.size());
    if (!hours.empty() &&
        (hours.size() < 3 || !hours.ends_with(':') || !std::all_of(hours.begin(), hours.end() - 1, isDigit))) {
        return false;
    }
    const std::string_view rest = text.substr(hours.size());
    return std::equal(rest.begin(), rest.end(), minutesOn.begin(),
                      [](char c, char expected) { return expected == '0' ? isDigit(c) : c == expected; });
}

// The length of the WebVTT tag or time stamp at the start of `text`, or 0. Any
// start or end tag counts, not only the known ones: players hide unknown tags too.
// A '<' before the '>' leaves this one as text, which keeps a long text of stray
// '<'s from being searched to its end at each of them.
std::size_t webVttTagLength(std::string_view text) {
    const std::size_t close = text.find_first_of("<>", 1);
    if (close == std::string_view::npos || text[close] == '<') return 0;
    const std::size_t nameAt = text.size() > 1 && text[1] == '/' ? 2 : 1;
    if (nameAt < close && isAsciiLetter(text[nameAt])) return close + 1;
    return isWebVttTimeStamp(text.substr(1, close - 1)) ? close + 1 : 0;
}

class RunSplitter {
public:
    explicit RunSplitter(std::string_view text) : _text(text) {}

    void protect(std::size_t start, std::size_t end) {
        if (start > _visibleStart) _runs.push_back({_text.substr(_visibleStart, start - _visibleStart), true});
        _runs.push_back({_text.substr(start, end - start), false});
        _visibleStart = end;
    }

    std::vector<TextRun> finish() {
        if (_visibleStart < _text.size()) _runs.push_back({_text.substr(_visibleStart), true});
        return std::move(_runs);
    }

private:
    std::string_view _text;
    std::size_t _visibleStart = 0;
    std::vector<TextRun> _runs;
};

// MicroDVD's and MPL2's {...} codes, and MPL2's '/' of italics at a line's start.
std::vector<TextRun> splitCodes(std::string_view text, TagSyntax syntax) {
    RunSplitter splitter(text);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 0;
        if (text[i] == '{') length = blockEnd(text, i) - i;
        if (text[i] == '/' && syntax == TagSyntax::Mpl2 && (i == 0 || text[i - 1] == '\n')) length = 1;
        if (length == 0) {
            ++i;
            continue;
        }
        splitter.protect(i, i + length);
        i += length;
    }
    return splitter.finish();
}

// As libass reads a text: a '{' opens an override block only when a '}' follows
// somewhere (else it is shown); a drawing runs to the next '{'; \N, \n and \h
// are escapes, and \{ and \} show the brace, visible text to the rules.
std::vector<TextRun> splitAss(std::string_view text) {
    RunSplitter splitter(text);
    bool drawing = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t close = text[i] == '{' ? text.find('}', i) : std::string_view::npos;
        if (close != std::string_view::npos) {
            drawing = drawingAfter(text.substr(i, close + 1 - i), drawing);
            splitter.protect(i, close + 1);
            i = close + 1;
        } else if (drawing) {
            const std::size_t end = std::min(text.find('{', i + 1), text.size());
            splitter.protect(i, end);
            i = end;
        } else if (text[i] == '\\' && i + 1 < text.size() &&
                   std::string_view("Nnh").find(text[i + 1]) != std::string_view::npos) {
            splitter.protect(i, i + 2);
            i += 2;
        } else {
            i += text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '{' || text[i + 1] == '}') ? 2 : 1;
        }
    }
    return splitter.finish();
}

std::vector<TextRun> splitMarkup(std::string_view text, TagSyntax syntax) {
    RunSplitter splitter(text);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 0;
        if (text[i] == '{' && syntax == TagSyntax::SubRip) length = blockEnd(text, i) - i;
        if (syntax == TagSyntax::Sami || syntax == TagSyntax::Ttml) {
            if (text[i] == '<' || text[i] == '&') length = markupLength(text.substr(i), syntax);
        } else if (text[i] == '<') {
            length = syntax == TagSyntax::SubRip ? subRipTagLength(text.substr(i)) : webVttTagLength(text.substr(i));
        }
        // A reference the rules don't see as a character is hidden as a tag is.
        if (text[i] == '&' && syntax == TagSyntax::WebVtt) {
            const std::optional<WebVttReference> reference = webVttReferenceAt(text.substr(i));
            if (reference && !reference->character) length = reference->length;
        }
        if (length == 0) {
            ++i;
            continue;
        }
        splitter.protect(i, i + length);
        i += length;
    }
    return splitter.finish();
}

}  // namespace

std::size_t markupLength(std::string_view text, TagSyntax syntax) {
    if (text.empty()) return 0;
    if (text[0] == '&') {
        if (syntax != TagSyntax::Sami) return 0;
        std::size_t at = 1;
        while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '#')) ++at;
        return at > 1 && at < text.size() && text[at] == ';' ? at + 1 : 0;
    }
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> sections = {
        {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}}};
    for (const auto& [open, close] : sections) {
        if (!text.starts_with(open)) continue;
        const std::size_t at = text.find(close, open.size());
        return at == std::string_view::npos ? text.size() : at + close.size();
    }
    const std::size_t nameAt = text.size() > 1 && text[1] == '/' ? 2 : 1;
    if (nameAt >= text.size()) return 0;
    const char first = text[nameAt];
    if (!isAsciiLetter(first) && !(syntax == TagSyntax::Ttml && (first == '_' || first == ':'))) return 0;
    // XML's attribute values may hold '>'; SAMI's, unquoted as often as not, are read as HTML
    // readers read them, and a quote there would reach across whatever follows.
    const bool quoted = syntax == TagSyntax::Ttml;
    char quote = 0;
    for (std::size_t at = nameAt; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (quoted && (c == '"' || c == '\'')) {
            quote = c;
        } else if (c == '>') {
            return at + 1;
        } else if (c == '<') {
            return 0;
        }
    }
    return 0;
}

std::vector<TextRun> splitTextRuns(std::string_view text, TagSyntax syntax) {
    switch (syntax) {
        case TagSyntax::Ass:
            return splitAss(text);
        case TagSyntax::SubRip:
        case TagSyntax::WebVtt:
        case TagSyntax::Sami:
        case TagSyntax::Ttml:
            return splitMarkup(text, syntax);
        case TagSyntax::MicroDvd:
        case TagSyntax::Mpl2:
            return splitCodes(text, syntax);
        case TagSyntax::None:
            break;
    }
    if (text.empty()) return {};
    return {{text, true}};
}

namespace {

std::string rewrittenRun(std::string_view run, TagSyntax syntax,
                         const std::function<std::string(const std::string&)>& rewrite, bool respell) {
    switch (syntax) {
        case TagSyntax::WebVtt: {
            const ShownText shown = shownWebVttText(run);
            return writtenWebVttText(run, shown, rewrite(shown.text));
        }
        case TagSyntax::Ass: {
            const ShownText shown = shownAssText(run);
            return writtenAssText(run, shown, respell ? shown.text : rewrite(shown.text), respell);
        }
        case TagSyntax::SubRip:
        case TagSyntax::Sami:
        case TagSyntax::Ttml:
        case TagSyntax::MicroDvd:
        case TagSyntax::Mpl2:
        case TagSyntax::None:
            break;
    }
    return rewrite(std::string(run));
}

}  // namespace

std::string rewriteVisibleRuns(std::string_view text, TagSyntax syntax,
                               const std::function<std::string(const std::string&)>& rewrite) {
    const std::vector<TextRun> runs = splitTextRuns(text, syntax);
    std::string result;
    result.reserve(text.size());
    std::vector<std::size_t> ends;  // of each run's piece in `result`, kept for ASS
    if (syntax == TagSyntax::Ass) ends.reserve(runs.size());
    bool changed = false;
    bool shownBraces = false;  // in an ASS run the rules left as it was
    for (const TextRun& run : runs) {
        if (!run.visible) {
            result += run.text;
        } else {
            const std::size_t at = result.size();
            result += rewrittenRun(run.text, syntax, rewrite, false);
            const bool same = std::string_view(result).substr(at) == run.text;
            changed = changed || !same;
            shownBraces = shownBraces ||
                          (same && syntax == TagSyntax::Ass && run.text.find_first_of("{}") != std::string_view::npos);
        }
        if (syntax == TagSyntax::Ass) ends.push_back(result.size());
    }
    if (!changed || !shownBraces) return result;
    // A '}' the rules wrote anywhere would close a shown '{' before it into a
    // block: once a text changes, every visible brace is escaped, in the runs the
    // rules left too (the rules are not run again).
    std::string respelled;
    respelled.reserve(result.size() + 8);
    std::size_t at = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::string_view piece = std::string_view(result).substr(at, ends[i] - at);
        at = ends[i];
        if (runs[i].visible && piece == runs[i].text) {
            respelled += rewrittenRun(piece, syntax, rewrite, true);
        } else {
            respelled += piece;
        }
    }
    return respelled;
}
