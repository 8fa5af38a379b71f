#include "document/libass_handles.h"

#include <cstdarg>

namespace {

void dropMessage(int /*level*/, const char* /*format*/, va_list /*arguments*/, void* /*data*/) {}

}  // namespace

AssLibrary startQuietLibrary() {
    AssLibrary library(ass_library_init());
    if (library) ass_set_message_cb(library.get(), dropMessage, nullptr);
    return library;
}

AssRenderer startRenderer(ASS_Library& library) { return AssRenderer(ass_renderer_init(&library)); }

AssTrack readTrackMemory(ASS_Library& library, std::string_view bytes) {
    // Without a code page libass copies the bytes before parsing; the pointer is
    // non-const only by the C signature.
    return AssTrack(ass_read_memory(&library, const_cast<char*>(bytes.data()), bytes.size(), nullptr));
}

bool libassReadsScript(ASS_Library& library, std::string_view bytes) {
    // libass stops at a NUL byte, after which a left-out line would change nothing.
    if (bytes.find('\0') != std::string_view::npos) return readTrackMemory(library, bytes) != nullptr;
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    const auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    std::string kept;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = at;
        while (end < bytes.size() && !isLineEnd(bytes[end])) ++end;
        std::string_view line = bytes.substr(at, end - at);
        // libass skips byte-order marks at a line's start.
        std::string_view content = line;
        while (content.starts_with(byteOrderMark)) content.remove_prefix(byteOrderMark.size());
        if (!content.starts_with("Dialogue:")) kept.append(line);
        at = end;
        while (at < bytes.size() && isLineEnd(bytes[at])) ++at;
        kept.append(bytes.substr(end, at - end));
    }
    return readTrackMemory(library, kept) != nullptr;
}

std::string eventText(const ASS_Event& event) { return event.Text ? std::string(event.Text) : std::string(); }
