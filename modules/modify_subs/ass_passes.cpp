#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <json/value.h>

#include "ass_line_loop.h"
#include "file_path.h"
#include "libass_handles.h"
#include "output.h"
#include "passes.h"
#include "substitution.h"
#include "wordlist.h"

namespace {

// The whole input in one read, or the line that reports why it could not be had.
struct InputBytes {
    std::string bytes;
    std::string failure;
};

InputBytes readInput(const std::string& subfile) {
    std::ifstream inputFile = openForReading(subfile, std::ios::binary | std::ios::ate);
    if (!inputFile.is_open()) return {{}, "Could not open the input file: " + subfile};
    // A directory opens too, and tells a length near the largest offset.
    std::error_code ignored;
    if (std::filesystem::is_directory(subfile, ignored)) return {{}, "Error reading the input file."};
    const std::streamsize size = inputFile.tellg();
    if (size < 0) return {{}, "Error reading the input file."};
    inputFile.seekg(0);
    std::string buffer(static_cast<std::size_t>(size), '\0');
    if (!inputFile.read(buffer.data(), size)) return {{}, "Error reading the input file."};
    return {std::move(buffer), {}};
}

// libass reads a file as a C string: the events after a NUL byte would be missing
// from the export without a word.
bool holdsNulByte(const std::string& subfile) {
    std::ifstream input(subfile, std::ios::binary);
    std::array<char, 1 << 16> chunk;
    while (input.read(chunk.data(), chunk.size()) || input.gcount() > 0) {
        const char* const begin = chunk.data();
        const char* const end = begin + input.gcount();
        if (std::find(begin, end, '\0') != end) return true;
    }
    return false;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where a line's content starts: past its leading blanks, and past the byte-order
// mark that may open the file, so that neither hides a marker.
std::size_t contentStart(std::string_view line, bool firstLine) {
    std::size_t start = 0;
    if (firstLine && line.starts_with("\xEF\xBB\xBF")) start = 3;
    while (start < line.size() && isBlank(line[start])) ++start;
    return start;
}

constexpr std::string_view formatMarker = "Format:";
constexpr std::string_view dialogueMarker = "Dialogue:";

// The line loop: section headers, Format and Dialogue lines count only at the
// start of a line, so a bracket or a marker inside a text is just text.
class EventsRewriter {
public:
    explicit EventsRewriter(Substitution& substitution) : _substitution(substitution) {}

    void takeLine(std::string_view line, bool firstLine, std::string& out) {
        const std::size_t start = contentStart(line, firstLine);
        const std::string_view content = line.substr(start);
        if (content.starts_with('[')) {
            _inEventsSection = content.starts_with("[Events]");
        } else if (_inEventsSection && content.starts_with(formatMarker)) {
            reportLine(std::cout, std::to_string(start));
            _masterFormat = content.substr(formatMarker.size());
        } else if (_inEventsSection && content.starts_with(dialogueMarker)) {
            rewriteDialogue(line, start, out);
            return;
        }
        out.append(line).push_back('\n');
    }

private:
    void rewriteDialogue(std::string_view line, std::size_t start, std::string& out) {
        const std::size_t fieldsStart = start + dialogueMarker.size();
        const std::string dialogueLine(line.substr(fieldsStart));
        const std::size_t textLinePos = find_nth(_masterFormat, dialogueLine);
        if (textLinePos == std::string::npos) {
            out.append(line).push_back('\n');
            return;
        }
        out.append(line.substr(0, fieldsStart + textLinePos));
        out.append(_substitution.apply(dialogueLine.substr(textLinePos))).push_back('\n');
    }

    Substitution& _substitution;
    std::string _masterFormat;
    bool _inEventsSection = false;
};

}  // namespace

std::string rewriteLines(std::string_view buffer, Substitution& substitution) {
    std::string modifiedBuffer;
    modifiedBuffer.reserve(buffer.size() + buffer.size() / 8 + 1);
    EventsRewriter rewriter(substitution);
    bool firstLine = true;
    while (!buffer.empty()) {
        const std::size_t end = buffer.find('\n');
        rewriter.takeLine(buffer.substr(0, end), firstLine, modifiedBuffer);
        buffer.remove_prefix(end == std::string_view::npos ? buffer.size() : end + 1);
        firstLine = false;
    }
    return modifiedBuffer;
}

std::string modifyAss(const std::string& subfile, const std::string& replacementFile) {
    try {
        const AssLibrary assLibrary = startQuietLibrary();
        if (!assLibrary) throw std::runtime_error("Failed to initialize libass");
        const AssTrack track = readTrackFile(*assLibrary, subfile);
        if (!track || holdsNulByte(subfile)) throw std::runtime_error("Failed to load SSA file");

        const std::string nfilename = outputName(subfile, ".json");
        Substitution substitution(loadReplacementWords(replacementFile));
        Json::Value jsonData;
        for (int i = 0; i < track->n_events; ++i) {
            jsonData[std::to_string(i + 1)] = substitution.apply(eventText(track->events[i]));
        }
        const WriteResult written = writeWholeFile(nfilename, exportDocumentText(std::move(jsonData)));
        if (!written) throw std::runtime_error(written.failureLine("Failed to open output file"));
        return nfilename;
    } catch (const std::exception& failure) {
        reportLine(std::cout, failure.what());
        return "";
    }
}

std::string assSubtitles(const std::string& subfile, const std::string& replacementFile) {
    const AssLibrary assLibrary = startQuietLibrary();
    if (!assLibrary) throw std::runtime_error("Failed to initialize libass");
    const AssRenderer assRenderer = startRenderer(*assLibrary);
    if (!assRenderer) {
        reportLine(std::cerr, "Failed to initialize ASS renderer.");
        return "";
    }
    const InputBytes input = readInput(subfile);
    if (!input.failure.empty()) {
        reportLine(std::cerr, input.failure);
        return "";
    }
    // libass only vouches for the file here; the rewrite works on the raw lines.
    const AssTrack track = readTrackMemory(*assLibrary, input.bytes);
    if (!track) {
        reportLine(std::cerr, "Failed to parse the ASS file.");
        return "";
    }

    const std::string nfilename = outputName(subfile, ".ass");
    Substitution substitution(loadReplacementWords(replacementFile));
    const std::string modifiedBuffer = rewriteLines(input.bytes, substitution);
    if (const WriteResult written = writeWholeFile(nfilename, modifiedBuffer); !written) {
        reportLine(std::cerr, written.failureLine("Could not open the output file: " + nfilename));
        return "";
    }
    return nfilename;
}

std::size_t find_nth(const std::string& master, const std::string& word) {
    const auto fieldCommas = static_cast<std::size_t>(std::count(master.begin(), master.end(), ','));
    if (fieldCommas == 0) return std::string::npos;

    // The text is the last field, so commas past the field count belong to it.
    std::size_t commasSeen = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == ',' && ++commasSeen == fieldCommas) return i + 1;
    }
    // Too few commas: an empty piece at the very end doesn't count as a field.
    std::size_t pieces = commasSeen + 1;
    if (word.empty() || word.back() == ',') --pieces;
    return pieces + 1 >= fieldCommas ? word.size() : std::string::npos;
}
