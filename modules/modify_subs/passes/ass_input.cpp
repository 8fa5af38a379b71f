#include "passes/ass_input.h"

#include <optional>
#include <utility>

#include "io/file_failures.h"
#include "io/input_file.h"
#include "text/utf8_text.h"

namespace {

AssInput readFailure(std::string failure) { return {{}, false, std::move(failure)}; }

}  // namespace

AssInput readAssInput(const std::string& subfile) {
    InputFile file = readInputFile(subfile);
    if (file.failure == ReadFailure::CannotOpen) return readFailure("Could not open the input file: " + subfile);
    if (!file) return readFailure("Error reading the input file.");
    std::string& bytes = file.bytes;

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
