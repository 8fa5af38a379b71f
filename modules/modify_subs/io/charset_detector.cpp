#include "io/charset_detector.h"

#include <memory>
#include <new>

#include <uchardet.h>

namespace {

using Detector = std::unique_ptr<uchardet, decltype(&uchardet_delete)>;

}  // namespace

std::optional<std::string> detectCharset(std::string_view bytes) {
    const Detector detector(uchardet_new(), &uchardet_delete);
    if (!detector) throw std::bad_alloc();
    if (uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0) return std::nullopt;
    uchardet_data_end(detector.get());
    const char* name = uchardet_get_charset(detector.get());
    if (name == nullptr || *name == '\0') return std::nullopt;
    return std::string(name);
}
