"""Rewrite the dialogue of subtitle files with a replacement word list.

    from c_quorvant import WordList, rewrite
    words = WordList.load("words.json")
    words.apply("Tanaka-san!")
    rewrite("ep1.ass", words, protect_tags=True)

The module c_quorvant.modify_subs keeps the older calls; c_quorvant.matroska
rewrites the text tracks inside Matroska files; the `quorvant` command runs the
passes over whole folders.
"""

# Not typing's: importing typing takes longer than the rest of the start, and the
# `quorvant` program handles Ctrl-C only once this package is imported.
TYPE_CHECKING = False

__version__ = "0.1.0"
__all__ = [
    "PassResult",
    "Preview",
    "Rule",
    "RuleCheck",
    "SubtitleFileError",
    "UnrepresentableTextError",
    "UnwritableTextError",
    "WordList",
    "WordListError",
    "default_output",
    "export",
    "export_texts",
    "preview",
    "rewrite",
    "rewrite_bytes",
]

if TYPE_CHECKING:
    from c_quorvant.api import (
        PassResult,
        Preview,
        Rule,
        RuleCheck,
        WordList,
        default_output,
        export,
        export_texts,
        preview,
        rewrite,
        rewrite_bytes,
    )
    from c_quorvant.errors import SubtitleFileError, UnrepresentableTextError, UnwritableTextError, WordListError


def __getattr__(name: str) -> object:
    # Loaded on first use, so the command line's --help needs no native module.
    if name in __all__:
        from c_quorvant import api, errors

        return getattr(api, name, None) or getattr(errors, name)
    raise AttributeError(f"module 'c_quorvant' has no attribute {name!r}")


def __dir__() -> list[str]:
    # The lazy names are not in globals() until used: dir() and help() would miss them.
    return sorted({*globals(), *__all__})
