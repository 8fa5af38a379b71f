// The ASS passes: export the event texts libass reads, or rewrite the dialogue
// lines of the file itself.

#include "passes/ass_passes.h"

#include <stdexcept>
#include <string>
#include <utility>

#include <json/value.h>

#include "document/libass_handles.h"
#include "io/checked_output.h"
#include "io/file_failures.h"
#include "io/output.h"
#include "passes/ass_input.h"
#include "passes/ass_line_loop.h"

PassResult exportAss(const std::string& subfile, const std::string& output, const RewriterSource& rules) {
    const AssLibrary assLibrary = startQuietLibrary();
    if (!assLibrary) throw std::runtime_error("Failed to initialize libass");
    const AssTrack track = readExportTrack(*assLibrary, subfile);

    TextRewriter rewriter = rules();
    Json::Value jsonData;
    for (int i = 0; i < track->n_events; ++i) {
        jsonData[std::to_string(i + 1)] = rewriter.apply(eventText(track->events[i]), TagSyntax::Ass);
    }
    writeOutputDocument(output, std::move(jsonData));
    return {output, rewriter.count()};
}

PassResult rewriteAss(const std::string& subfile, const std::string& output, const RewriterSource& rules,
                      const FormatLineSink& formatLines) {
    const AssLibrary assLibrary = startQuietLibrary();
    if (!assLibrary) throw std::runtime_error("Failed to initialize libass");
    const AssRenderer assRenderer = startRenderer(*assLibrary);
    if (!assRenderer) throw PassFailure("Failed to initialize ASS renderer.");
    const AssInput input = readAssInput(subfile);
    if (!input.failure.empty()) throw SubtitleFileError(input.failure);
    // libass only vouches for the file here; the rewrite works on the raw lines.
    if (!readTrackMemory(*assLibrary, input.text)) throw SubtitleFileError("Failed to parse the ASS file.");

    TextRewriter rewriter = rules();
    // A decoded UTF-16 file is written as UTF-8, marked so that readers know.
    writeOutput(output,
                (input.decodedFromUtf16 ? "\xEF\xBB\xBF" : "") + rewriteLines(input.text, rewriter, formatLines));
    return {output, rewriter.count()};
}
