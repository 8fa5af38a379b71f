#pragma once

#include <fstream>
#include <string>

// The C library ends a file name at its first NUL byte, so "real\0.srt" would
// open "real": a path holding one names no file at all.
bool namesNoFile(const std::string& path);

// `path` opened for reading, or a stream that is not open when the path names no file.
std::ifstream openForReading(const std::string& path, std::ios::openmode mode = std::ios::in);
