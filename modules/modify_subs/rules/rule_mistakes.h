#pragma once

// What a rule does that its author hardly meant, each as one sentence with the fix:
// a pattern that matches an empty text anywhere, a replacement that names a group the
// pattern lacks, or writes a group the way Python does ("\1", "\g<1>").

#include <string>
#include <vector>

#include "rules/replacement_rules.h"

std::vector<std::string> ruleMistakes(const ReplacementRule& rule);
