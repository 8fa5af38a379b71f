#pragma once

#include <string>

// The C library ends a file name at its first NUL byte, so "real\0.srt" would
// open "real": a path holding one names no file at all.
bool namesNoFile(const std::string& path);
