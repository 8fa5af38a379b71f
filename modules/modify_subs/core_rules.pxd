# The core's word list and rule check, as both private extensions declare them.

from libcpp cimport bool as cpp_bool
from libcpp.map cimport map as cpp_map
from libcpp.string cimport string
from libcpp.vector cimport vector

cdef extern from "io/wordlist.h":
    ctypedef cpp_map[string, string] WordList
    WordList loadReplacementWords(const string& filename) except +

cdef extern from "rules/text_rewriter.h":
    cdef struct RewriteMode:
        cpp_bool protectTags
        cpp_bool unicode

cdef extern from "rules/rule_check.h":
    cdef cppclass RuleCheck:
        string pattern
        string replacement
        string problem
    vector[RuleCheck] checkRules(const WordList& words, cpp_bool unicode) except +
