// The SubRip passes: export the rewritten cue texts, or write a rewritten copy.

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "file_path.h"
#include "output.h"
#include "pass_errors.h"
#include "passes.h"
#include "subrip.h"
#include "subtitle_passes.h"

namespace {

// What both passes have in hand before their loop.
struct SrtPassInput {
    TextRewriter rewriter;
    std::unique_ptr<SubtitleParser> parser;
};

// Cleaning, rules, cues, in this order, so a missing word list raises even for a
// file without cues.
SrtPassInput prepareSrtPass(const std::string& subfile, const RewriterSource& rules) {
    std::optional<std::string> cleaned = cleanedSubRipFile(subfile);
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

std::optional<std::string> cleanedSubRipFile(const std::string& inputFilePath) {
    std::ifstream input = openForReading(inputFilePath, std::ios::binary);
    std::string content;
    // Sized once for a regular file; a pipe or device is read until it ends.
    std::error_code noSize;
    if (const std::uintmax_t size = std::filesystem::file_size(inputFilePath, noSize); !noSize) {
        content.reserve(static_cast<std::size_t>(size));
    }
    std::string chunk(1 << 16, '\0');
    while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || input.gcount() > 0) {
        content.append(chunk.data(), static_cast<std::size_t>(input.gcount()));
    }
    // A directory opens like a file and fails only when it is read.
    if (!input.is_open() || input.bad()) return std::nullopt;
    return cleanedSubRipText(std::move(content));
}

PassResult exportSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules) {
    SrtPassInput input = prepareSrtPass(subfile, rules);
    Json::Value jsonData;
    forEachRewrittenCue(input, [&](const SubtitleItem& cue, std::string text) {
        // A repeated cue number keeps the later cue's text.
        jsonData[std::to_string(cue.getSubNo())] = std::move(text);
    });
    writeOutput(output, exportDocumentText(std::move(jsonData)));
    return {output, input.rewriter.count()};
}

PassResult rewriteSrt(const std::string& subfile, const std::string& output, const RewriterSource& rules) {
    SrtPassInput input = prepareSrtPass(subfile, rules);
    std::string document;
    bool first = true;
    forEachRewrittenCue(input, [&](const SubtitleItem& cue, std::string text) {
        if (!std::exchange(first, false)) document += "\n\n";
        // Text from before the first cue has neither number nor timing line.
        if (!cue.getTimingLine().empty()) {
            document += std::to_string(cue.getSubNo()) + '\n' + cue.getTimingLine() + '\n';
        }
        document += text;
    });
    writeOutput(output, document);
    return {output, input.rewriter.count()};
}
