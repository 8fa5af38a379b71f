#include "io/input_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "io/file_path.h"

InputFile readInputFile(const std::string& path) {
    std::ifstream input = openForReading(path, std::ios::binary);
    if (!input.is_open()) return {{}, ReadFailure::CannotOpen};
    // A directory opens like a file on Linux and then reads as nothing, or fails.
    std::error_code noSize;
    if (std::filesystem::is_directory(path, noSize)) return {{}, ReadFailure::CannotRead};
    InputFile file;
    // Sized once for a regular file; a pipe or device is read until it ends.
    if (const std::uintmax_t size = std::filesystem::file_size(path, noSize); !noSize) {
        file.bytes.reserve(static_cast<std::size_t>(size));
    }
    std::string chunk(1 << 16, '\0');
    while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || input.gcount() > 0) {
        file.bytes.append(chunk.data(), static_cast<std::size_t>(input.gcount()));
    }
    if (input.bad()) return {{}, ReadFailure::CannotRead};
    return file;
}
