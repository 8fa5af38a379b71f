// The SubRip passes: export the rewritten cue texts, or write a rewritten copy.

#include "passes/srt_passes.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "document/written_form.h"
#include "io/checked_output.h"
#include "io/file_failures.h"
#include "io/input_file.h"
#include "subrip.h"

namespace {

// What both passes have in hand before their loop.
struct SrtPassInput {
    TextRewriter rewriter;
    std::unique_ptr<SubtitleParser> parser;
};

// Cleaning, rules, cues, in this order, so a missing word list raises even for a
// file without cues.
SrtPassInput prepareSrtPass(const std::string& subfile, const RewriterSource& rules) {
    std::optional<std::string> cleaned = removeBlankLinesFromStartAndEnd(subfile);
    if (!cleaned) throw SubtitleFileError("Error opening input file.");
    TextRewriter rewriter = rules();
    // Moved in, so the text is gone once its cues are read.
    return {std::move(rewriter), SubtitleParserFactory::forText(std::move(*cleaned)).getParser()};
}

// Hands `use` each cue with its text rewritten. The cue lets its text go first:
// one cue's text can be most of the file, and the output holds it once more.
template <typename Use>
void forEachRewrittenCue(SrtPassInput& input, Use use) {
    for (SubtitleItem* cue : input.parser->getSubtitles()) {
        use(*cue, input.rewriter.apply(cue->releaseText(), TagSyntax::SubRip));
    }
}

}  // namespace

std::optional<std::string> removeBlankLinesFromStartAndEnd(const std::string& inputFilePath) {
    InputFile file = readInputFile(inputFilePath);
    if (!file) return std::nullopt;
    return cleanedSubRipText(std::move(file.bytes));
}

PassResult exportSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules) {
    SrtPassInput input = prepareSrtPass(subfile, rules);
    Json::Value jsonData;
    forEachRewrittenCue(input, [&](const SubtitleItem& cue, std::string text) {
        // A repeated cue number keeps the later cue's text.
        jsonData[std::to_string(cue.getSubNo())] = std::move(text);
    });
    writeOutputDocument(output, std::move(jsonData));
    return {output, input.rewriter.count()};
}

PassResult rewriteSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules) {
    SrtPassInput input = prepareSrtPass(subfile, rules);
    std::string document;
    bool first = true;
    forEachRewrittenCue(input, [&](const SubtitleItem& cue, std::string text) {
        const bool atFileStart = std::exchange(first, false);
        if (!atFileStart) document += "\n\n";
        const std::string written = moduleSubRipText(std::move(text), std::to_string(cue.getSubNo()), atFileStart);
        // Text from before the first cue has neither number nor timing line. An
        // empty text takes no line, so one blank line follows the timing line.
        if (!cue.getTimingLine().empty()) {
            document += std::to_string(cue.getSubNo()) + '\n' + cue.getTimingLine();
            if (!written.empty()) document += '\n';
        }
        document += written;
    });
    writeOutput(output, document);
    return {output, input.rewriter.count()};
}
