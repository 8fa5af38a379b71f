// The module's passes: the shared passes with the module's word-list file, and
// its way of reporting a failure (a printed line and an empty name).

#include "module_passes.h"

#include <iostream>
#include <string>

#include "io/file_failures.h"
#include "io/output.h"
#include "io/word_list_file.h"
#include "passes/ass_passes.h"
#include "passes/srt_passes.h"

namespace {

RewriterSource wordsFrom(const std::string& replacementFile) {
    return [&replacementFile] { return TextRewriter(loadReplacementWords(replacementFile), RewriteMode{}); };
}

void printPosition(std::size_t position) { reportLine(std::cout, std::to_string(position)); }

// The rewrite and SubRip passes report on stderr and let other errors through.
template <typename Pass>
std::string reportedOnStderr(Pass pass) {
    try {
        return pass().output;
    } catch (const PassFailure& failure) {
        reportLine(std::cerr, failure.line());
        return "";
    }
}

}  // namespace

// The ASS export reports every failure, word-list and pattern errors included, on stdout.
std::string modifyAss(const std::string& subfile, const std::string& replacementFile) {
    try {
        return exportAss(subfile, outputName(subfile, ".json"), wordsFrom(replacementFile)).output;
    } catch (const OutputFileError& failure) {
        reportLine(std::cout, failure.failureLine("Failed to open output file"));
    } catch (const std::exception& failure) {
        reportLine(std::cout, failure.what());
    }
    return "";
}

std::string assSubtitles(const std::string& subfile, const std::string& replacementFile) {
    return reportedOnStderr(
        [&] { return rewriteAss(subfile, outputName(subfile, ".ass"), wordsFrom(replacementFile), printPosition); });
}

std::string modifySrt(const std::string& subfile, const std::string& replacementFile) {
    return reportedOnStderr(
        [&] { return exportSrt(subfile, outputName(subfile, ".json"), wordsFrom(replacementFile)); });
}

std::string srtSubtitles(const std::string& subfile, const std::string& replacementFile) {
    return reportedOnStderr(
        [&] { return rewriteSrt(subfile, outputName(subfile, ".srt"), wordsFrom(replacementFile)); });
}
