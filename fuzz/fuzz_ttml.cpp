// TTML paragraph finding through expat on arbitrary bytes (markup_checks.h says what is checked).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "document/ttml_spans.h"
#include "markup_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkMarkupSpans(std::string_view(reinterpret_cast<const char*>(data), size), SubtitleFormat::Ttml,
                     [](std::string_view document) { return findTtmlSpans(document); });
    return 0;
}
