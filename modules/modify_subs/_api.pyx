# cython: language_level=3str
# distutils: language = c++

# The public API's native side, and through it the command line's: converts, calls
# the core without the interpreter lock, and raises what the core reports. Texts, patterns and paths cross as
# bytes; bytes that are not UTF-8 travel as surrogate escapes and come back intact.

cimport cython

import contextlib
import os

from cpython.buffer cimport PyBuffer_FillInfo

from libcpp cimport bool as cpp_bool
from libcpp.memory cimport unique_ptr
from libcpp.optional cimport optional
from libcpp.pair cimport pair
from libcpp.string cimport string
from libcpp.utility cimport move
from libcpp.vector cimport vector

from c_quorvant.errors import SubtitleFileError, UnwritableTextError, WordListError

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

cdef extern from "api/caught_failure.h":
    cdef enum class FailureKind:
        Rule
        WordListDocument
        InputFile
        SubtitleFormat
        UnwritableText
        Output
        Memory
        Other
    cdef cppclass CaughtFailure:
        FailureKind kind
        string message
        string subject
        int error
    CaughtFailure caughtFailure()


cdef int _raise_failure() except *:
    """The one translation of a failure of the core into the package's exceptions;
    Cython calls it inside the C++ catch block, holding the interpreter lock."""
    cdef CaughtFailure failure = caughtFailure()
    message = _text(failure.message)
    if failure.kind == FailureKind.Rule:
        raise WordListError(message, pattern=_text(failure.subject))
    if failure.kind == FailureKind.WordListDocument:
        raise WordListError(message)
    if failure.kind == FailureKind.InputFile:
        raise SubtitleFileError(os.fsdecode(<bytes>failure.subject), message)
    if failure.kind == FailureKind.SubtitleFormat:
        raise SubtitleFileError(os.fsdecode(<bytes>failure.subject) if failure.subject.size() else None, message)
    if failure.kind == FailureKind.Output:
        if failure.error:
            raise OSError(failure.error, os.strerror(failure.error), os.fsdecode(<bytes>failure.subject))
        # No errno to give, but the file is still named.
        unnamed = OSError(message)
        unnamed.filename = os.fsdecode(<bytes>failure.subject)
        raise unnamed
    if failure.kind == FailureKind.UnwritableText:
        raise UnwritableTextError(_text(failure.subject), message)
    if failure.kind == FailureKind.Memory:
        raise MemoryError()
    # A text too long for a rule.
    raise RuntimeError(message)


cdef extern from "text/tag_runs.h":
    cdef enum class TagSyntax:
        pass

cdef extern from "rules/text_rewriter.h":
    cdef cppclass RewriteCount:
        int texts
        int changed
        vector[int] byRule

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
        vector[size_t] rules
        size_t begin
        size_t end
        string written
    cdef cppclass PreviewResult:
        RewriteCount count
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
    cdef cppclass DocumentText:
        string key
        string text
        string heading

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
    optional[string] detectCharset(string_view bytes) except +_raise_failure nogil

cdef extern from "rules/compiled_rules.h":
    cdef cppclass Problem "CompiledRules::Problem":
        string pattern
        string message
    cdef cppclass CompiledRules:
        CompiledRules(RuleSequence rules) except +_raise_failure
        vector[RuleCheck] checks(cpp_bool unicode) except +_raise_failure nogil
        vector[Problem] problems(cpp_bool unicode) except +_raise_failure nogil
        optional[Problem] refusedInEveryMode() except +_raise_failure nogil
        vector[string] patterns() except +_raise_failure

cdef extern from "api/subtitle_api.h":
    string readSubtitleFile(const string& subfile) except +_raise_failure nogil
    FilePass passOnBytes(PassKind kind, string data, SubtitleFormat format, const string& name, const string& output,
                         unsigned permissionCeiling, CompiledRules& rules,
                         RewriteMode mode) except +_raise_failure nogil
    RewrittenBytes rewriteBytes(string data, SubtitleFormat format, const string& name, CompiledRules& rules,
                                RewriteMode mode, const vector[size_t]& kept) except +_raise_failure nogil
    vector[DocumentText] documentTexts(string data, SubtitleFormat format,
                                       const string& name) except +_raise_failure nogil
    ExportedTexts exportTexts(string data, SubtitleFormat format, const string& name, CompiledRules& rules,
                              RewriteMode mode) except +_raise_failure nogil
    PreviewResult previewBytes(string data, SubtitleFormat format, const string& name, CompiledRules& rules,
                               RewriteMode mode, bint edits) except +_raise_failure nogil
    vector[string] applyRules(vector[string] texts, CompiledRules& rules, RewriteMode mode,
                              TagSyntax tags) except +_raise_failure nogil
    TagSyntax tagSyntaxNamed(const string& name) except +_raise_failure

cdef extern from "io/checked_output.h":
    void writeOutput(const string& output, const string& content,
                     unsigned permissionCeiling) except +_raise_failure nogil

cdef extern from "io/word_list_file.h":
    vector[WordListEntry] readWordListDocument(const string& document) except +_raise_failure
    WordListEntry ruleFromJsonValue(const string& pattern, const string& value) except +_raise_failure


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


cdef class CompiledWordList:
    """A word list's rules, compiled natively by the first call in each mode
    (protect_tags and unicode, each on or off) and lent to later calls in that mode
    from any thread; calls at the same moment each get a rewriter of their own."""
    cdef unique_ptr[CompiledRules] _rules
    cdef list _patterns  # in the order the rules apply: what a rule's index names

    def __cinit__(self, list rules):
        self._rules.reset(new CompiledRules(_rule_sequence(rules)))
        self._patterns = [_text(pattern) for pattern in self._rules.get().patterns()]

    cdef dict by_rule(self, const vector[int]& counts):
        """Pattern -> texts changed, for each rule that changed any, in the order they apply."""
        return {self._patterns[index]: counts[index] for index in range(counts.size()) if counts[index]}

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
    cdef vector[WordListEntry] entries = readWordListDocument(document)
    return [_entry(entry) for entry in entries]


