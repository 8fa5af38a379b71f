#include "rules/literal_replace.h"

#include <locale>

#include "rules/case_shape.h"

LiteralReplace::LiteralReplace(const std::string& pattern, const std::string& replacement, bool preserveCase)
    : _pattern(pattern), _format(replacement), _preserveCase(preserveCase) {}

std::size_t LiteralReplace::find(std::string_view text, std::size_t from, const CaseFold& fold) const {
    const std::size_t length = _pattern.size();
    for (std::size_t start = from; start + length <= text.size(); ++start) {
        std::size_t matched = 0;
        while (matched < length && foldsEqual(fold, text[start + matched], _pattern[matched])) {
            ++matched;
        }
        if (matched == length) {
            return start;
        }
    }
    return std::string_view::npos;
}

std::optional<std::string> LiteralReplace::apply(const std::string& text, const CaseFold& fold) const {
    const std::string_view whole(text);
    std::size_t start = find(whole, 0, fold);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    while (start != std::string_view::npos) {
        const std::size_t end = start + _pattern.size();
        const std::string_view prefix = whole.substr(copied, start - copied);
        out += prefix;
        const std::size_t written = out.size();
        const std::string_view match = whole.substr(start, _pattern.size());
        _format.appendTo(out, match, prefix, whole.substr(end));
        if (_preserveCase)
            shapeLikeMatch(out, written, match, std::use_facet<std::ctype<char>>(std::locale::classic()));
        copied = end;
        start = find(whole, end, fold);
    }
    out += whole.substr(copied);
    return out;
}
