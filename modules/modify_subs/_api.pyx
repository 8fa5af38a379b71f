# cython: language_level=3str
# distutils: language = c++

# The public API's native side: converts, calls the core without the interpreter
# lock, and raises what the core reports. Texts, patterns and paths cross as
# bytes; bytes that are not UTF-8 travel as surrogate escapes and come back intact.

import os

from libcpp cimport bool as cpp_bool
from libcpp.memory cimport unique_ptr
from libcpp.optional cimport optional
from libcpp.pair cimport pair
from libcpp.string cimport string
from libcpp.vector cimport vector

from c_quorvant.errors import SubtitleFileError, WordListError

from core_rules cimport RewriteMode, WordList

cdef extern from "output.h":
    string outputName(const string& subfile, const string& ending) except +

cdef extern from "tag_runs.h":
    cdef enum class TagSyntax:
        pass

cdef extern from "text_rewriter.h":
    cdef struct RewriteCount:
        int texts
        int changed

cdef extern from "subtitle_document.h":
    cdef enum class SubtitleFormat:
        pass
    optional[SubtitleFormat] formatNamed(const string& name)
    const char* formatName(SubtitleFormat format)

cdef extern from "subtitle_api.h":
    cdef enum class PassKind:
        Export
        Rewrite
    cdef cppclass PassResult:
        string output
        RewriteCount texts
    cdef cppclass Utf8Pass:
        PassResult result
        SubtitleFormat format
        optional[string] otherEncoding
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

cdef extern from "encoding_choice.h":
    cdef enum class EncodingEvidence:
        Mark
        Utf8
        Utf16Zeros
        Detector
        NoAnswer
    cdef cppclass EncodingChoice:
        string name
        size_t markLength
        EncodingEvidence evidence
    EncodingChoice chooseEncoding(const string& bytes) except + nogil

cdef extern from "compiled_rules.h":
    cdef cppclass Problem "CompiledRules::Problem":
        string pattern
        string message
    cdef cppclass CompiledRules:
        CompiledRules(WordList words) except +
        vector[Problem] problems(cpp_bool unicode) except + nogil

cdef extern from "api_calls.h":
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
    ApiFailure tryRunUtf8Pass(PassKind kind, const string& subfile, const string& output, CompiledRules& rules,
                              RewriteMode mode, Utf8Pass& result) except + nogil
    ApiFailure tryRewriteBytes(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                               RewrittenBytes& result) except + nogil
    ApiFailure tryExportTexts(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                              ExportedTexts& result) except + nogil
    ApiFailure tryPreviewBytes(const string& data, SubtitleFormat format, CompiledRules& rules, RewriteMode mode,
                               PreviewResult& result) except + nogil
    ApiFailure tryWriteOutput(const string& output, const string& content) except + nogil
    ApiFailure tryExportBytesTo(const string& data, SubtitleFormat format, const string& output,
                                CompiledRules& rules, RewriteMode mode, Utf8Pass& result) except + nogil
    ApiFailure tryApplyRules(vector[string]& texts, CompiledRules& rules, RewriteMode mode,
                             TagSyntax tags) except + nogil
    TagSyntax tagSyntaxNamed(const string& name) except +
    ApiFailure tryParseWords(const string& document, WordList& words) except +


cdef bytes _bytes(str text):
    return text.encode('utf-8', 'surrogateescape')


cdef str _text(const string& raw):
    return raw.decode('utf-8', 'surrogateescape')


cdef WordList _word_list(dict words) except *:
    cdef WordList rules
    for pattern, replacement in words.items():
        rules[_bytes(pattern)] = _bytes(replacement)
    return rules


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

    def __cinit__(self, dict words):
        self._rules.reset(new CompiledRules(_word_list(words)))

    def problems(self, bint unicode) -> list:
        """(pattern, the engine's message) for each pattern the mode's engine refuses."""
        cdef vector[Problem] found
        with nogil:
            found = self._rules.get().problems(unicode)
        return [(_text(problem.pattern), _text(problem.message)) for problem in found]


def output_name(bytes name, bytes ending) -> bytes:
    return outputName(name, ending)


def parse_words(bytes document) -> dict:
    cdef WordList words
    _raise(tryParseWords(document, words), None)
    return {_text(pattern): _text(replacement) for pattern, replacement in words}


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


def run_utf8_pass(bint export, bytes subfile, bytes output, CompiledWordList words, bint protect_tags,
                  bint unicode):
    """(texts read, texts changed, format read) of the pass on a UTF-8 file; the
    file's bytes, nothing written, when it is in another encoding."""
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef PassKind kind = PassKind.Export if export else PassKind.Rewrite
    cdef string source = subfile
    cdef string target = output
    cdef Utf8Pass done
    cdef ApiFailure failure
    with nogil:
        failure = tryRunUtf8Pass(kind, source, target, rules[0], mode, done)
    _raise(failure, subfile)
    cdef string other
    if done.otherEncoding.has_value():
        other = done.otherEncoding.value()
        return <bytes>other
    return done.result.texts.texts, done.result.texts.changed, _format_name(done.format)


cdef str _format_name(SubtitleFormat format):
    return formatName(format).decode()


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


_EVIDENCE = {
    EncodingEvidence.Mark: "mark",
    EncodingEvidence.Utf8: "utf-8",
    EncodingEvidence.Utf16Zeros: "utf-16 zeros",
    EncodingEvidence.Detector: "detector",
    EncodingEvidence.NoAnswer: "none",
}


def choose_encoding(bytes data):
    cdef string source = data
    cdef EncodingChoice choice
    with nogil:
        choice = chooseEncoding(source)
    return choice.name.decode("ascii"), choice.markLength, _EVIDENCE[choice.evidence]


def write_output(bytes output, bytes content):
    cdef string target = output
    cdef string source = content
    cdef ApiFailure failure
    with nogil:
        failure = tryWriteOutput(target, source)
    _raise(failure, None)


def export_to(bytes output, bytes data, str format, CompiledWordList words, bint protect_tags, bint unicode):
    """The export pass on `data` in memory, writing `output`: (texts read, texts changed, format read)."""
    cdef string target = output
    cdef string source = data
    cdef SubtitleFormat kind = _format(format)
    cdef CompiledRules* rules = words._rules.get()
    cdef RewriteMode mode = RewriteMode(protect_tags, unicode)
    cdef Utf8Pass result
    cdef ApiFailure failure
    with nogil:
        failure = tryExportBytesTo(source, kind, target, rules[0], mode, result)
    _raise(failure, None)
    return result.result.texts.texts, result.result.texts.changed, _format_name(result.format)
