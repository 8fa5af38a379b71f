#pragma once

// What the Python module calls. Texts are UTF-8 byte strings; an empty result
// means "nothing to report" (an unsupported ending or a failure the pass reported).

#include <string>
#include <unordered_map>
#include <vector>

// Rewrites the dialogue into a JSON export document; returns the document's name.
std::string modifySubs(const std::string& subfile, const std::string& replacementFile);

// Writes a rewritten copy of the subtitle file; returns the copy's name.
std::string overwriteSubs(const std::string& subfile, const std::string& replacementFile);

using InnerMostMap = std::unordered_map<std::string, std::vector<std::string>>;
using InnerMap = std::unordered_map<std::string, InnerMostMap>;
using OuterMap = std::unordered_map<std::string, InnerMap>;

// The inner key under "honorifics" whose list `search_array` holds `target_string`,
// or "" when there is none.
std::string find_key_by_string(const OuterMap& dictionary, const std::string& target_string,
                               const std::string& search_array);

bool endsWith(const std::string& fullString, const std::string& ending);

// A developer's aid, called by nothing in the module: every key and list of
// `cpp_dict` on standard output, one flushed line each.
void printMap(const OuterMap& cpp_dict);
