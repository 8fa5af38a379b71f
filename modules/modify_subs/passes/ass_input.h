#pragma once

// How the module's ASS passes read a file: whole, in one read, with UTF-16 decoded
// first, since libass takes only bytes in a file's own 8-bit encoding.

#include <string>

#include "document/libass_handles.h"

struct AssInput {
    std::string text;  // the file's bytes, or their UTF-8 decoding
    bool decodedFromUtf16 = false;
    std::string failure;  // the line that reports why the file could not be read
};

// The file's content, or a failure naming it.
AssInput readAssInput(const std::string& subfile);

// The track whose event texts the export pass writes.
// Throws SubtitleFileError("Failed to load SSA file") when the file can't be
// read, libass refuses it, or it holds a NUL byte (libass would stop reading there
// and lose the events after it without a word).
AssTrack readExportTrack(ASS_Library& library, const std::string& subfile);
