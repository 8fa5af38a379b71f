"""Type-checked by `make lint`, never run: how typed callers use the lookup."""

from collections.abc import Mapping

from c_quorvant.modify_subs import find_key_by_string_wrapper


def from_nested_dicts(rules: dict[str, dict[str, dict[str, list[str]]]], text: str) -> str:
    return find_key_by_string_wrapper(rules, text, "")


def from_inner_mappings(rules: dict[str, Mapping[str, Mapping[str, tuple[str, ...]]]], text: str) -> str:
    return find_key_by_string_wrapper(rules, text, "")


# The extension checks that the outer level is exactly a dict.
def from_outer_mapping(rules: Mapping[str, dict[str, dict[str, list[str]]]], text: str) -> str:
    return find_key_by_string_wrapper(rules, text, "")  # type: ignore[arg-type]


# Every entry is encoded as text.
def from_numbers(rules: dict[str, dict[str, dict[str, list[int]]]], text: str) -> str:
    return find_key_by_string_wrapper(rules, text, "")  # type: ignore[type-var]
