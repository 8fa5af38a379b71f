# cython: language_level=3str
# distutils: language = c++

# The public API's native side, and through it the command line's: converts, calls
# the core without the interpreter lock, and raises what the core reports. Texts, patterns and paths cross as
# bytes; bytes that are not UTF-8 travel as surrogate escapes and come back intact.

cimport cython

import os

from cpython.buffer cimport PyBuffer_FillInfo

from libcpp cimport bool as cpp_bool
from libcpp.memory cimport unique_ptr
from libcpp.optional cimport optional
from libcpp.pair cimport pair
from libcpp.string cimport string
from libcpp.vector cimport vector

from c_quorvant.errors import SubtitleFileError, WordListError

cdef extern from "rules/replacement_rules.h":
    cdef enum class LetterCase:
        Insensitive
        Sensitive
        Preserve
    cdef cppclass ReplacementRule:
        string pattern
        string replacement
        LetterCase letterCase
        cpp_bool word
        cpp_bool literal
    ctypedef vector[ReplacementRule] RuleSequence

cdef extern from "io/word_list_file.h":
    cdef cppclass WordListEntry:
        ReplacementRule rule
        cpp_bool enabled
        int line
        int column

cdef extern from "rules/text_rewriter.h":
    cdef struct RewriteMode:
        cpp_bool protectTags
        cpp_bool unicode

cdef extern from "rules/rule_check.h":
    cdef cppclass RuleCheck:
        string problem
        vector[string] warnings
        optional[size_t] shadowedBy

cdef extern from "text/tag_runs.h":
    cdef enum class TagSyntax:
        pass

cdef extern from "rules/text_rewriter.h":
    cdef struct RewriteCount:
        int texts
        int changed

cdef extern from "document/subtitle_format.h":
    cdef enum class SubtitleFormat:
        pass
    optional[SubtitleFormat] formatNamed(const string& name)
    const char* formatName(SubtitleFormat format)

cdef extern from "api/subtitle_api.h":
    cdef enum class PassKind:
        Export
        Rewrite
    cdef cppclass PassResult:
        string output
        RewriteCount texts
    cdef cppclass FilePass:
        PassResult result
        SubtitleFormat format
    cdef cppclass TextChange:
        string key
        string before
        string after
    cdef cppclass PreviewResult:
        int textCount
        vector[TextChange] changes
        SubtitleFormat format
    cdef cppclass RewrittenBytes:
        string bytes
        RewriteCount texts
        SubtitleFormat format
    cdef cppclass ExportedTexts:
        vector[pair[string, string]] texts
        RewriteCount count
        SubtitleFormat format

cdef extern from "<string_view>" namespace "std" nogil:
    cdef cppclass string_view:
        string_view()
        string_view(const char* data, size_t size)

cdef extern from "io/byte_census.h":
    cdef cppclass ByteCensus:
        size_t multibyte
        size_t stray
        size_t escapes
        size_t hzShifts
        size_t evenZeros
        size_t oddZeros
        size_t high[128]
    ByteCensus takeCensus(string_view bytes) nogil

cdef extern from "io/charset_detector.h":
    optional[string] detectCharset(string_view bytes) except + nogil

cdef extern from "rules/compiled_rules.h":
    cdef cppclass Problem "CompiledRules::Problem":
        string pattern
        string message
    cdef cppclass CompiledRules:
        CompiledRules(RuleSequence rules) except +
        vector[RuleCheck] checks(cpp_bool unicode) except + nogil
        vector[Problem] problems(cpp_bool unicode) except + nogil
        optional[Problem] refusedInEveryMode() except + nogil

cdef extern from "api/api_calls.h":
    cdef enum class FailureKind:
        Ok
        Rule
        SubtitleFile
        Output
        BadWordList
        Memory
        Other
    cdef cppclass ApiFailure:
        FailureKind kind
        string message
        string subject
        int error
    ApiFailure tryReadSubtitleFile(const string& subfile, string& bytes) except + nogil
    ApiFailure tryPassOnBytes(PassKind kind, string& data, SubtitleFormat format, const string& output,
                              CompiledRules& rules, RewriteMode mode, FilePass& result) except + nogil
    ApiFailure tryRewriteBytes(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                               RewrittenBytes& result) except + nogil
    ApiFailure tryExportTexts(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                              ExportedTexts& result) except + nogil
    ApiFailure tryPreviewBytes(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                               PreviewResult& result) except + nogil
    ApiFailure tryWriteOutput(const string& output, const string& content) except + nogil
    ApiFailure tryApplyRules(vector[string]& texts, CompiledRules& rules, RewriteMode mode,
                             TagSyntax tags) except + nogil
    TagSyntax tagSyntaxNamed(const string& name) except +
    ApiFailure tryParseWords(const string& document, vector[WordListEntry]& entries) except +
    ApiFailure tryParseRuleValue(const string& pattern, const string& value, WordListEntry& entry) except +


