# cython: language_level=3str
# distutils: language = c++

from libcpp.string cimport string
from libcpp.utility cimport move
from libcpp.vector cimport vector

# `except +` turns every C++ exception that leaves the core into a Python one,
# so a bad word list or pattern raises instead of taking the interpreter down.
cdef extern from "modify_subs.h":
    # Only what the conversion uses, and every store guarded: a failed allocation
    # must become MemoryError, not unwind through the interpreter.
    cdef cppclass InnerMostMap:
        void clear()
        void insert_or_assign(const string& key, const vector[string]& value) except +
    cdef cppclass InnerMap:
        void clear()
        void insert_or_assign(const string& key, const InnerMostMap& value) except +
    cdef cppclass OuterMap:
        void insert_or_assign(const string& key, const InnerMap& value) except +

    string modifySubs(const string& subfile, const string& replacementFile) except +
    string overwriteSubs(const string& subfile, const string& replacementFile) except +
    string find_key_by_string(const OuterMap& dictionary, const string& target_string,
                              const string& search_array) except +


cdef OuterMap to_cpp_dict(dict py_dict):
    cdef OuterMap cpp_dict
    cdef InnerMap inner_cpp_dict
    cdef InnerMostMap cpp_group
    cdef vector[string] cpp_vector
    cdef string cpp_key, cpp_nested_key, cpp_group_key

    for py_key, py_value in py_dict.items():
        cpp_key = py_key.encode('utf-8')
        # The working maps are reused across entries, so each starts empty.
        inner_cpp_dict.clear()
        for nested_key, nested_value in py_value.items():
            cpp_nested_key = nested_key.encode('utf-8')
            cpp_group.clear()
            for group_key, group_value in nested_value.items():
                cpp_group_key = group_key.encode('utf-8')
                cpp_vector.clear()
                for item in group_value:
                    cpp_vector.push_back(item.encode('utf-8'))
                cpp_group.insert_or_assign(cpp_group_key, cpp_vector)
            inner_cpp_dict.insert_or_assign(cpp_nested_key, cpp_group)
        cpp_dict.insert_or_assign(cpp_key, inner_cpp_dict)
    return move(cpp_dict)


def modify_subs_py(subfile: str, replacementFile: str) -> str:
    cdef string result = modifySubs(subfile.encode(), replacementFile.encode())
    return result.decode()


def overwrite_subs(subfile: str, replacementFile: str) -> str:
    cdef string result = overwriteSubs(subfile.encode(), replacementFile.encode())
    return result.decode()


def find_key_by_string_wrapper(dict py_dictionary, str target_string, str search_array) -> str:
    cdef OuterMap cpp_dict = to_cpp_dict(py_dictionary)
    cdef string result = find_key_by_string(cpp_dict, target_string.encode('utf-8'),
                                            search_array.encode('utf-8'))
    return result.decode('utf-8')
