// SubRip cleaning, parsing and cue analysis on arbitrary bytes. The cleaned text
// has only "\n" line ends, a cue's text and timing line are one line each, and
// asking a cue anything (every analysis flag, every word) must not fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "subrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string cleaned = cleanedSubRipText(std::string(content));
    if (cleaned.find('\r') != std::string::npos || cleaned.starts_with('\n') || cleaned.ends_with('\n')) {
        __builtin_trap();
    }

    const auto parser = SubtitleParserFactory::forText(cleaned).getParser();
    for (SubtitleItem* cue : parser->getSubtitles()) {
        if (cue->getText().find_first_of("\r\n") != std::string::npos) __builtin_trap();
        if (cue->getTimingLine().find('\n') != std::string::npos) __builtin_trap();
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
