#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include <json/value.h>

// "[Quorvanted] " in front of the whole path as given, and everything from the last
// '.' replaced by `ending`. The prefix lands on the first path component, so
// "dir/x.ass" names a file inside a directory called "[Quorvanted] dir".
std::string outputName(const std::string& subfile, const std::string& ending);

// The export document as the export passes store it: jsoncpp's stream writer with
// a two-blank indentation and every other setting at its default. Taken by value:
// callers move their document in, as it is the largest thing a pass holds.
std::string exportDocumentText(Json::Value document);

// Replaces `path` with exactly `content`: written to a fresh file beside it, then
// renamed over it, so a reader never sees a partial file and an existing one is
// replaced only by a complete new one. Returns false, leaving nothing behind, when
// the file can't be created or written.
bool writeWholeFile(const std::string& path, std::string_view content);

// One diagnostic line: the message, a newline, and a flush.
void reportLine(std::ostream& stream, std::string_view message);
