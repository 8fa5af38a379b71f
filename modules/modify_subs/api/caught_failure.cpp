#include "api/caught_failure.h"

#include <cstring>
#include <exception>
#include <new>

#include "document/format_error.h"
#include "io/file_failures.h"
#include "io/input_file.h"
#include "io/word_list_file.h"
#include "rules/rule_error.h"

namespace {

CaughtFailure rethrownAndRead() {
    try {
        throw;
    } catch (const RuleError& failure) {
        return {FailureKind::Rule, failure.what(), failure.pattern(), 0};
    } catch (const WordListDocumentError& failure) {
        return {FailureKind::WordListDocument, failure.what(), {}, 0};
    } catch (const InputFileError& failure) {
        // The system's reason alone: what() names the path only up to a NUL byte it may hold.
        return {FailureKind::InputFile, std::strerror(failure.error()), failure.path(), failure.error()};
    } catch (const SubtitleFormatError& failure) {
        return {FailureKind::SubtitleFormat, failure.what(), failure.path(), 0};
    } catch (const UnwritableTextError& failure) {
        return {FailureKind::UnwritableText, failure.what(), failure.key(), 0};
    } catch (const OutputFileError& failure) {
        // line(): what() ends at a NUL byte a path may hold.
        return {FailureKind::Output, failure.line(), failure.path(), failure.error()};
    } catch (const std::bad_alloc&) {
        return {FailureKind::Memory, {}, {}, 0};
    } catch (const std::exception& failure) {
        return {FailureKind::Other, failure.what(), {}, 0};
    } catch (...) {
        return {FailureKind::Other, "unknown failure", {}, 0};
    }
}

}  // namespace

CaughtFailure caughtFailure() noexcept {
    try {
        return rethrownAndRead();
    } catch (...) {
        // Copying the failure's text ran out of memory.
        return {FailureKind::Memory, {}, {}, 0};
    }
}
