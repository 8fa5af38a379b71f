#pragma once

// The one place where a binding learns what a failure of the core was: called
// inside a catch block, it reads the exception being handled, whose type says what
// went wrong and whose fields say where (the pattern, the file and the system's
// errno, the text). The binding raises its own exception from that, once.

#include <string>

enum class FailureKind {
    Rule,              // RuleError: subject is the pattern
    WordListDocument,  // WordListDocumentError
    InputFile,         // InputFileError: subject is the path, error its errno, message the system's reason
    SubtitleFormat,    // SubtitleFormatError: subject is the path, "" for bytes alone
    UnwritableText,    // UnwritableTextError: subject is the text's export key
    Output,            // OutputFileError: subject is the path, error its errno (0: none given)
    Memory,
    Other,
};

struct CaughtFailure {
    FailureKind kind = FailureKind::Other;
    std::string message;
    std::string subject;
    int error = 0;
};

CaughtFailure caughtFailure() noexcept;