cdef bytes _bytes(str text):
    return text.encode('utf-8', 'surrogateescape')


cdef str _text(const string& raw):
    return raw.decode('utf-8', 'surrogateescape')


_CASES = ("insensitive", "sensitive", "preserve")


cdef RuleSequence _rule_sequence(list rules) except *:
    cdef RuleSequence sequence
    cdef ReplacementRule rule
    for pattern, replacement, letter_case, word, literal in rules:
        rule.pattern = _bytes(pattern)
        rule.replacement = _bytes(replacement)
        rule.letterCase = <LetterCase><int>_CASES.index(letter_case)
        rule.word = word
        rule.literal = literal
        sequence.push_back(rule)
    return sequence


cdef tuple _entry(const WordListEntry& entry):
    # pattern, replacement, case, word, literal, enabled, line, column
    return (_text(entry.rule.pattern), _text(entry.rule.replacement), _CASES[<int>entry.rule.letterCase],
            entry.rule.word, entry.rule.literal, entry.enabled, entry.line, entry.column)


cdef int _raise(const ApiFailure& failure, object path) except -1:
    if failure.kind == FailureKind.Ok:
        return 0
    message = _text(failure.message)
    if failure.kind == FailureKind.Rule:
        raise WordListError(message, pattern=_text(failure.subject))
    if failure.kind == FailureKind.SubtitleFile:
        raise SubtitleFileError(path, message)
    if failure.kind == FailureKind.Output:
        output = os.fsdecode(<bytes>failure.subject)
        if failure.error:
            raise OSError(failure.error, os.strerror(failure.error), output)
        raise OSError(message)
    if failure.kind == FailureKind.BadWordList:
        raise WordListError(message)
    if failure.kind == FailureKind.Memory:
        raise MemoryError()
    raise RuntimeError(message)


cdef class CompiledWordList:
    """A word list's rules, compiled natively by the first call in each mode and
    shared by every later call, from any thread."""
    cdef unique_ptr[CompiledRules] _rules

    def __cinit__(self, list rules):
        self._rules.reset(new CompiledRules(_rule_sequence(rules)))

    def problems(self, bint unicode) -> list:
        """(pattern, the engine's message) for each pattern the mode's engine refuses."""
        cdef vector[Problem] found
        with nogil:
            found = self._rules.get().problems(unicode)
        return [(_text(problem.pattern), _text(problem.message)) for problem in found]

    def refused_in_every_mode(self):
        """(pattern, the byte-wise engine's message) for the first rule neither mode takes, or None."""
        cdef optional[Problem] found
        with nogil:
            found = self._rules.get().refusedInEveryMode()
        return (_text(found.value().pattern), _text(found.value().message)) if found.has_value() else None

    def checks(self, bint unicode) -> list:
        """(problem, warnings, shadowed by) for each rule, in the order they apply."""
        cdef vector[RuleCheck] found
        with nogil:
            found = self._rules.get().checks(unicode)
        return [(_text(check.problem), [_text(warning) for warning in check.warnings],
                 check.shadowedBy.value() if check.shadowedBy.has_value() else None) for check in found]


def parse_words(bytes document) -> list:
    cdef vector[WordListEntry] entries
    _raise(tryParseWords(document, entries), None)
    return [_entry(entry) for entry in entries]


def parse_rule_value(str pattern, bytes value) -> tuple:
    cdef WordListEntry entry
    _raise(tryParseRuleValue(_bytes(pattern), value, entry), None)
    return _entry(entry)


def apply_rules(list texts, CompiledWordList words, str tags, bint protect_tags, bint unicode) -> list:
    cdef vector[string] sources
    sources.reserve(len(texts))
    for text in texts:
        sources.push_back(_bytes(text))
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef TagSyntax syntax = tagSyntaxNamed(tags.encode())
    cdef ApiFailure failure
    with nogil:
        failure = tryApplyRules(sources, rules[0], mode, syntax)
    _raise(failure, None)
    return [_text(text) for text in sources]


