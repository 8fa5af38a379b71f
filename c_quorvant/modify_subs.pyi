from collections.abc import Iterable, Mapping

def modify_subs_py(subfile: str, replacementFile: str) -> str: ...
def overwrite_subs(subfile: str, replacementFile: str) -> str: ...

# The outer mapping must be exactly a dict; the inner levels only need items().
def find_key_by_string_wrapper(
    py_dictionary: dict[str, Mapping[str, Mapping[str, Iterable[str]]]],
    target_string: str,
    search_array: str,
) -> str: ...
