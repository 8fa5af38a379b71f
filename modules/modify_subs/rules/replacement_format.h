#pragma once

#include <string>
#include <string_view>
#include <vector>

// A replacement text read once by std::regex_replace's ECMAScript format rules: "$&"
// gives the match, "$n" and "$nn" a group (empty when it took no part; nothing at all
// for a number past the pattern's groups), "$`" and "$'" the match's surroundings, "$$"
// a dollar, and a '$' before anything else stays. The text ends at its first NUL, as a
// C-string format does.
class ReplacementFormat {
public:
    // `groups`: the pattern's capture groups, group 0 (the match) not counted.
    explicit ReplacementFormat(const std::string& replacement, int groups = 0);

    // `prefix` runs from the end of the previous match (or the text's start) to the
    // match, `suffix` from the match to the end of the text.
    void appendTo(std::string& out, std::string_view match, std::string_view prefix, std::string_view suffix) const {
        appendTo(out, [&](int) { return match; }, prefix, suffix);
    }

    // The same with groups: `group(n)` is group n's text (0: the match).
    template <class Group>
    void appendTo(std::string& out, Group group, std::string_view prefix, std::string_view suffix) const {
        for (const Piece& piece : _pieces) {
            switch (piece.kind) {
                case Kind::Text:
                    out += piece.text;
                    break;
                case Kind::Group:
                    out += group(piece.group);
                    break;
                case Kind::Prefix:
                    out += prefix;
                    break;
                case Kind::Suffix:
                    out += suffix;
                    break;
            }
        }
    }

private:
    enum class Kind { Text, Group, Prefix, Suffix };
    struct Piece {
        Kind kind;
        std::string text;
        int group = 0;
    };

    void addText(std::string_view text);

    std::vector<Piece> _pieces;
};
