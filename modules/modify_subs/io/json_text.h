#pragma once

// The export document in jsoncpp's own stream-writer form, written straight to a
// stream: jsoncpp builds each quoted string whole (for one long cue, two copies of
// it beside the document) before writing a byte.

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

// Exactly what jsoncpp's StreamWriter with a two-blank indentation writes for
// `document`. Flat documents of valid UTF-8 strings, as the passes make them, are
// written here; any other shape goes to jsoncpp itself.
void writeJsonText(const Json::Value& document, std::ostream& stream);

// The flat document of `members` as writeJsonText writes it; the members are in
// the order a JSON object keeps (by name, each once) and valid UTF-8. None: null.
void writeJsonMembers(const std::vector<std::pair<std::string, std::string>>& members, std::ostream& stream);
