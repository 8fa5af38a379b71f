// SubRip cleaning, parsing and cue analysis on arbitrary bytes. A cue's text is
// one line, and asking a cue anything (every analysis flag, every word) must not
// fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "subrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string cleaned = cleanedSubRipText(content);
    if (cleaned.size() > content.size()) __builtin_trap();

    const auto parser = SubtitleParserFactory::forText(cleaned).getParser();
    for (SubtitleItem* cue : parser->getSubtitles()) {
        if (cue->getText().find_first_of("\r\n") != std::string::npos) __builtin_trap();
        if (SubtitleItem::timeMSec(cue->getStartTimeString()) != cue->getStartTime()) __builtin_trap();
        for (int flags = 0; flags < 8; ++flags) {
            cue->getDialogue(flags & 1, flags & 2, flags & 4);
        }
        for (int i = 0; i < cue->getWordCount(); ++i) cue->getWordByIndex(i);
        cue->extractInfo(true, true, true);
    }
    SubtitleItem::timeMSec(std::string(content));
    return 0;
}
