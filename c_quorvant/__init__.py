"""Rewrite the dialogue of subtitle files with a replacement word list.

from c_quorvant import WordList, rewrite, export
words = WordList.load("words.json")
words.apply("Tanaka-san!")
rewrite("ep1.ass", words, protect_tags=True)
"""

from typing import TYPE_CHECKING

__version__ = "0.1.0"
__all__ = [
    "PassResult",
    "Preview",
    "SubtitleFileError",
    "WordList",
    "WordListError",
    "export",
    "export_texts",
    "preview",
    "rewrite",
    "rewrite_bytes",
]

if TYPE_CHECKING:
    from c_quorvant.api import PassResult, Preview, WordList, export, export_texts, preview, rewrite, rewrite_bytes
    from c_quorvant.errors import SubtitleFileError, WordListError


def __getattr__(name: str) -> object:
    # Loaded on first use, so the command line's --help needs no native module.
    if name in __all__:
        from c_quorvant import api, errors

        return getattr(api, name, None) or getattr(errors, name)
    raise AttributeError(f"module 'c_quorvant' has no attribute {name!r}")
