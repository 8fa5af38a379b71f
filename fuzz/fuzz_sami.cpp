// SAMI paragraph finding on arbitrary bytes (markup_checks.h says what is checked).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "document/sami_spans.h"
#include "markup_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkMarkupSpans(std::string_view(reinterpret_cast<const char*>(data), size), SubtitleFormat::Sami,
                     [](std::string_view document) { return findSamiSpans(document); });
    return 0;
}
