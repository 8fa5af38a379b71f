"""Rewrite subtitle texts and files with a word list, without the command line.

Nothing here prints: every failure is raised. The native calls release the
interpreter lock, so threads can rewrite several files at once."""

from __future__ import annotations

import dataclasses
import difflib
import errno
import functools
import json
import os
import pathlib
import re
import stat
import unicodedata
from collections.abc import Buffer, Iterable, Iterator, Mapping
from dataclasses import dataclass, field
from typing import Literal, cast

from c_quorvant import _api
from c_quorvant.errors import SubtitleFileError, UnrepresentableTextError, WordListError
from c_quorvant.formats import (
    DEFAULT_NAME,
    IMAGE_SUBTITLE,
    LABELS,
    NOT_A_SUBTITLE,
    Format,
    Label,
    check_template,
    format_of,
    image_subtitle,
    is_matroska,
    label,
    output_name,
    text_label,
)
from c_quorvant.text_encoding import AUTO, Decoding, choose, text_codec

StrPath = str | os.PathLike[str]
# What a word list's JSON may map a pattern to, besides text.
Replacement = str | int | float | bool | None
_SCALARS = (int, float, bool, type(None))
# Whose tags protect_tags protects: True, the file's own (for a text alone, ASS's),
# or a syntax named.
TagSyntax = Label
ProtectTags = bool | TagSyntax


# How a rule's pattern meets letter case, and the order a list's rules apply in.
LetterCase = Literal["insensitive", "sensitive", "preserve"]
Order = Literal["sorted", "written"]
_ORDERS = ("sorted", "written")
_CASES = ("insensitive", "sensitive", "preserve")


@dataclass(frozen=True)
class Rule:
    """One rule of a WordList. `case` "preserve" matches as "insensitive" does and
    gives the replacement the letter case of the match (ALL CAPS, Title, lower);
    `word` matches only where no word character touches the match; `literal`
    takes every character of the pattern for itself. `source`, `line` and
    `column` say where the rule was written (None and 0 when not in a file)."""

    pattern: str
    replacement: str
    case: LetterCase = "insensitive"
    word: bool = False
    literal: bool = False
    source: str | None = None
    line: int = 0
    column: int = 0


@dataclass(frozen=True)
class RuleCheck:
    """A rule's verdict in one mode: the regex engine's message for a pattern it
    refuses (`problem`, "" when it compiles; a construct of another regex dialect
    adds what patterns are), `warnings` about mistakes (an empty match anywhere, a
    group the pattern lacks, Python's "\\1") and places that work on single bytes of
    a character (byte-wise only), and `shadowed_by`, an earlier rule
    that rewrites every place this one could match before it runs."""

    rule: Rule
    problem: str
    warnings: tuple[str, ...]
    shadowed_by: Rule | None


