# The public API's native side (c_quorvant.api wraps it). Texts and rules are str
# with surrogate escapes for bytes that are not UTF-8; paths are file-system bytes.

from typing_extensions import disjoint_base

@disjoint_base
class CompiledWordList:
    def __new__(cls, words: dict[str, str]) -> CompiledWordList: ...
    def problems(self, unicode: bool) -> list[tuple[str, str]]: ...

def output_name(name: bytes, ending: bytes) -> bytes: ...
def parse_words(document: bytes) -> dict[str, str]: ...
def apply_rules(
    texts: list[str], words: CompiledWordList, tags: str, protect_tags: bool, unicode: bool
) -> list[str]: ...
def run_utf8_pass(
    export: bool, subfile: bytes, output: bytes, words: CompiledWordList, protect_tags: bool, unicode: bool
) -> tuple[int, int, str] | bytes:
    """(texts read, texts changed, format read) for a UTF-8 file; its bytes, nothing written, otherwise."""

def rewrite_bytes(
    data: bytes, format: str, words: CompiledWordList, protect_tags: bool, unicode: bool
) -> tuple[bytes, int, int, str]:
    """The rewritten bytes, the texts read, the texts changed and the format read."""

def export_texts(
    data: bytes, format: str, words: CompiledWordList, protect_tags: bool, unicode: bool
) -> tuple[dict[str, str], int, int, str]:
    """The rewritten texts by key, the texts read, the texts changed and the format read."""

def preview_bytes(
    data: bytes, format: str, words: CompiledWordList, protect_tags: bool, unicode: bool
) -> tuple[int, list[tuple[int, str, str]], str]: ...
def choose_encoding(data: bytes) -> tuple[str, int, str]:
    """(Python codec name or "", byte-order mark length, what decided: "mark",
    "utf-8", "utf-16 zeros", "detector" or "none")."""

def write_output(output: bytes, content: bytes) -> None: ...
def export_to(
    output: bytes, data: bytes, format: str, words: CompiledWordList, protect_tags: bool, unicode: bool
) -> tuple[int, int, str]: ...
