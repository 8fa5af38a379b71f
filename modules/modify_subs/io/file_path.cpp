#include "io/file_path.h"

bool namesNoFile(const std::string& path) { return path.find('\0') != std::string::npos; }

std::ifstream openForReading(const std::string& path, std::ios::openmode mode) {
    if (!namesNoFile(path)) return std::ifstream(path, mode);
    // In the state a stream is left in by an open that failed.
    std::ifstream unopened;
    unopened.setstate(std::ios::failbit);
    return unopened;
}
