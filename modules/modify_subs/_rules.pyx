# cython: language_level=3str
# distutils: language = c++

# The command line's view of the core: the same word-list loader and regex engine
# as the passes, without adding anything to the public module.

from libcpp.string cimport string
from libcpp.vector cimport vector

from core_rules cimport RewriteMode, RuleCheck, WordList, checkRules, loadReplacementWords

cdef extern from "pattern_warnings.h":
    vector[string] patternWarnings(const string& pattern) except +

cdef str _text(const string& raw):
    # Subtitle texts and patterns are bytes as read; show what can't be decoded
    # instead of failing on it.
    return raw.decode('utf-8', 'replace')


def check_rules(bytes words_path, bint unicode=False):
    # Character-wise, a pattern works on whole characters: no byte-wise warnings.
    cdef vector[RuleCheck] checks = checkRules(loadReplacementWords(words_path), unicode)
    return [(_text(check.pattern), _text(check.replacement), _text(check.problem),
             [] if unicode else [_text(warning) for warning in patternWarnings(check.pattern)])
            for check in checks]
