"""Rewrite the dialogue of subtitle files with a replacement word list.

    from c_quorvant import WordList, rewrite, export
    words = WordList.load("words.json")
    words.apply("Tanaka-san!")
    rewrite("ep1.ass", words, protect_tags=True)
"""

from c_quorvant.api import PassResult, WordList, export, rewrite
from c_quorvant.errors import SubtitleFileError, WordListError

__version__ = "0.1.0"
__all__ = ["PassResult", "SubtitleFileError", "WordList", "WordListError", "export", "rewrite"]
