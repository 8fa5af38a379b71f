#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>

#include <json/value.h>

#include "ass_input.h"
#include "ass_line_loop.h"
#include "libass_handles.h"
#include "output.h"
#include "ass_passes.h"
#include "substitution.h"
#include "wordlist.h"

std::string modifyAss(const std::string& subfile, const std::string& replacementFile) {
    try {
        const AssLibrary assLibrary = startQuietLibrary();
        if (!assLibrary) throw std::runtime_error("Failed to initialize libass");
        const AssTrack track = readExportTrack(*assLibrary, subfile);

        const std::string nfilename = outputName(subfile, ".json");
        Substitution substitution(loadReplacementWords(replacementFile));
        Json::Value jsonData;
        for (int i = 0; i < track->n_events; ++i) {
            jsonData[std::to_string(i + 1)] = substitution.apply(eventText(track->events[i]));
        }
        const WriteResult written = writeExportDocument(nfilename, std::move(jsonData));
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
    const AssInput input = readAssInput(subfile);
    if (!input.failure.empty()) {
        reportLine(std::cerr, input.failure);
        return "";
    }
    // libass only vouches for the file here; the rewrite works on the raw lines.
    const AssTrack track = readTrackMemory(*assLibrary, input.text);
    if (!track) {
        reportLine(std::cerr, "Failed to parse the ASS file.");
        return "";
    }

    const std::string nfilename = outputName(subfile, ".ass");
    Substitution substitution(loadReplacementWords(replacementFile));
    // A decoded UTF-16 file is written as UTF-8, marked so that readers know.
    const std::string modifiedBuffer =
        (input.decodedFromUtf16 ? "\xEF\xBB\xBF" : "") + rewriteLines(input.text, substitution);
    if (const WriteResult written = writeWholeFile(nfilename, modifiedBuffer); !written) {
        reportLine(std::cerr, written.failureLine("Could not open the output file: " + nfilename));
        return "";
    }
    return nfilename;
}