class WordList(Mapping[str, str]):
    """Pattern -> replacement rules: case-insensitive ECMAScript regexes and format
    strings ("$1", "$&"). With order="sorted" (the default) they apply one after
    another in the byte order of their patterns, with order="written" in the order
    given (a file's order for load); iteration gives that order.

    A value may also be a rule's options, {"replace": "...", "case": "sensitive" |
    "insensitive" | "preserve", "word": True, "literal": True, "enabled": False}
    (see Rule); a disabled rule is left out.

    A pattern that compiles in neither mode raises WordListError naming it, unless
    validate=False, which keeps it for check() to report (it raises when applied).
    One that compiles only character-wise (unicode=True) is kept, and raises when
    applied byte-wise.

    The rules are compiled natively by the first call in each mode (protect_tags
    and unicode, each on or off); a call gives its compiled rules back when done,
    and a later call in that mode, from any thread, takes them instead of
    compiling again (calls at the same moment each compile their own). A pickled
    WordList is its rules, compiled anew where it is loaded."""

    def __init__(
        self,
        rules: Mapping[str, Replacement | Mapping[str, object]] | Iterable[Rule],
        *,
        order: Order = "sorted",
        validate: bool = True,
    ) -> None:
        if order not in _ORDERS:
            raise ValueError(f'order is "sorted" or "written", not {order!r}')
        given: Iterable[Rule | None] = (
            [_rule_of(pattern, value) for pattern, value in rules.items()] if isinstance(rules, Mapping) else rules
        )
        by_pattern: dict[str, Rule] = {}
        for rule in given:
            if rule is None:
                continue  # disabled
            if not isinstance(rule, Rule):
                raise TypeError(f"a word list is a mapping or Rules, not {type(rule).__name__}")
            if rule.case not in _CASES:
                raise ValueError(f'a rule\'s case is "insensitive", "sensitive" or "preserve", not {rule.case!r}')
            # As in a JSON object, the last rule given for a pattern is the one kept, where it stands.
            by_pattern.pop(rule.pattern, None)
            by_pattern[rule.pattern] = rule
        kept = list(by_pattern.values())
        self._order: Order = order
        self._rules = tuple(kept if order == "written" else sorted(kept, key=lambda rule: _utf8(rule.pattern)))
        self._by_pattern = {rule.pattern: rule for rule in self._rules}
        self._notes: tuple[str, ...] = ()
        self._compiled = _api.CompiledWordList([_meaning(rule) for rule in self._rules])
        refused = self._compiled.refused_in_every_mode() if validate else None
        if refused is not None:
            raise WordListError(f"Invalid pattern {refused[0]}: {refused[1]}", pattern=refused[0])

    @classmethod
    def load(cls, path: StrPath, *, order: Order = "sorted", validate: bool = True) -> WordList:
        """The JSON object at `path`. Refuses, naming the file, a document that is
        not UTF-8, not one JSON object or that has text after the object."""
        with open(path, "rb") as file:
            raw = file.read()
        return cls.from_bytes(raw, os.fsdecode(path), order=order, validate=validate)

    @classmethod
    def from_bytes(cls, data: bytes, name: str, *, order: Order = "sorted", validate: bool = True) -> WordList:
        """The word list in `data`, read as load reads a file; `name` names it in
        messages and in each Rule's `source`."""
        try:
            members = _api.parse_words(data)
        except WordListError as error:
            raise WordListError(f"{name}: {error}", pattern=error.pattern) from None
        rules = [
            Rule(pattern, replacement, cast(LetterCase, case), word, literal, name, line, column)
            for pattern, replacement, case, word, literal, enabled, line, column in members
            if enabled
        ]
        words = cls(rules, order=order, validate=validate)
        words._notes = tuple(_given_twice(name, members))
        return words

    @property
    def order(self) -> Order:
        return self._order

    @property
    def rules(self) -> tuple[Rule, ...]:
        """The rules in the order they apply."""
        return self._rules

    def check(self, *, unicode: bool = False) -> list[RuleCheck]:
        """Each rule's verdict as the passes in this mode compile it, in the order
        the rules apply."""
        return [
            RuleCheck(rule, problem, tuple(warnings), None if shadow is None else self._rules[shadow])
            for rule, (problem, warnings, shadow) in zip(self._rules, self._compiled.checks(unicode), strict=True)
        ]

    def problems(self, *, unicode: bool = False) -> list[str]:
        """One sentence for each pattern the mode's engine refuses, naming the rule's list."""
        return [
            f"{_named(check.rule)}invalid pattern {_shown(check.rule.pattern)}{_position(check.rule)}: "
            f"{' '.join(check.problem.split())}"
            for check in self.check(unicode=unicode)
            if check.problem
        ]

    def warnings(self, *, unicode: bool = False) -> list[str]:
        """Sentences about rules that won't do what they seem to, each naming the
        rule and where it was written, with the fix: a pattern given twice (in a
        list, or in two lists merged), a rule that an earlier one shadows, a pattern
        that matches an empty text anywhere, a replacement that names a group the
        pattern lacks or writes one as Python does, and (byte-wise) a pattern that
        works on single bytes of a character."""
        lines = list(self._notes)
        for check in self.check(unicode=unicode):
            named = f"{_named(check.rule)}pattern {_shown(check.rule.pattern)}{_position(check.rule)}"
            if check.shadowed_by is not None:
                remedy = "write it before that rule" + (", in the order written" if self._order == "sorted" else "")
                lines.append(
                    f"{named} is shadowed by the earlier rule {_shown(check.shadowed_by.pattern)}, which rewrites "
                    f"every place this one could match before it runs; {remedy}"
                )
            lines.extend(f"{named}: {warning}" for warning in check.warnings)
        return lines

    @classmethod
    def merged(cls, lists: Iterable[WordList], *, order: Order = "sorted", validate: bool = True) -> WordList:
        """The rules of `lists` as one list, in the order given: a pattern in a
        later list replaces the same pattern of an earlier one, with a warning."""
        rules: dict[str, Rule] = {}
        notes: list[str] = []
        for words in lists:
            notes.extend(words._notes)
            for rule in words.rules:
                earlier = rules.pop(rule.pattern, None)
                if earlier is not None and earlier.source != rule.source:
                    notes.append(
                        f"{_named(rule)}pattern {_shown(rule.pattern)} is also given in {earlier.source}; "
                        f"the one in {rule.source} is used"
                    )
                rules[rule.pattern] = rule
        merged = cls(list(rules.values()), order=order, validate=validate)
        merged._notes = tuple(notes)
        return merged

    def apply(self, text: str, *, protect_tags: ProtectTags = False, unicode: bool = False) -> str:
        """`text` as the passes rewrite a dialogue text. With protect_tags="ass" (or
        "srt", "vtt") the rules see only the runs of visible text between that
        syntax's tags; True, which names no syntax for a text alone, stands for
        "ass". With unicode=True patterns match characters instead of UTF-8 bytes."""
        return _api.apply_rules([text], self._compiled, *_text_tags(protect_tags), unicode)[0]

    def apply_many(
        self, texts: Iterable[str], *, protect_tags: ProtectTags = False, unicode: bool = False
    ) -> list[str]:
        """Each of `texts` as `apply` rewrites it, in one call that lets the
        interpreter lock go while the rules run."""
        return _api.apply_rules(list(texts), self._compiled, *_text_tags(protect_tags), unicode)

    def __reduce__(self) -> tuple[object, ...]:
        return (_rebuilt, (self._rules, self._order, self._notes))

    @functools.cached_property
    def _composed(self) -> tuple[WordList, dict[str, str]]:
        """The rules with patterns and replacements composed (NFC), in the order they
        apply, and each composed pattern's own; this list itself when all are."""
        composed = [
            dataclasses.replace(
                rule,
                pattern=unicodedata.normalize("NFC", rule.pattern),
                replacement=unicodedata.normalize("NFC", rule.replacement),
            )
            for rule in self._rules
        ]
        if composed == list(self._rules):
            return self, {}
        own = {rule.pattern: given.pattern for rule, given in zip(composed, self._rules, strict=True)}
        return WordList(composed, order="written", validate=False), own

    def __getitem__(self, pattern: str) -> str:
        return self._by_pattern[pattern].replacement

    def __iter__(self) -> Iterator[str]:
        return iter(self._by_pattern)

    def __len__(self) -> int:
        return len(self._rules)

    def __eq__(self, other: object) -> bool:
        # Two lists are the same when they apply the same rules the same way.
        if isinstance(other, WordList):
            return self._order == other._order and [_meaning(rule) for rule in self._rules] == [
                _meaning(rule) for rule in other._rules
            ]
        return super().__eq__(other)

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        if self._order == "sorted" and all(_meaning(rule)[2:] == ("insensitive", False, False) for rule in self._rules):
            return f"WordList({dict(self.items())!r})"
        return f"WordList({list(self._rules)!r}, order={self._order!r})"


