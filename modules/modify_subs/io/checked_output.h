#pragma once

// How a pass puts its output in place: whole or not at all (see io/output.h).

#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "io/json_text.h"
#include "io/output.h"

// Writes `content` to `output` or throws OutputFileError. The permission ceiling is
// writeWholeFile's.
void writeOutput(const std::string& output, const std::string& content, unsigned permissionCeiling = 0777);

// Writes what `produce` hands its writer (see writeFilePieces) or throws OutputFileError.
void writeOutputPieces(const std::string& output, const std::function<void(const PieceWriter&)>& produce,
                       unsigned permissionCeiling = 0777);

// Writes the export document to `output` or throws OutputFileError.
void writeOutputDocument(const std::string& output, Json::Value document);

// Writes the export document of `members` (see writeExportMembers) or throws OutputFileError.
void writeOutputMembers(const std::string& output, std::vector<JsonMember> members, unsigned permissionCeiling = 0777);
