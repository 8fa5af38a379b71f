#pragma once

// The export document in jsoncpp's own stream-writer form, written straight to a
// stream: jsoncpp builds each quoted string whole (for one long cue, two copies of
// it beside the document) before writing a byte.

#include <iosfwd>
#include <string_view>
#include <vector>

#include <json/value.h>

// Exactly what jsoncpp's StreamWriter with a two-blank indentation writes for
// `document`. Flat documents of valid UTF-8 strings, as the passes make them, are
// written here; any other shape goes to jsoncpp itself.
void writeJsonText(const Json::Value& document, std::ostream& stream);

// A member of a flat export document, held elsewhere.
struct JsonMember {
    std::string_view key;
    std::string_view text;
};

// What writeJsonText writes for the flat object of `members`: given in jsoncpp's
// key order, each key once, as valid UTF-8. None: null, as for a null document.
void writeJsonMembers(const std::vector<JsonMember>& members, std::ostream& stream);
