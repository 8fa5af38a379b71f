#pragma once

// Characters a format spells with escapes, as its readers show them: WebVTT's
// character references (&amp; &lt; &#38; ...) and ASS's escaped braces (\{ \}).
// Under protect_tags the rules see a run of visible text as shown; a changed run
// is spelled again, each escape the rules left keeping its own spelling.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An escape of a run: its bytes in the run, and the character it shows in the shown text.
struct Escape {
    std::size_t shownBegin = 0;
    std::size_t shownEnd = 0;
    std::size_t writtenBegin = 0;
    std::size_t writtenEnd = 0;
};

struct ShownText {
    std::string text;
    std::vector<Escape> escapes;
};

// A WebVTT character reference at the start of a text: its length, and the
// character the rules see for it; none for a reference they don't (another
// name, a control character), which stays hidden from them as a tag does.
struct WebVttReference {
    std::size_t length = 0;
    std::optional<std::string> character;
};

// The reference `text` starts with: "&name;", "&#digits;" or "&#xhex;".
std::optional<WebVttReference> webVttReferenceAt(std::string_view text);

// A run of visible text as readers show it.
ShownText shownWebVttText(std::string_view run);
ShownText shownAssText(std::string_view run);

// `rewritten`, the rules' text for `run` (shown as `shown`), spelled for the
// format: an escape the rules left whole keeps its bytes; every other '&', '<'
// and '>' (WebVTT) or '{' and '}' (ASS) is escaped, so that no rule makes a tag.
// Without a change the run comes back as it was, unless `respell` asks for its
// raw specials to be escaped too.
std::string writtenWebVttText(std::string_view run, const ShownText& shown, std::string rewritten);
std::string writtenAssText(std::string_view run, const ShownText& shown, std::string rewritten, bool respell = false);

// Without protect_tags the rules rewrite a WebVTT text's bytes: the first
// reference of `before` that `after` keeps its '&' or ';' of but not whole
// ("&amp;" made "and amp;" or "&4mp;"), as written; a reference kept whole,
// replaced whole or left as its own character ("&amp;" made "&") is fine. When the two differ too much to
// follow, the first reference in the stretch that changed.
std::optional<std::string> brokenWebVttReference(std::string_view before, std::string_view after);
