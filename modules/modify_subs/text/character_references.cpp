#include "text/character_references.h"

#include <array>
#include <functional>
#include <utility>

#include "text/byte_alignment.h"
#include "text/utf8_text.h"

namespace {

// Beyond this many changed bytes in one stretch, the search for kept escapes
// would hold megabytes; the stretch is then spelled afresh.
constexpr std::size_t kMaxEdits = 2000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isAlphanumeric(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Readers give controls, C1 numbers (read as Windows-1252), surrogates and
// non-characters their own treatments; those references stay hidden instead.
bool isPlainCharacter(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
    return !(c >= 0xFDD0 && c <= 0xFDEF) && (c & 0xFFFE) != 0xFFFE;
}

std::optional<std::string> namedCharacter(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> names = {{
        {"amp", "&"},
        {"lt", "<"},
        {"gt", ">"},
        {"nbsp", "\xC2\xA0"},
        {"lrm", "\xE2\x80\x8E"},
        {"rlm", "\xE2\x80\x8F"},
    }};
    for (const auto& [known, character] : names) {
        if (name == known) return std::string(character);
    }
    return std::nullopt;
}

using EscapeAt = std::function<std::optional<WebVttReference>(std::string_view)>;

ShownText shownText(std::string_view run, char lead, const EscapeAt& escapeAt) {
    ShownText shown;
    shown.text.reserve(run.size());
    std::size_t copied = 0;
    for (std::size_t at = run.find(lead); at != std::string_view::npos; at = run.find(lead, at + 1)) {
        const std::optional<WebVttReference> escape = escapeAt(run.substr(at));
        if (!escape || !escape->character) continue;
        shown.text.append(run.substr(copied, at - copied));
        const std::size_t shownAt = shown.text.size();
        shown.text += *escape->character;
        shown.escapes.push_back({shownAt, shown.text.size(), at, at + escape->length});
        copied = at + escape->length;
        at = copied - 1;
    }
    shown.text.append(run.substr(copied));
    return shown;
}

// Where each byte of `shown` went in `rewritten`, npos where it was not kept.
std::vector<std::size_t> keptPlaces(const std::vector<std::size_t>& kept, std::size_t shownSize) {
    std::vector<std::size_t> places(shownSize, std::string_view::npos);
    for (std::size_t at = 0; at < kept.size(); ++at) {
        if (kept[at] != std::string_view::npos) places[kept[at]] = at;
    }
    return places;
}

// Where the escape stands whole in `rewritten`, npos when it does not.
std::size_t wholePlace(const std::vector<std::size_t>& places, std::size_t begin, std::size_t end) {
    const std::size_t first = places[begin];
    if (first == std::string_view::npos) return first;
    for (std::size_t at = begin + 1; at < end; ++at) {
        if (places[at] != first + (at - begin)) return std::string_view::npos;
    }
    return first;
}

template <class Spelling>
std::string written(std::string_view run, const ShownText& shown, const std::string& rewritten,
                    const Spelling& spelling) {
    // The escapes the rules left whole, by where they start in `rewritten`.
    std::vector<const Escape*> keptAt(rewritten.size(), nullptr);
    if (!shown.escapes.empty()) {
        if (const std::optional<std::vector<std::size_t>> kept = keptBytes(shown.text, rewritten, kMaxEdits)) {
            const std::vector<std::size_t> places = keptPlaces(*kept, shown.text.size());
            for (const Escape& escape : shown.escapes) {
                const std::size_t place = wholePlace(places, escape.shownBegin, escape.shownEnd);
                if (place != std::string_view::npos) keptAt[place] = &escape;
            }
        }
    }
    std::string bytes;
    bytes.reserve(rewritten.size() + rewritten.size() / 8);
    for (std::size_t at = 0; at < rewritten.size();) {
        if (const Escape* escape = keptAt[at]) {
            bytes += run.substr(escape->writtenBegin, escape->writtenEnd - escape->writtenBegin);
            at += escape->shownEnd - escape->shownBegin;
            continue;
        }
        const std::string_view spelled = spelling(rewritten[at]);
        if (spelled.empty()) {
            bytes += rewritten[at];
        } else {
            bytes += spelled;
        }
        ++at;
    }
    return bytes;
}

std::optional<WebVttReference> assEscapeAt(std::string_view text) {
    if (text.size() < 2 || (text[1] != '{' && text[1] != '}')) return std::nullopt;
    return WebVttReference{2, std::string(1, text[1])};
}

}  // namespace

std::optional<WebVttReference> webVttReferenceAt(std::string_view text) {
    if (!text.starts_with('&')) return std::nullopt;
    std::size_t at = 1;
    if (at < text.size() && text[at] == '#') {
        const bool hex = at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X');
        at += hex ? 2 : 1;
        const std::size_t digitsAt = at;
        char32_t value = 0;
        while (at < text.size() && (hex ? isHexDigit(text[at]) : isDigit(text[at]))) {
            const char c = text[at++];
            const char32_t digit = isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
            // Past the last code point the value only has to stay out of range.
            if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + digit;
        }
        if (at == digitsAt || at >= text.size() || text[at] != ';') return std::nullopt;
        WebVttReference reference{at + 1, std::nullopt};
        if (isPlainCharacter(value)) appendUtf8(reference.character.emplace(), value);
        return reference;
    }
    while (at < text.size() && isAlphanumeric(text[at])) ++at;
    if (at == 1 || at >= text.size() || text[at] != ';') return std::nullopt;
    return WebVttReference{at + 1, namedCharacter(text.substr(1, at - 1))};
}

ShownText shownWebVttText(std::string_view run) { return shownText(run, '&', webVttReferenceAt); }

ShownText shownAssText(std::string_view run) { return shownText(run, '\\', assEscapeAt); }

std::string writtenWebVttText(std::string_view run, const ShownText& shown, std::string rewritten) {
    if (rewritten == shown.text) return shown.escapes.empty() ? std::move(rewritten) : std::string(run);
    return written(run, shown, rewritten, [](char c) -> std::string_view {
        switch (c) {
            case '&':
                return "&amp;";
            case '<':
                return "&lt;";
            case '>':
                return "&gt;";
            default:
                return "";
        }
    });
}

std::string writtenAssText(std::string_view run, const ShownText& shown, std::string rewritten, bool respell) {
    if (!respell && rewritten == shown.text) return shown.escapes.empty() ? std::move(rewritten) : std::string(run);
    return written(run, shown, rewritten, [](char c) -> std::string_view {
        if (c == '{') return "\\{";
        if (c == '}') return "\\}";
        return "";
    });
}

std::optional<std::string> brokenWebVttReference(std::string_view before, std::string_view after) {
    if (before.find('&') == std::string_view::npos) return std::nullopt;
    const std::optional<std::vector<std::size_t>> kept = keptBytes(before, after, kMaxEdits);
    std::vector<std::size_t> places;
    if (kept) places = keptPlaces(*kept, before.size());
    for (std::size_t at = before.find('&'); at != std::string_view::npos; at = before.find('&', at + 1)) {
        const std::optional<WebVttReference> reference = webVttReferenceAt(before.substr(at));
        if (!reference) continue;
        const std::string_view spelled = before.substr(at, reference->length);
        if (!kept) {
            // Only the common start and end are sure to be kept.
            const std::size_t shorter = std::min(before.size(), after.size());
            if (before.substr(0, at + reference->length) == after.substr(0, std::min(shorter, at + reference->length)))
                continue;
            const std::size_t fromEnd = before.size() - at;
            if (fromEnd <= after.size() && before.substr(at) == after.substr(after.size() - fromEnd)) continue;
            return std::string(spelled);
        }
        std::string keptPart;
        for (std::size_t byte = at; byte < at + reference->length; ++byte) {
            if (places[byte] != std::string_view::npos) keptPart += before[byte];
        }
        if (keptPart.empty() || wholePlace(places, at, at + reference->length) != std::string_view::npos) continue;
        if (reference->character && keptPart == *reference->character) continue;
        // Letters kept without the '&' and the ';' are ones a rule wrote in its place.
        const std::size_t end = at + reference->length - 1;
        if (places[at] == std::string_view::npos && places[end] == std::string_view::npos) continue;
        return std::string(spelled);
    }
    return std::nullopt;
}
