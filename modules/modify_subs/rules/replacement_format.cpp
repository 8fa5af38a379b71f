#include "rules/replacement_format.h"

#include <cstring>

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ReplacementFormat::ReplacementFormat(const std::string& replacement, int groups) {
    const std::string_view format(replacement.c_str(), std::strlen(replacement.c_str()));
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t dollar = format.find('$', pos);
        if (dollar == std::string_view::npos) {
            addText(format.substr(pos));
            break;
        }
        addText(format.substr(pos, dollar - pos));
        pos = dollar + 1;
        if (pos == format.size()) {
            addText("$");
            break;
        }
        const char next = format[pos];
        if (next == '$') {
            addText("$");
            ++pos;
        } else if (next == '&') {
            _pieces.push_back({Kind::Group, {}, 0});
            ++pos;
        } else if (next == '`') {
            _pieces.push_back({Kind::Prefix, {}});
            ++pos;
        } else if (next == '\'') {
            _pieces.push_back({Kind::Suffix, {}});
            ++pos;
        } else if (isAsciiDigit(next)) {
            int group = next - '0';
            ++pos;
            if (pos < format.size() && isAsciiDigit(format[pos])) {
                group = group * 10 + (format[pos] - '0');
                ++pos;
            }
            if (group <= groups) {
                _pieces.push_back({Kind::Group, {}, group});
            }
        } else {
            addText("$");
        }
    }
}

void ReplacementFormat::addText(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (!_pieces.empty() && _pieces.back().kind == Kind::Text) {
        _pieces.back().text += text;
    } else {
        _pieces.push_back({Kind::Text, std::string(text)});
    }
}
