#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <json/value.h>

#include "io/json_text.h"

// "[Quorvanted] " in front of the whole path as given, and everything from the last
// '.' replaced by `ending`. The prefix lands on the first path component, so
// "dir/x.ass" names a file inside a directory called "[Quorvanted] dir".
std::string outputName(const std::string& subfile, const std::string& ending);

// How a whole-file write ended. A file that could not be created or put in place
// and one whose writing failed part-way (a full disk) are reported differently.
class WriteResult {
public:
    static WriteResult written() { return WriteResult(true, {}, 0); }
    static WriteResult notOpened(int error = 0) { return WriteResult(false, {}, error); }
    static WriteResult failedPartWay(const std::string& path, int error);

    explicit operator bool() const { return _written; }

    // The errno of the failure; 0 when the system gave none.
    int error() const { return _error; }

    // The line reporting a failure: `cannotOpen` for a file that could not be
    // opened, else the failed write with the system's reason.
    std::string failureLine(std::string cannotOpen) const;

private:
    WriteResult(bool written, std::string failedWrite, int error)
        : _written(written), _failedWrite(std::move(failedWrite)), _error(error) {}

    bool _written;
    std::string _failedWrite;
    int _error;
};

// Replaces `path` with exactly `content`: written to a fresh file beside it, then
// renamed over it, so a reader never sees a partial file and an existing one is
// replaced only by a complete new one that keeps its permission bits. On failure
// nothing is left behind. The new file gets no permission bit outside
// `permissionCeiling` (an input's bits, so a private file gives a private copy).
WriteResult writeWholeFile(const std::string& path, std::string_view content, unsigned permissionCeiling = 0777);

// Takes the pieces of a file's content, in order.
using PieceWriter = std::function<void(std::string_view)>;

// What `produce` hands its PieceWriter, written as writeWholeFile writes `content`,
// without the whole ever held in memory. When `produce` throws, nothing is left
// behind and the exception goes on.
WriteResult writeFilePieces(const std::string& path, const std::function<void(const PieceWriter&)>& produce,
                            unsigned permissionCeiling = 0777);

// The export document as the export passes store it (jsoncpp's stream writer with a
// two-blank indentation and every other setting at its default), written as writeWholeFile writes,
// streamed into the new file instead of held whole in memory beside the document.
WriteResult writeExportDocument(const std::string& path, Json::Value document, unsigned permissionCeiling = 0777);

// The export document of `members` (in file order; a repeated key keeps the later
// text, as in a Json::Value), written as writeExportDocument writes that document
// but from texts held elsewhere: no document is built beside them.
WriteResult writeExportMembers(const std::string& path, std::vector<JsonMember> members,
                               unsigned permissionCeiling = 0777);

// One diagnostic line: the message, a newline, and a flush.
void reportLine(std::ostream& stream, std::string_view message);
