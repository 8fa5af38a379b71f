#pragma once

// What the four passes share: how they get their rules and what they give back.
// The passes print nothing; see io/file_failures.h and rules/rule_error.h for what they throw.

#include <functional>
#include <string>

#include "rules/text_rewriter.h"

struct PassResult {
    std::string output;
    RewriteCount texts;  // texts read, and how many of them the rules changed
};

// Makes the rules when a pass first needs them: the module reads its word list
// only once the subtitle file has been read.
using RewriterSource = std::function<TextRewriter()>;