@cython.auto_pickle(False)
cdef class FileBytes:
    """A file's bytes as the native passes read them, lent to Python as a buffer
    for the encoding choice, so that a UTF-8 file is held once from its read to its
    pass (pass_on takes them over)."""
    cdef string data
    cdef Py_ssize_t exports

    def __getbuffer__(self, Py_buffer* view, int flags):
        PyBuffer_FillInfo(view, self, <void*>self.data.data(), self.data.size(), 1, flags)
        self.exports += 1

    def __releasebuffer__(self, Py_buffer* view):
        self.exports -= 1

    def __len__(self):
        return self.data.size()


def read_file(bytes subfile):
    cdef string source = subfile
    cdef FileBytes read = FileBytes()
    cdef ApiFailure failure
    with nogil:
        failure = tryReadSubtitleFile(source, read.data)
    _raise(failure, subfile)
    return read


cdef str _format_name(SubtitleFormat format):
    return formatName(format).decode()


def pass_on(bint export, FileBytes data, str format, bytes output, CompiledWordList words, bint protect_tags,
            bint unicode):
    """The pass on the file's bytes, which it takes over, writing `output`: (texts read,
    texts changed, format read)."""
    if data.exports:
        raise BufferError("the file's bytes are still lent out")
    cdef string target = output
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef PassKind which = PassKind.Export if export else PassKind.Rewrite
    cdef FilePass result
    cdef ApiFailure failure
    with nogil:
        failure = tryPassOnBytes(which, data.data, kind, target, rules[0], mode, result)
    _raise(failure, None)
    return result.result.texts.texts, result.result.texts.changed, _format_name(result.format)


def utf8_bytes(bytes data):
    """`data` as a FileBytes, for pass_on."""
    cdef FileBytes held = FileBytes()
    held.data = data
    return held


cdef SubtitleFormat _format(str name) except *:
    cdef optional[SubtitleFormat] format = formatNamed(name.encode())
    if not format.has_value():
        raise ValueError(f'format is "ass", "ssa", "srt" or "vtt", not {name!r}')
    return format.value()


def rewrite_bytes(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef RewrittenBytes result
    cdef ApiFailure failure
    with nogil:
        failure = tryRewriteBytes(source, kind, rules[0], mode, result)
    _raise(failure, None)
    return <bytes>result.bytes, result.texts.texts, result.texts.changed, _format_name(result.format)


def export_texts(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef ExportedTexts result
    cdef ApiFailure failure
    with nogil:
        failure = tryExportTexts(source, kind, rules[0], mode, result)
    _raise(failure, None)
    texts = {_text(key): _text(text) for key, text in result.texts}
    return texts, result.count.texts, result.count.changed, _format_name(result.format)


cdef tuple _changes(PreviewResult& result):
    # Every format's keys are numbers: cue numbers, or positions from 1.
    return result.textCount, [(int(change.key), _text(change.before), _text(change.after))
                              for change in result.changes], _format_name(result.format)


def preview_bytes(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef PreviewResult result
    cdef ApiFailure failure
    with nogil:
        failure = tryPreviewBytes(source, kind, rules[0], mode, result)
    _raise(failure, None)
    return _changes(result)


def byte_census(const unsigned char[::1] data):
    """(multibyte, stray, escapes, hz_shifts, even_zeros, odd_zeros, high) of takeCensus,
    high counting each byte from 0x80 up."""
    cdef string_view view
    if data.shape[0]:
        view = string_view(<const char*>&data[0], data.shape[0])
    cdef ByteCensus census
    with nogil:
        census = takeCensus(view)
    high = [census.high[i] for i in range(128)]
    return census.multibyte, census.stray, census.escapes, census.hzShifts, census.evenZeros, census.oddZeros, high


def detect_charset(const unsigned char[::1] data):
    """The detector's name for the charset of `data`, or None."""
    cdef string_view view
    if data.shape[0]:
        view = string_view(<const char*>&data[0], data.shape[0])
    cdef optional[string] found
    with nogil:
        found = detectCharset(view)
    return found.value().decode("ascii") if found.has_value() else None


def write_output(bytes output, bytes content):
    cdef string target = output
    cdef string source = content
    cdef ApiFailure failure
    with nogil:
        failure = tryWriteOutput(target, source)
    _raise(failure, None)
