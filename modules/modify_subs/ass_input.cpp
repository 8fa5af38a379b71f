#include "ass_input.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "file_path.h"
#include "pass_errors.h"
#include "utf8_text.h"

namespace {

AssInput readFailure(std::string failure) { return {{}, false, std::move(failure)}; }

}  // namespace

AssInput readAssInput(const std::string& subfile) {
    std::ifstream inputFile = openForReading(subfile, std::ios::binary | std::ios::ate);
    if (!inputFile.is_open()) return readFailure("Could not open the input file: " + subfile);
    // A directory opens too, and tells a length near the largest offset.
    std::error_code ignored;
    if (std::filesystem::is_directory(subfile, ignored)) return readFailure("Error reading the input file.");
    const std::streamsize size = inputFile.tellg();
    if (size < 0) return readFailure("Error reading the input file.");
    inputFile.seekg(0);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!inputFile.read(bytes.data(), size)) return readFailure("Error reading the input file.");

    if (std::optional<std::string> decoded = utf8FromUtf16(bytes)) return {std::move(*decoded), true, {}};
    return {std::move(bytes), false, {}};
}

AssTrack readExportTrack(ASS_Library& library, const std::string& subfile) {
    const AssInput input = readAssInput(subfile);
    AssTrack track;
    if (input.failure.empty() && input.text.find('\0') == std::string::npos) {
        track = readTrackMemory(library, input.text);
    }
    if (!track) throw SubtitleFileError("Failed to load SSA file");
    return track;
}
