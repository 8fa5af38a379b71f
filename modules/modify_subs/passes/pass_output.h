#pragma once

// How a pass puts its output in place: whole or not at all (see output.h).

#include <string>

#include <json/value.h>

// Writes `content` to `output` or throws OutputFileError.
void writeOutput(const std::string& output, const std::string& content);

// Writes the export document to `output` or throws OutputFileError.
void writeOutputDocument(const std::string& output, Json::Value document);