def _meaning(rule: Rule) -> tuple[str, str, str, bool, bool]:
    return (rule.pattern, rule.replacement, rule.case, rule.word, rule.literal)


def _rebuilt(rules: tuple[Rule, ...], order: Order, notes: tuple[str, ...]) -> WordList:
    words = WordList(rules, order=order, validate=False)
    words._notes = notes
    return words


def _rule_of(pattern: object, value: object) -> Rule | None:
    """A mapping's member as WordList.load reads the same member from JSON; None
    for a rule disabled."""
    if not isinstance(pattern, str) or not isinstance(value, (str, *_SCALARS, Mapping)):
        raise TypeError(
            f"a word list maps str to str, int, float, bool, None or a mapping of options, not "
            f"{type(pattern).__name__} to {type(value).__name__}"
        )
    if isinstance(value, str):
        return Rule(pattern, value)
    try:
        document = json.dumps(dict(value) if isinstance(value, Mapping) else value, allow_nan=False).encode()
    except (TypeError, ValueError):
        # NaN and infinities are no JSON; nor is an option value JSON can't hold.
        raise WordListError(
            f"the replacement of pattern {pattern}, {value!r}, is a value the JSON reader can't read",
            pattern=pattern,
        ) from None
    try:
        _, replacement, case, word, literal, enabled, _, _ = _api.parse_rule_value(pattern, document)
    except WordListError as error:
        raise WordListError(str(error), pattern=pattern) from None
    return Rule(pattern, replacement, cast(LetterCase, case), word, literal) if enabled else None


