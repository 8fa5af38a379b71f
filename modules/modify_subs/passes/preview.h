#pragma once

#include <string>
#include <vector>

#include "text_rewriter.h"
#include "wordlist.h"

// One text that the rules would change, under the key the export pass files it by.
struct TextChange {
    int key;  // event position from 1 for ASS, cue number for SubRip
    std::string before;
    std::string after;
};

struct PreviewResult {
    int textCount = 0;  // texts the export pass would rewrite
    std::vector<TextChange> changes;
};

// The texts the export pass would rewrite, read as it reads them (libass for
// ".ass", the SubRip parser on the cleaned content for ".srt"), rewritten by the
// same rewriter in `mode`; writes nothing. Throws std::invalid_argument for any other
// ending, std::runtime_error when the file can't be read, and the substitution's
// std::regex_error for a bad pattern.
PreviewResult previewChanges(const std::string& subfile, const WordList& words, RewriteMode mode = {});
