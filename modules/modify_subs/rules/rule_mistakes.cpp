#include "rules/rule_mistakes.h"

#include <cstring>
#include <string_view>

#include "pattern/pattern_lexer.h"
#include "pattern/pattern_mistakes.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string groupsHeld(int groups) {
    if (groups == 0) return "the pattern has no group: put the part in parentheses, or write $& for the whole match";
    return groups == 1 ? "the pattern has one group, $1" : "the pattern's groups are $1 to $" + std::to_string(groups);
}

// "$n" and "$nn" as the replacement format reads them, each past the groups once.
void unknownGroups(std::string_view format, int groups, std::vector<std::string>& out) {
    for (std::size_t pos = format.find('$'); pos != std::string_view::npos; pos = format.find('$', pos)) {
        std::size_t next = pos + 1;
        if (next < format.size() && isDigit(format[next])) {
            int group = format[next++] - '0';
            if (next < format.size() && isDigit(format[next])) group = group * 10 + (format[next++] - '0');
            if (group > groups) {
                out.push_back(quoted(format.substr(pos, next - pos)) +
                              " in the replacement writes nothing: " + groupsHeld(groups));
            }
        } else if (next < format.size()) {
            ++next;  // "$$", "$&" and the others take the character after
        }
        pos = next;
    }
}

// "\1" to "\9" (not ASS's "\1c" or "\2a", which a letter follows) and "\g<...>".
void pythonGroups(std::string_view format, std::vector<std::string>& out) {
    for (std::size_t pos = format.find('\\'); pos != std::string_view::npos; pos = format.find('\\', pos + 1)) {
        const std::string_view rest = format.substr(pos);
        std::size_t length = 0;
        std::string fix;
        if (rest.starts_with("\\\\")) {
            ++pos;  // an escaped backslash
            continue;
        }
        if (rest.size() >= 2 && rest[1] >= '1' && rest[1] <= '9' && (rest.size() == 2 || !isAsciiLetter(rest[2]))) {
            length = 2;
            fix = "write $" + std::string(1, rest[1]);
        } else if (rest.starts_with("\\g<") && rest.find('>') != std::string_view::npos) {
            length = rest.find('>') + 1;
            const std::string_view name = rest.substr(3, length - 4);
            const bool numbered = !name.empty() && name.size() <= 2 && isDigit(name[0]) && isDigit(name.back());
            fix =
                numbered ? "write $" + std::string(name) : "write $1, $2... by the group's place: groups have no names";
        }
        if (length == 0) continue;
        out.push_back(quoted(rest.substr(0, length)) + " in the replacement is Python's way to write a group, and is " +
                      "written as it is: " + fix);
        pos += length - 1;
    }
}

}  // namespace

std::vector<std::string> ruleMistakes(const ReplacementRule& rule) {
    std::vector<std::string> mistakes;
    const LexedPattern lexed = lexPattern(rule.compiledPattern());
    if (!lexed.valid()) return mistakes;
    if (rule.pattern.empty()) {
        mistakes.push_back(
            "the empty pattern matches between every two characters (with \"x\", \"Hi\" becomes "
            "\"xHxix\"): give the rule a pattern or remove it");
    } else if (matchesEmptyAnywhere(lexed)) {
        mistakes.push_back(
            "the pattern can match an empty text, so the replacement is written between every two "
            "characters where nothing else matches: make it match at least one character (+ for *, "
            "no ? or * on the whole)");
    }
    // The replacement format ends at a NUL, as the engine reads it.
    const std::string_view format(rule.replacement.c_str(), std::strlen(rule.replacement.c_str()));
    pythonGroups(format, mistakes);
    unknownGroups(format, captureGroups(lexed), mistakes);
    return mistakes;
}
