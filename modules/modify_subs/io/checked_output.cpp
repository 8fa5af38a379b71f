#include "io/checked_output.h"

#include <utility>

#include "io/file_failures.h"
#include "io/output.h"

void writeOutput(const std::string& output, const std::string& content, unsigned permissionCeiling) {
    const WriteResult written = writeWholeFile(output, content, permissionCeiling);
    if (!written) throw OutputFileError(output, written);
}

void writeOutputPieces(const std::string& output, const std::function<void(const PieceWriter&)>& produce,
                       unsigned permissionCeiling) {
    const WriteResult written = writeFilePieces(output, produce, permissionCeiling);
    if (!written) throw OutputFileError(output, written);
}

void writeOutputDocument(const std::string& output, Json::Value document) {
    const WriteResult written = writeExportDocument(output, std::move(document));
    if (!written) throw OutputFileError(output, written);
}

void writeOutputMembers(const std::string& output, std::vector<JsonMember> members, unsigned permissionCeiling) {
    const WriteResult written = writeExportMembers(output, std::move(members), permissionCeiling);
    if (!written) throw OutputFileError(output, written);
}
