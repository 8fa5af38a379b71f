// The SubRip passes: export the rewritten cue texts, or write a rewritten copy.

#include "srt_passes.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "input_file.h"
#include "output.h"
#include "substitution.h"
#include "subrip.h"
#include "wordlist.h"

namespace {

// What both passes have in hand before their loop.
struct SrtPassInput {
    std::string nfilename;
    WordList WORDS;
    std::unique_ptr<SubtitleParser> parser;
};

// Cleaning, output name, word list, cues, in this order, so a missing word list
// raises even for a file without cues. nullopt when the subtitle file can't be read.
std::optional<SrtPassInput> prepareSrtPass(const std::string& subfile, const std::string& replacementFile,
                                           const std::string& ending) {
    std::optional<std::string> cleaned = removeBlankLinesFromStartAndEnd(subfile);
    if (!cleaned) return std::nullopt;
    SrtPassInput input;
    input.nfilename = outputName(subfile, ending);
    input.WORDS = loadReplacementWords(replacementFile);
    // Moved in, so the text is gone once its cues are read.
    input.parser = SubtitleParserFactory::forText(std::move(*cleaned)).getParser();
    return input;
}

// Hands `use` each cue with its text rewritten. The cue lets its text go first:
// one cue's text can be most of the file, and the output holds it once more.
template <typename Use>
void forEachRewrittenCue(const SubtitleParser& parser, const WordList& words, Use use) {
    Substitution substitution(words);
    for (SubtitleItem* cue : parser.getSubtitles()) {
        std::string text = cue->releaseText();
        // Without rules the scan for their literals would still read every text.
        if (!words.empty()) text = substitution.apply(text);
        use(*cue, std::move(text));
    }
}

// The pass's result for a finished write: the output's name, or "" after a report.
std::string reportedWrite(const std::string& nfilename, const WriteResult& written) {
    if (!written) {
        reportLine(std::cerr, written.failureLine("Could not open the output file: " + nfilename));
        return "";
    }
    return nfilename;
}

}  // namespace

std::optional<std::string> removeBlankLinesFromStartAndEnd(const std::string& inputFilePath) {
    InputFile file = readInputFile(inputFilePath);
    if (!file) {
        reportLine(std::cerr, "Error opening input file.");
        return std::nullopt;
    }
    return cleanedSubRipText(std::move(file.bytes));
}

std::string modifySrt(const std::string& subfile, const std::string& replacementFile) {
    std::optional<SrtPassInput> input = prepareSrtPass(subfile, replacementFile, ".json");
    if (!input) return "";

    Json::Value jsonData;
    forEachRewrittenCue(*input->parser, input->WORDS, [&](const SubtitleItem& cue, std::string text) {
        // A repeated cue number keeps the later cue's text.
        jsonData[std::to_string(cue.getSubNo())] = std::move(text);
    });
    return reportedWrite(input->nfilename, writeExportDocument(input->nfilename, std::move(jsonData)));
}

std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile) {
    std::optional<SrtPassInput> input = prepareSrtPass(subfile, replacementFile, ".srt");
    if (!input) return "";

    std::string document;
    bool first = true;
    forEachRewrittenCue(*input->parser, input->WORDS, [&](const SubtitleItem& cue, std::string text) {
        if (!std::exchange(first, false)) document += "\n\n";
        // Text from before the first cue has neither number nor timing line.
        if (!cue.getTimingLine().empty()) {
            document += std::to_string(cue.getSubNo()) + '\n' + cue.getTimingLine() + '\n';
        }
        document += text;
    });
    return reportedWrite(input->nfilename, writeWholeFile(input->nfilename, document));
}