def _given_twice(name: str, members: list[tuple[str, str, str, bool, bool, bool, int, int]]) -> list[str]:
    places: dict[str, list[str]] = {}
    for pattern, *_, line, column in members:
        places.setdefault(pattern, []).append(f"line {line}, column {column}")
    return [
        f"{name}: pattern {_shown(pattern)} is given {len(where)} times ({'; '.join(where)}); only the last one is used"
        for pattern, where in places.items()
        if len(where) > 1
    ]


def _named(rule: Rule) -> str:
    return f"{rule.source}: " if rule.source else ""


def _position(rule: Rule) -> str:
    return f" (line {rule.line}, column {rule.column})" if rule.line else ""


def _shown(text: str) -> str:
    """A pattern as it is written in the list's JSON."""
    return json.dumps(text, ensure_ascii=False)


@dataclass(frozen=True)
class PassResult:
    """What a call to rewrite or export wrote."""

    output: pathlib.Path
    texts: int  # the dialogue texts read
    changed: int  # how many of them the rules changed
    encoding: str | None = "utf-8"  # the codec the input was read in; None: matched byte-wise
    confidence: float = 1.0  # 1.0 certain, 0.5 guessed, 0.25 in doubt, 0.0 bytes left undecoded (docs/encodings.md)
    format: str = ""  # "ass", "srt", "vtt", "sami", "ttml", "microdvd" or "mpl2": what the file showed it to be
    # pattern -> how many texts the rule changed at its turn, in the order the rules
    # apply; a rule that changed none is left out
    rules: dict[str, int] = field(default_factory=dict)
    # below 0.5: the encodings that fit nearly as well, likeliest first
    alternatives: tuple[str, ...] = ()


def rewrite(
    path: StrPath,
    words: WordList,
    output: StrPath | None = None,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
    output_encoding: str | None = None,
) -> PassResult:
    """Writes a copy of the subtitle file at `path` (formats.ENDINGS) with its dialogue
    rewritten; every byte outside a changed text is kept.

    `output` defaults to the file beside the input named "[Quorvanted] <name>"; an
    existing output is replaced whole, and no output gets a permission bit the
    input lacks. protect_tags=True (or the name of the file's tag syntax: "ass"
    for .ass and .ssa, "srt", "vtt", "sami", "ttml", "microdvd", "mpl2") leaves the format's tags
    alone. The copy is in the input's encoding (`encoding`, by default detected,
    with `fallback_encoding` in place of the detector), byte-order mark included,
    or in `output_encoding`. Raises SubtitleFileError, WordListError,
    UnrepresentableTextError, or OSError naming the output; ValueError for a name
    that is no text encoding."""
    return _run_pass(False, path, words, output, protect_tags, unicode, encoding, fallback_encoding, output_encoding)


def export(
    path: StrPath,
    words: WordList,
    output: StrPath | None = None,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
) -> PassResult:
    """Writes the rewritten dialogue texts of the subtitle file at `path` as a JSON
    document (event position or cue number -> text, a cue's lines joined by "\\n"),
    by default beside the input as "[Quorvanted] <name>.json". Otherwise as rewrite."""
    return _run_pass(True, path, words, output, protect_tags, unicode, encoding, fallback_encoding, None)


