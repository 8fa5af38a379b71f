// The SubRip passes: export the rewritten cue texts, or write a rewritten copy.

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "file_path.h"
#include "output.h"
#include "passes.h"
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
    const std::optional<std::string> cleaned = removeBlankLinesFromStartAndEnd(subfile);
    if (!cleaned) return std::nullopt;
    SrtPassInput input;
    input.nfilename = outputName(subfile, ending);
    input.WORDS = loadReplacementWords(replacementFile);
    input.parser = SubtitleParserFactory::forText(*cleaned).getParser();
    return input;
}

std::string writeOutput(const std::string& nfilename, const std::string& content) {
    if (const WriteResult written = writeWholeFile(nfilename, content); !written) {
        reportLine(std::cerr, written.failureLine("Could not open the output file: " + nfilename));
        return "";
    }
    return nfilename;
}

}  // namespace

std::optional<std::string> removeBlankLinesFromStartAndEnd(const std::string& inputFilePath) {
    std::ifstream input = openForReading(inputFilePath, std::ios::binary);
    std::string content;
    std::string chunk(1 << 16, '\0');
    while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || input.gcount() > 0) {
        content.append(chunk.data(), static_cast<std::size_t>(input.gcount()));
    }
    // A directory opens like a file and fails only when it is read.
    if (!input.is_open() || input.bad()) {
        reportLine(std::cerr, "Error opening input file.");
        return std::nullopt;
    }
    return cleanedSubRipText(content);
}

std::string modifySrt(const std::string& subfile, const std::string& replacementFile) {
    std::optional<SrtPassInput> input = prepareSrtPass(subfile, replacementFile, ".json");
    if (!input) return "";

    Substitution substitution(input->WORDS);
    Json::Value jsonData;
    for (const SubtitleItem* element : input->parser->getSubtitles()) {
        // A repeated cue number keeps the later cue's text.
        jsonData[std::to_string(element->getSubNo())] = substitution.apply(element->getText());
    }
    return writeOutput(input->nfilename, exportDocumentText(std::move(jsonData)));
}

std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile) {
    std::optional<SrtPassInput> input = prepareSrtPass(subfile, replacementFile, ".srt");
    if (!input) return "";

    Substitution substitution(input->WORDS);
    std::string document;
    const std::vector<SubtitleItem*> sub = input->parser->getSubtitles();
    for (std::size_t index = 0; index < sub.size(); ++index) {
        const SubtitleItem& element = *sub[index];
        if (index > 0) document += "\n\n";
        document += std::to_string(element.getSubNo()) + '\n';
        document += element.getStartTimeString() + " --> " + element.getEndTimeString() + '\n';
        document += substitution.apply(element.getText());
    }
    return writeOutput(input->nfilename, document);
}
