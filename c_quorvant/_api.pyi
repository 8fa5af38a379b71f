# The public API's native side (c_quorvant.api wraps it). Texts and rules are str
# with surrogate escapes for bytes that are not UTF-8; outputs are file-system
# bytes, inputs the path as the caller gave it (a SubtitleFileError names it so).
# A rule crosses as (pattern, replacement, case, word, literal); a list's member as
# (pattern, replacement, case, word, literal, enabled, line, column).

from collections.abc import Buffer, Iterable

from typing_extensions import disjoint_base

@disjoint_base
class CompiledWordList:
    def __new__(cls, rules: list[tuple[str, str, str, bool, bool]]) -> CompiledWordList: ...
    def problems(self, unicode: bool) -> list[tuple[str, str]]: ...
    def refused_in_every_mode(self) -> tuple[str, str] | None: ...
    def checks(self, unicode: bool) -> list[tuple[str, list[str], int | None]]:
        """(problem, warnings, the index of the rule that shadows it) for each rule."""

def parse_words(document: bytes) -> list[tuple[str, str, str, bool, bool, bool, int, int]]: ...
def parse_rule_value(pattern: str, value: bytes) -> tuple[str, str, str, bool, bool, bool, int, int]: ...
def apply_rules(
    texts: list[str], words: CompiledWordList, tags: str, protect_tags: bool, unicode: bool
) -> list[str]: ...

@disjoint_base
class FileBytes:
    def __buffer__(self, flags: int, /) -> memoryview: ...
    def __release_buffer__(self, buffer: memoryview, /) -> None: ...
    def __len__(self) -> int: ...

def read_file(path: str | bytes) -> FileBytes: ...
def utf8_bytes(data: bytes) -> FileBytes: ...
def pass_on(
    export: bool,
    data: FileBytes,
    format: str,
    path: str | bytes,
    output: bytes,
    permissions: int,
    words: CompiledWordList,
    protect_tags: bool,
    unicode: bool,
) -> tuple[int, int, str, dict[str, int]]:
    """(texts read, texts changed, format read, texts changed by each rule's pattern); takes the bytes over."""

def rewrite_bytes(
    data: bytes,
    format: str,
    words: CompiledWordList,
    protect_tags: bool,
    unicode: bool,
    path: str | bytes | None = None,
    kept: Iterable[int] = (),
) -> tuple[bytes, int, int, str, dict[str, int]]:
    """The rewritten bytes (the texts at the positions `kept` left as they are), the
    texts read, the texts changed, the format read and the texts changed by each
    rule's pattern."""

def export_texts(
    data: bytes,
    format: str,
    words: CompiledWordList,
    protect_tags: bool,
    unicode: bool,
    path: str | bytes | None = None,
) -> tuple[dict[str, str], int, int, str, dict[str, int]]:
    """The rewritten texts by key, the texts read, the texts changed, the format read
    and the texts changed by each rule's pattern."""

def preview_bytes(
    data: bytes,
    format: str,
    words: CompiledWordList,
    protect_tags: bool,
    unicode: bool,
    path: str | bytes | None = None,
) -> tuple[int, list[tuple[int, str, str]], str, list[tuple[str, ...]], dict[str, int], list[str]]:
    """Texts read, (key, before, after) of each change, the format read, the patterns
    that changed each, the texts changed by each rule's pattern and each change's
    export key."""

def preview_edits(
    data: bytes,
    format: str,
    words: CompiledWordList,
    protect_tags: bool,
    unicode: bool,
    path: str | bytes | None = None,
) -> tuple[
    int,
    list[tuple[int, str, str]],
    str,
    list[tuple[str, ...]],
    dict[str, int],
    list[str],
    list[tuple[int, int, bytes]],
]:
    """preview_bytes's, and the (begin, end, written) bytes each change replaces in
    `data`; refuses what the rewrite refuses."""

def document_texts(data: bytes, format: str, path: str | bytes | None = None) -> list[tuple[str, str, str]]:
    """(export key, text, the bytes that time it) of each text, in file order."""

def byte_census(data: Buffer) -> tuple[int, int, int, int, int, int, list[int]]:
    """(multibyte, stray, escapes, hz_shifts, even_zeros, odd_zeros, high)."""

def detect_charset(data: Buffer) -> str | None: ...
def write_output(output: bytes, content: bytes, permissions: int) -> None: ...