def parse_rule_value(str pattern, bytes value) -> tuple:
    cdef WordListEntry entry = ruleFromJsonValue(_bytes(pattern), value)
    return _entry(entry)


def apply_rules(list texts, CompiledWordList words, str tags, bint protect_tags, bint unicode) -> list:
    cdef vector[string] sources
    sources.reserve(len(texts))
    for text in texts:
        sources.push_back(_bytes(text))
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef TagSyntax syntax = tagSyntaxNamed(tags.encode())
    with nogil:
        sources = applyRules(move(sources), rules[0], mode, syntax)
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


def read_file(path):
    """The bytes of the file at `path` (str or bytes, as the caller gave it)."""
    cdef string source = os.fsencode(path)
    cdef FileBytes read = FileBytes()
    with _as_given(path):
        with nogil:
            read.data = readSubtitleFile(source)
    return read


@contextlib.contextmanager
def _as_given(path):
    # The core names a file by its bytes; a caller who gave a str gets a str back.
    try:
        yield
    except SubtitleFileError as failure:
        failure.path = None if path is None else os.fspath(path)
        raise


cdef str _format_name(SubtitleFormat format):
    return formatName(format).decode()


def pass_on(bint export, FileBytes data, str format, object path, bytes output, unsigned permissions,
            CompiledWordList words, bint protect_tags, bint unicode):
    """The pass on the bytes of the file at `path`, which it takes over, writing `output`
    with no permission bit outside `permissions`: (texts read, texts changed, format
    read, counts by rule)."""
    if data.exports:
        raise BufferError("the file's bytes are still lent out")
    cdef string target = output
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef PassKind which = PassKind.Export if export else PassKind.Rewrite
    cdef string name = os.fsencode(path)
    cdef FilePass result
    with _as_given(path):
        with nogil:
            result = passOnBytes(which, move(data.data), kind, name, target, permissions, rules[0], mode)
    return (result.result.texts.texts, result.result.texts.changed, _format_name(result.format),
            words.by_rule(result.result.texts.byRule))


def utf8_bytes(bytes data):
    """`data` as a FileBytes, for pass_on."""
    cdef FileBytes held = FileBytes()
    held.data = data
    return held


cdef SubtitleFormat _format(str name) except *:
    cdef optional[SubtitleFormat] format = formatNamed(name.encode())
    if not format.has_value():
        raise ValueError(f'format is "ass", "ssa", "srt", "vtt", "sami", "ttml", "microdvd" or "mpl2", not {name!r}')
    return format.value()


def rewrite_bytes(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode, path=None,
                  kept=()):
    cdef string source = data
    # The core walks the positions once, in order.
    cdef vector[size_t] kept_positions = sorted(set(kept))
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef string name = b"" if path is None else os.fsencode(path)
    cdef RewrittenBytes result
    with _as_given(path):
        with nogil:
            result = rewriteBytes(move(source), kind, name, rules[0], mode, kept_positions)
    return (<bytes>result.bytes, result.texts.texts, result.texts.changed, _format_name(result.format),
            words.by_rule(result.texts.byRule))


def export_texts(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode, path=None):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef string name = b"" if path is None else os.fsencode(path)
    cdef ExportedTexts result
    with _as_given(path):
        with nogil:
            result = exportTexts(move(source), kind, name, rules[0], mode)
    texts = {_text(key): _text(text) for key, text in result.texts}
    return texts, result.count.texts, result.count.changed, _format_name(result.format), words.by_rule(result.count.byRule)


def document_texts(bytes data, str format, path=None):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef string name = b"" if path is None else os.fsencode(path)
    cdef vector[DocumentText] result
    with _as_given(path):
        with nogil:
            result = documentTexts(move(source), kind, name)
    return [(_text(text.key), _text(text.text), _text(text.heading)) for text in result]


cdef tuple _changes(PreviewResult& result, CompiledWordList words):
    # Every format's keys are numbers (cue numbers, or positions from 1), a repeated
    # cue number's later cues suffixed "#2", "#3", ... as in the export.
    keys = [_text(change.key) for change in result.changes]
    changes = [(int(key.partition("#")[0]), _text(result.changes[i].before), _text(result.changes[i].after))
               for i, key in enumerate(keys)]
    changed_by = [tuple([words._patterns[index] for index in change.rules]) for change in result.changes]
    return result.count.texts, changes, _format_name(result.format), changed_by, words.by_rule(result.count.byRule), keys


def preview_bytes(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode, path=None):
    cdef PreviewResult result = _previewed(data, format, words, protect_tags, unicode, path, False)
    return _changes(result, words)


def preview_edits(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode, path=None):
    cdef PreviewResult result = _previewed(data, format, words, protect_tags, unicode, path, True)
    # The bytes each change replaces in the text read, and what the copy writes there.
    replaced = [(change.begin, change.end, <bytes>change.written) for change in result.changes
                if change.begin != change.end or not change.written.empty()]
    return _changes(result, words) + (replaced,)


cdef PreviewResult _previewed(bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode, path,
                              bint edits):
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef string name = b"" if path is None else os.fsencode(path)
    cdef PreviewResult result
    with _as_given(path):
        with nogil:
            result = previewBytes(move(source), kind, name, rules[0], mode, edits)
    return result


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


def write_output(bytes output, bytes content, unsigned permissions):
    cdef string target = output
    cdef string source = content
    with nogil:
        writeOutput(target, source, permissions)
