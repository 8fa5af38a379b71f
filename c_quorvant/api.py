"""Rewrite subtitle texts and files with a word list, without the command line.

Nothing here prints: every failure is raised. The native calls release the
interpreter lock, so threads can rewrite several files at once."""

from __future__ import annotations

import errno
import json
import os
import pathlib
import stat
from collections.abc import Iterator, Mapping
from dataclasses import dataclass
from typing import Literal

from c_quorvant import _api
from c_quorvant.errors import SubtitleFileError, WordListError

StrPath = str | os.PathLike[str]
# What a word list's JSON may map a pattern to, besides text.
Replacement = str | int | float | bool | None
_SCALARS = (int, float, bool, type(None))
_ENDINGS = (b".ass", b".srt")


class WordList(Mapping[str, str]):
    """Pattern -> replacement rules: case-insensitive ECMAScript regexes and format
    strings ("$1", "$&"), applied one after another in the byte order of their
    patterns (the order iteration gives).

    A pattern that compiles in neither mode raises WordListError naming it. One that
    compiles only character-wise (unicode=True) is kept, and raises when applied
    byte-wise."""

    def __init__(self, rules: Mapping[str, Replacement]) -> None:
        for pattern, replacement in rules.items():
            if not isinstance(pattern, str) or not isinstance(replacement, (str, *_SCALARS)):
                raise TypeError(
                    f"a word list maps str to str, int, float, bool or None, not "
                    f"{type(pattern).__name__} to {type(replacement).__name__}"
                )
        self._rules = _as_texts(rules)
        _require_a_mode_taking_every_rule(self._rules)

    @classmethod
    def load(cls, path: StrPath) -> WordList:
        """The JSON object at `path`, read as the command line and the module read it."""
        with open(path, "rb") as file:
            document = file.read()
        try:
            return cls(_api.parse_words(document))
        except WordListError as error:
            raise WordListError(f"{os.fsdecode(path)}: {error}", pattern=error.pattern) from None

    def apply(self, text: str, *, protect_tags: Literal[False, "ass", "srt"] = False, unicode: bool = False) -> str:
        """`text` as the passes rewrite a dialogue text. With protect_tags="ass" (or
        "srt") the rules see only the runs of visible text between tags; with
        unicode=True patterns match characters instead of UTF-8 bytes."""
        if protect_tags not in (False, "ass", "srt"):
            raise ValueError(f'protect_tags is False, "ass" or "srt", not {protect_tags!r}')
        return _api.apply_rules(text, self._rules, protect_tags or "", bool(protect_tags), unicode)

    def __getitem__(self, pattern: str) -> str:
        return self._rules[pattern]

    def __iter__(self) -> Iterator[str]:
        return iter(sorted(self._rules, key=_utf8))

    def __len__(self) -> int:
        return len(self._rules)

    def __repr__(self) -> str:
        return f"WordList({dict(self.items())!r})"


@dataclass(frozen=True)
class PassResult:
    """What a call to rewrite or export wrote."""

    output: pathlib.Path
    texts: int  # the dialogue texts read
    changed: int  # how many of them the rules changed


def rewrite(
    path: StrPath, words: WordList, output: StrPath | None = None, *, protect_tags: bool = False, unicode: bool = False
) -> PassResult:
    """Writes a copy of the .ass or .srt file at `path` with its dialogue rewritten.

    `output` defaults to the file beside the input named "[Quorvanted] <name>"; an
    existing output is replaced whole. protect_tags=True leaves the format's tags
    alone. Raises SubtitleFileError, WordListError, or OSError naming the output."""
    return _run_pass(False, path, words, output, protect_tags, unicode)


def export(
    path: StrPath, words: WordList, output: StrPath | None = None, *, protect_tags: bool = False, unicode: bool = False
) -> PassResult:
    """Writes the rewritten dialogue texts of the .ass or .srt file at `path` as a
    JSON document (event position or cue number -> text), by default beside the
    input as "[Quorvanted] <name>.json". Otherwise as rewrite."""
    return _run_pass(True, path, words, output, protect_tags, unicode)


def _run_pass(
    export_texts: bool, path: StrPath, words: WordList, output: StrPath | None, protect_tags: bool, unicode: bool
) -> PassResult:
    if not isinstance(words, WordList):
        raise TypeError(f"words is a WordList, not {type(words).__name__}")
    given = os.fspath(path)
    if not os.fsencode(given).endswith(_ENDINGS):
        raise SubtitleFileError(given, _system_refusal(given) or "not an .ass or .srt file")
    target = os.fspath(output if output is not None else default_output(given, export_texts))
    _refuse_writing_over_the_input(given, target)
    try:
        texts, changed = _api.run_pass(
            export_texts, os.fsencode(given), os.fsencode(target), words._rules, protect_tags, unicode
        )
    except SubtitleFileError as error:
        # Each format's reader words an unreadable file its own way, without the system's reason.
        raise SubtitleFileError(given, _system_refusal(given) or error.reason) from None
    return PassResult(pathlib.Path(os.fsdecode(target)), texts, changed)


def _system_refusal(path: str | bytes) -> str | None:
    """Why the system won't hand `path` to a reader ("No such file or directory",
    "Permission denied", "Is a directory"), or None when it will."""
    try:
        # Non-blocking, so a named pipe is not waited on.
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    except OSError as error:
        return error.strerror
    try:
        if stat.S_ISDIR(os.fstat(descriptor).st_mode):
            return os.strerror(errno.EISDIR)
    finally:
        os.close(descriptor)
    return None


def _refuse_writing_over_the_input(source: str | bytes, target: str | bytes) -> None:
    try:
        same = os.path.samefile(source, target)
    except OSError:
        return  # a missing input is the pass's to report; a missing output is a new file
    if same:
        raise ValueError(f"{os.fsdecode(target)}: the output is the input file; refusing to write over it")


def default_output(path: StrPath, export_texts: bool) -> pathlib.Path:
    """Where rewrite (or export) writes by default: beside the input, named by the
    module's rule applied to the file's name."""
    source = os.fsencode(path)
    if not source.endswith(_ENDINGS):
        raise SubtitleFileError(os.fspath(path), "not an .ass or .srt file")
    directory, name = os.path.split(source)
    return pathlib.Path(
        os.fsdecode(os.path.join(directory, _api.output_name(name, b".json" if export_texts else source[-4:])))
    )


def _require_a_mode_taking_every_rule(rules: dict[str, str]) -> None:
    refused = _api.rule_problems(rules, False)
    if not refused:
        return
    refused_by_characters = dict(_api.rule_problems({pattern: rules[pattern] for pattern, _ in refused}, True))
    for pattern, problem in refused:
        if pattern in refused_by_characters:
            raise WordListError(f"Invalid pattern {pattern}: {problem}", pattern=pattern)


def _as_texts(rules: Mapping[str, Replacement]) -> dict[str, str]:
    return {pattern: _as_text(pattern, value) for pattern, value in rules.items()}


def _as_text(pattern: str, value: Replacement) -> str:
    """`value` as WordList.load would read it from JSON (1.5 -> "1.5", True ->
    "true", None -> ""): the same reader turns it into text."""
    if isinstance(value, str):
        return value
    try:
        document = json.dumps({"": value}, allow_nan=False).encode()
        return _api.parse_words(document)[""]
    except ValueError:
        # NaN and infinities are no JSON, integers beyond a double no number to the reader.
        raise WordListError(
            f"the replacement of pattern {pattern}, {value!r}, is a number the JSON reader can't read",
            pattern=pattern,
        ) from None


def _utf8(pattern: str) -> bytes:
    return pattern.encode("utf-8", "surrogateescape")