def rewrite_bytes(
    data: bytes,
    format: Format,
    words: WordList,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
    output_encoding: str | None = None,
    keep: Iterable[int] = (),
) -> bytes:
    """`data`, the bytes of a subtitle file in `format`, with its dialogue rewritten:
    every byte outside a changed text is kept, line ends, byte-order mark and all.
    The texts at the positions in `keep` (from 0, in file order, as export_texts
    lists them) stay as they are. Raises SubtitleFileError (its path None) for
    bytes the format's reader refuses."""
    _require_word_list(words)
    protect_tags = _tags_protected(protect_tags, format, "the data")
    decoding = choose(data, encoding, fallback_encoding)
    return _rewritten(data, format, words, protect_tags, unicode, decoding, output_encoding, keep=keep)[0]


def export_texts(
    data: bytes,
    format: Format,
    words: WordList,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
) -> dict[str, str]:
    """The rewritten dialogue texts of `data` under their export keys (event position
    or cue number, "N#2" for a cue number's second cue); a cue's lines are joined by "\\n"."""
    _require_word_list(words)
    protect_tags = _tags_protected(protect_tags, format, "the data")
    native, compiled, _ = _matched(choose(data, encoding, fallback_encoding).to_native(data), words, unicode)
    return _api.export_texts(native, format, compiled, protect_tags, unicode)[0]


@dataclass(frozen=True)
class Preview:
    """What a rewrite of a file would change: the texts read, and (key, before,
    after) for each text the rules change, key being the cue number or position;
    `keys` holds each change's export key ("1", and "1#2" for a repeated cue number's
    second cue), `changed_by` the patterns of the rules that changed it."""

    texts: int
    changes: list[tuple[int, str, str]]
    encoding: str | None = "utf-8"  # as PassResult's
    confidence: float = 1.0
    format: str = ""  # as PassResult's
    changed_by: list[tuple[str, ...]] = field(default_factory=list)
    rules: dict[str, int] = field(default_factory=dict)  # as PassResult's
    keys: list[str] = field(default_factory=list)
    alternatives: tuple[str, ...] = ()  # as PassResult's


def preview(
    path: StrPath,
    words: WordList,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
) -> Preview:
    """The changes a rewrite of the subtitle file at `path` would make; writes nothing."""
    return _previewed_file(path, words, protect_tags, unicode, encoding, fallback_encoding, edits=False)[0]


@dataclass(frozen=True)
class Edits:
    """What a rewrite would replace in a file: `text`, the file as the rules read it
    (UTF-8; a UTF-8 file's own bytes), and for each changed text (begin, end,
    written): the bytes text[begin:end] that the copy writes as `written`, in file
    order. A diff made from these costs what the changes cost."""

    text: bytes
    replaced: list[tuple[int, int, bytes]]


def preview_edits(
    path: StrPath,
    words: WordList,
    *,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    encoding: str = AUTO,
    fallback_encoding: str | None = None,
) -> tuple[Preview, Edits]:
    """preview() and the edits a rewrite of the file would make; refuses what
    rewrite() refuses (a SubRip text readers would take for a cue)."""
    found, edits = _previewed_file(path, words, protect_tags, unicode, encoding, fallback_encoding, edits=True)
    assert edits is not None
    return found, edits


def _previewed_file(
    path: StrPath,
    words: WordList,
    protect_tags: ProtectTags,
    unicode: bool,
    encoding: str,
    fallback_encoding: str | None,
    edits: bool,
) -> tuple[Preview, Edits | None]:
    _require_word_list(words)
    _require_text_codecs(encoding, fallback_encoding, None)
    protect_tags = _tags_protected(protect_tags, _format_of(path), os.fspath(path))
    format = _checked_before_reading(path, words, unicode)
    data = _api.read_file(os.fspath(path))
    return _previewed_with(
        data, format, words, protect_tags, unicode, encoding, fallback_encoding, os.fspath(path), edits
    )


