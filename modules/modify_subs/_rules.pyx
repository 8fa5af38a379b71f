# cython: language_level=3str
# distutils: language = c++

# The command line's view of the core: the same word-list loader and regex engine
# as the passes, without adding anything to the public module.

from libcpp.string cimport string
from libcpp.vector cimport vector

from core_rules cimport RewriteMode, RuleCheck, WordList, checkRules

cdef extern from "pattern/pattern_warnings.h":
    vector[string] patternWarnings(const string& pattern) except +

cdef str _text(const string& raw):
    # Subtitle texts and patterns are bytes as read; show what can't be decoded
    # instead of failing on it.
    return raw.decode('utf-8', 'replace')


def check_rules(dict rules, bint unicode=False):
    # The command line reads its list once, through the API's parser, and hands the
    # rules on. Character-wise, a pattern works on whole characters: no byte-wise warnings.
    cdef WordList words
    for pattern, replacement in rules.items():
        words[pattern.encode('utf-8', 'surrogateescape')] = replacement.encode('utf-8', 'surrogateescape')
    cdef vector[RuleCheck] checks = checkRules(words, unicode)
    return [(_text(check.pattern), _text(check.replacement), _text(check.problem),
             [] if unicode else [_text(warning) for warning in patternWarnings(check.pattern)])
            for check in checks]
