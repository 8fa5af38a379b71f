#pragma once

// Owners for the libass handles, so that every exit path, exceptions included,
// releases exactly what was obtained. Declare them library, renderer, track: scope
// then releases track, renderer, library, the order libass needs.

#include <memory>
#include <string>
#include <string_view>

#include <ass/ass.h>

struct AssLibraryRelease {
    void operator()(ASS_Library* library) const noexcept { ass_library_done(library); }
};
struct AssRendererRelease {
    void operator()(ASS_Renderer* renderer) const noexcept { ass_renderer_done(renderer); }
};
struct AssTrackRelease {
    void operator()(ASS_Track* track) const noexcept { ass_free_track(track); }
};

using AssLibrary = std::unique_ptr<ASS_Library, AssLibraryRelease>;
using AssRenderer = std::unique_ptr<ASS_Renderer, AssRendererRelease>;
using AssTrack = std::unique_ptr<ASS_Track, AssTrackRelease>;

// A library instance whose own diagnostics are dropped: left alone, libass prints
// them on stderr, which belongs to the host. Null when libass can't start.
AssLibrary startQuietLibrary();

// Null when libass can't make one.
AssRenderer startRenderer(ASS_Library& library);

// `bytes` parsed as a track, without recoding; libass works on its own copy, so
// the bytes are left as they were. Null when libass refuses them.
AssTrack readTrackMemory(ASS_Library& library, std::string_view bytes);

// An event's dialogue text as libass holds it; "" where libass left none.
std::string eventText(const ASS_Event& event);