def _previewed(
    data: Buffer,
    format: Format,
    words: WordList,
    protect_tags: bool,
    unicode: bool,
    encoding: str,
    fallback_encoding: str | None,
    path: str | bytes,
) -> Preview:
    """preview's answer for the bytes of a file; failures name `path`."""
    return _previewed_with(data, format, words, protect_tags, unicode, encoding, fallback_encoding, path, False)[0]


def _previewed_with(
    data: Buffer,
    format: Format,
    words: WordList,
    protect_tags: bool,
    unicode: bool,
    encoding: str,
    fallback_encoding: str | None,
    path: str | bytes,
    edits: bool,
) -> tuple[Preview, Edits | None]:
    decoding = choose(data, encoding, fallback_encoding)
    native, compiled, own = _matched(decoding.to_native(data), words, unicode)
    called = (native, format, compiled, protect_tags, unicode, path)
    if edits:
        texts, changes, read, changed_by, rules, keys, replaced = _api.preview_edits(*called)
    else:
        texts, changes, read, changed_by, rules, keys = _api.preview_bytes(*called)
    if own:
        rules = {own.get(pattern, pattern): count for pattern, count in rules.items()}
        changed_by = [tuple(own.get(pattern, pattern) for pattern in patterns) for patterns in changed_by]
    found = Preview(
        texts, changes, decoding.encoding, decoding.confidence, read, changed_by, rules, keys, decoding.alternatives
    )
    return found, Edits(native, replaced) if edits else None


def _tags_protected(protect_tags: ProtectTags, format: str, name: str | bytes) -> bool:
    """protect_tags as the file passes take it: a syntax name must be the file's own."""
    if isinstance(protect_tags, bool):
        return protect_tags
    if protect_tags not in LABELS:
        raise _tags_refused(protect_tags)
    if protect_tags != label(format):
        raise ValueError(
            f"protect_tags={protect_tags!r} names tags that {os.fsdecode(name)} ({format}) doesn't use: "
            "give True for the file's own"
        )
    return True


# A text alone has no format, so True stands for ASS tags. Looked up, not built, on
# every call: apply runs once per text.
_TEXT_TAGS: dict[object, tuple[str, bool]] = {False: ("", False), True: ("ass", True)} | {
    name: (name, True) for name in LABELS
}


def _text_tags(protect_tags: ProtectTags) -> tuple[str, bool]:
    try:
        return _TEXT_TAGS[protect_tags]
    except (KeyError, TypeError):  # TypeError: an unhashable value
        raise _tags_refused(protect_tags) from None


def _tags_refused(protect_tags: object) -> ValueError:
    names = ", ".join(f'"{name}"' for name in LABELS)
    return ValueError(f"protect_tags is True, False or one of {names}, not {protect_tags!r}")


def _require_word_list(words: object) -> None:
    if not isinstance(words, WordList):
        raise TypeError(f"words is a WordList, not {type(words).__name__}")


def _run_pass(
    export_texts: bool,
    path: StrPath,
    words: WordList,
    output: StrPath | None,
    protect_tags: ProtectTags,
    unicode: bool,
    encoding: str,
    fallback_encoding: str | None,
    output_encoding: str | None,
) -> PassResult:
    _require_word_list(words)
    _require_text_codecs(encoding, fallback_encoding, output_encoding)
    given = os.fspath(path)
    protect_tags = _tags_protected(protect_tags, _format_of(given), given)
    target = os.fsencode(output if output is not None else default_output(given, export_texts))
    _refuse_writing_over_the_input(given, target)
    format = _checked_before_reading(given, words, unicode)
    data = _api.read_file(given)
    # An output never gets a permission bit its input lacks: a private file gives a private copy.
    permissions = stat.S_IMODE(os.stat(given).st_mode)
    decoding = choose(data, encoding, fallback_encoding)
    canonical = unicode and _canonical(decoding.to_native(data), words) is not None
    if decoding.codec == "utf-8" and output_encoding is None and not canonical:
        # Most files are UTF-8: the pass takes the bytes as read, with no copy.
        texts, changed, read, rules = _api.pass_on(
            export_texts, data, format, given, target, permissions, words._compiled, protect_tags, unicode
        )
    elif export_texts:
        native, compiled, own = _matched(decoding.to_native(data), words, unicode)
        texts, changed, read, rules = _api.pass_on(
            True, _api.utf8_bytes(native), format, given, target, permissions, compiled, protect_tags, unicode
        )
        rules = {own.get(pattern, pattern): count for pattern, count in rules.items()}
    else:
        content, texts, changed, read, rules = _rewritten(
            bytes(data), format, words, protect_tags, unicode, decoding, output_encoding, given
        )
        _api.write_output(target, content, permissions)
    target_path = pathlib.Path(os.fsdecode(target))
    return PassResult(
        target_path, texts, changed, decoding.encoding, decoding.confidence, read, rules, decoding.alternatives
    )


