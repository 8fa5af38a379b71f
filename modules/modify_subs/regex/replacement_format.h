#pragma once

#include <string>
#include <string_view>
#include <vector>

// A replacement text read once by std::regex_replace's ECMAScript format rules, for
// matches that have no capture groups: "$&", "$0" and "$00" give the match, "$`" and
// "$'" its surroundings, "$$" a dollar, other group numbers nothing, and a '$' before
// anything else stays. The text ends at its first NUL, as a C-string format does.
class ReplacementFormat {
public:
    explicit ReplacementFormat(const std::string& replacement);

    // `prefix` runs from the end of the previous match (or the text's start) to the
    // match, `suffix` from the match to the end of the text.
    void appendTo(std::string& out, std::string_view match, std::string_view prefix, std::string_view suffix) const;

private:
    enum class Kind { Text, Match, Prefix, Suffix };
    struct Piece {
        Kind kind;
        std::string text;
    };

    void addText(std::string_view text);

    std::vector<Piece> _pieces;
};
