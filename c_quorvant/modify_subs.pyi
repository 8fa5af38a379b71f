from collections.abc import Iterable, Mapping

def modify_subs_py(subfile: str, replacementFile: str) -> str: ...
def overwrite_subs(subfile: str, replacementFile: str) -> str: ...

# The outer mapping must be exactly a dict; the inner levels only need items().
# Generic over the values because dict is invariant in them: a caller's
# dict[str, dict[str, dict[str, list[str]]]] is then accepted as it is.
def find_key_by_string_wrapper[Groups: Mapping[str, Mapping[str, Iterable[str]]]](
    py_dictionary: dict[str, Groups],
    target_string: str,
    search_array: str,
) -> str: ...