def _rewritten(
    data: bytes,
    format: Format,
    words: WordList,
    protect_tags: bool,
    unicode: bool,
    decoding: Decoding,
    output_encoding: str | None,
    path: str | bytes | None = None,
    keep: Iterable[int] = (),
) -> tuple[bytes, int, int, str, dict[str, int]]:
    """The rewritten bytes in the file's encoding or `output_encoding`, the counts, the
    format read and the counts by rule; failures name `path`, the file the bytes are
    from (None: bytes alone)."""
    output_codec = None if output_encoding is None else text_codec(output_encoding)
    canonical = _canonical(decoding.to_native(data), words) if unicode else None
    if canonical is None and decoding.codec == "utf-8" and output_codec is None:
        return _api.rewrite_bytes(data, format, words._compiled, protect_tags, unicode, path, keep)
    native = decoding.to_native(data)
    if canonical is not None:
        rewritten, texts, changed, read, rules = _canonical_rewrite(*canonical, format, protect_tags, path, keep)
        if decoding.codec == "utf-8" and output_codec is None:
            return rewritten, texts, changed, read, rules
    else:
        rewritten, texts, changed, read, rules = _api.rewrite_bytes(
            native, format, words._compiled, protect_tags, unicode, path, keep
        )
    try:
        _refuse_new_controls(native, rewritten, output_codec or decoding.codec)
        if output_codec is None:
            return decoding.from_native(rewritten), texts, changed, read, rules
        return decoding.converted(rewritten, output_codec), texts, changed, read, rules
    except UnicodeEncodeError as error:
        character = error.object[error.start]
        found = _api.export_texts(native, format, words._compiled, protect_tags, unicode)[0]
        key = next((key for key, text in found.items() if character in text), None)
        raise UnrepresentableTextError(
            key, text_label(read), character, output_codec or str(decoding.encoding)
        ) from None


def _matched(native: bytes, words: WordList, unicode: bool) -> tuple[bytes, _api.CompiledWordList, dict[str, str]]:
    """The text and rules that export and preview run: in character mode, both
    composed where either is not (see _canonical); and each composed pattern's own."""
    canonical = _canonical(native, words) if unicode else None
    if canonical is None:
        return native, words._compiled, {}
    text, composed, own = canonical
    return unicodedata.normalize("NFC", text).encode("utf-8", "surrogateescape"), composed._compiled, own


def _canonical(native: bytes, words: WordList) -> tuple[str, WordList, dict[str, str]] | None:
    """For character mode, where the text or the rules hold characters that are not
    composed (cp1258 and macOS write them decomposed): the text, and the rules
    composed, which match the text composed whatever form each was written in. None
    where both are composed already."""
    composed, own = words._composed
    text = native.decode("utf-8", "surrogateescape")
    if not own and unicodedata.is_normalized("NFC", text.encode("utf-8", "replace").decode("utf-8")):
        return None
    return text, composed, own


