#pragma once

#include <map>
#include <string>

// Pattern -> replacement. std::map keeps the byte-wise pattern order in which the
// rules are applied, so that order is part of the list's meaning.
using WordList = std::map<std::string, std::string>;
