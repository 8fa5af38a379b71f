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

std::string eventText(const ASS_Event& event) { return event.Text ? std::string(event.Text) : std::string(); }