def _canonical_rewrite(
    text: str,
    words: WordList,
    own: dict[str, str],
    format: Format,
    protect_tags: bool,
    path: str | bytes | None,
    keep: Iterable[int] = (),
) -> tuple[bytes, int, int, str, dict[str, int]]:
    """The rewrite of the text composed. A line the rules left alone keeps its own
    characters, and so its bytes; a line they changed is written decomposed where the
    text was (the page's codec composes what it must, see text_encoding.in_page)."""
    composed = unicodedata.normalize("NFC", text)
    rewritten, texts, changed, read, rules = _api.rewrite_bytes(
        composed.encode("utf-8", "surrogateescape"), format, words._compiled, protect_tags, True, path, keep
    )
    before = text.splitlines(keepends=True)
    after = rewritten.decode("utf-8", "surrogateescape").splitlines(keepends=True)
    decomposed = text != composed and unicodedata.is_normalized("NFD", text.encode("utf-8", "replace").decode("utf-8"))
    lines = []
    matcher = difflib.SequenceMatcher(None, composed.splitlines(keepends=True), after, autojunk=False)
    for tag, start, end, new_start, new_end in matcher.get_opcodes():
        if tag == "equal":
            lines += before[start:end]
        else:
            lines += [unicodedata.normalize("NFD", line) if decomposed else line for line in after[new_start:new_end]]
    counts = {own.get(pattern, pattern): count for pattern, count in rules.items()}
    return "".join(lines).encode("utf-8", "surrogateescape"), texts, changed, read, counts


def _refuse_new_controls(native: bytes, rewritten: bytes, codec: str) -> None:
    """A legacy page writes C1 controls (U+0080-U+009F) as bytes that read as text in
    its sister pages: one that a rule put there is refused as a character it can't write."""
    if codec.startswith("utf") or not _C1_CONTROL.search(rewritten) or native == rewritten:
        return
    text = rewritten.decode("utf-8", "surrogateescape")
    had = set(native.decode("utf-8", "surrogateescape"))
    for index, character in enumerate(text):
        if "\x80" <= character <= "\x9f" and character not in had:
            raise UnicodeEncodeError(codec, text, index, index + 1, "a C1 control")


_C1_CONTROL = re.compile(rb"\xc2[\x80-\x9f]")


def _require_text_codecs(encoding: str, fallback_encoding: str | None, output_encoding: str | None) -> None:
    """ValueError for a name that is no text codec, before any file is read."""
    for name in (encoding, fallback_encoding, output_encoding):
        if name not in (None, AUTO):
            text_codec(name)


def _format_of(path: StrPath) -> Format:
    format = format_of(os.fspath(path))
    if format is None:
        given = os.fspath(path)
        raise SubtitleFileError(given, _system_refusal(given) or NOT_A_SUBTITLE)
    if image_subtitle(os.fspath(path)):
        raise SubtitleFileError(os.fspath(path), IMAGE_SUBTITLE)
    return format


def _checked_before_reading(path: StrPath, words: WordList, unicode: bool) -> Format:
    """The file's format, once its ending and the rules in this mode are known to be good."""
    format = _format_of(path)
    for pattern, problem in words._compiled.problems(unicode):
        raise WordListError(f"Invalid pattern {pattern}: {problem}", pattern=pattern)
    return format


def _system_refusal(path: str | bytes) -> str | None:
    """Why the system won't hand `path` to a reader ("No such file or directory",
    "Permission denied", "Is a directory"), or None when it will: for a path whose
    ending names no format, which no pass reads."""
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


def default_output(path: StrPath, export_texts: bool, name: str = DEFAULT_NAME) -> pathlib.Path:
    """Where rewrite (or export) writes by default: beside the input, named by the
    template `name` from the file's name. {stem} is the name without its ending,
    {ext} the output's ending (the input's own, in its letter case, or .json for an
    export), {name} both; the default gives the module's "[Quorvanted] <name>".
    ValueError for a template holding anything else, or a '/'."""
    check_template(name)
    source = os.fsdecode(path)
    if format_of(source) is None and not is_matroska(source):
        raise SubtitleFileError(os.fspath(path), NOT_A_SUBTITLE)
    directory, file_name = os.path.split(source)
    return pathlib.Path(directory, output_name(file_name, name, export_texts))


def _utf8(pattern: str) -> bytes:
    return pattern.encode("utf-8", "surrogateescape")
