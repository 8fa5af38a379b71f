"""Loading a word list the way the passes do, with the regex engine's verdict."""

import functools
import hashlib
import importlib
import json
import shlex
import sys
from collections import defaultdict
from dataclasses import dataclass
from types import ModuleType

from c_quorvant.cli import STDIN
from c_quorvant.cli.errors import CliError, one_line
from c_quorvant.cli.members import Member, scan_members
from c_quorvant.errors import WordListError

# What the loader turns into replacement text; arrays and objects it refuses.
_TEXT_KINDS = ("string", "number", "boolean", "null")


@dataclass(frozen=True)
class Rule:
    pattern: str
    replacement: str
    problem: str  # the regex engine's message; "" when the pattern compiles
    warnings: tuple[str, ...] = ()  # places that work on single bytes of a character


@dataclass(frozen=True)
class WordList:
    path: str  # the lists' names, as the messages show them
    rules: list[Rule]
    texts: dict[str, str]  # pattern -> replacement, every list merged in the order given
    notes: list[str]  # patterns given twice, within a list or across lists
    origin: dict[str, str]  # pattern -> the list its rule comes from

    @functools.cached_property
    def key(self) -> str:
        """Tells the workers one run's rules from another's without comparing them."""
        document = json.dumps(self.texts, sort_keys=True, ensure_ascii=True)
        return hashlib.sha256(document.encode()).hexdigest()

    def problems(self) -> list[str]:
        return [
            f"word list {self.origin[rule.pattern]!r}: invalid pattern {shown(rule.pattern)}: {one_line(rule.problem)}"
            for rule in self.rules
            if rule.problem
        ]

    def warnings(self) -> list[str]:
        lines = list(self.notes)
        for rule in self.rules:
            lines.extend(
                f"word list {self.origin[rule.pattern]!r}: pattern {shown(rule.pattern)}: {warning}"
                for warning in rule.warnings
            )
        return lines


def read_word_list(words_paths: list[str], unicode: bool = False) -> WordList:
    """Every rule of the lists, merged in the order given (a later list's rule for
    the same pattern wins), in the order the passes apply them, judged byte-wise or,
    with `unicode`, character-wise; CliError when a list can't be read. Each list is
    read once, so `-` (standard input) and /dev/stdin work."""
    texts: dict[str, str] = {}
    origin: dict[str, str] = {}
    notes: list[str] = []
    for path in words_paths:
        raw = _read(path)
        members = scan_members(raw) or []
        try:
            rules = extension("api").parse_word_list(raw, f"cannot read word list {path!r}")
        except WordListError as error:
            raise CliError(_unreadable(path, members, one_line(str(error)))) from error
        notes.extend(_given_twice(path, members))
        for pattern, replacement in rules.items():
            if pattern in origin and origin[pattern] != path:
                notes.append(
                    f"word list {path!r}: pattern {shown(pattern)} is also given in {origin[pattern]!r}; "
                    f"the one in {path!r} is used"
                )
            texts[pattern] = replacement
            origin[pattern] = path
    checks = extension("_rules").check_rules(texts, unicode)
    return WordList(
        " + ".join(words_paths),
        [Rule(pattern, replacement, problem, tuple(warnings)) for pattern, replacement, problem, warnings in checks],
        texts,
        notes,
        origin,
    )


def _read(path: str) -> bytes:
    if path == STDIN:
        return sys.stdin.buffer.read()
    try:
        with open(path, "rb") as file:
            return file.read()
    except FileNotFoundError:
        raise CliError(f"word list {path!r}: no such file") from None
    except IsADirectoryError:
        raise CliError(f"word list {path!r}: is a directory") from None
    except OSError as error:
        raise CliError(f"cannot read word list {path!r}: {error.strerror or error}") from None


def _given_twice(path: str, members: list[Member]) -> list[str]:
    by_pattern: dict[str, list[Member]] = defaultdict(list)
    for member in members:
        by_pattern[member.pattern].append(member)
    return [
        f"word list {path!r}: pattern {shown(same[0].pattern)} is given {len(same)} times "
        f"({'; '.join(member.position for member in same)}); only the last one is used"
        for same in by_pattern.values()
        if len(same) > 1
    ]


def _unreadable(words_path: str, members: list[Member], reason: str) -> str:
    # The loader's message for a value it can't turn into text names no pattern.
    wrong = [member for member in members if member.value_kind not in _TEXT_KINDS]
    if not wrong:
        return reason
    return "\n".join(
        f"word list {words_path!r}: the value of pattern {shown(member.pattern)} ({member.position}) is "
        f"an {member.value_kind}; a replacement must be a string, a number, true, false or null"
        for member in wrong
    )


def extension(name: str) -> ModuleType:
    """A native module of the package, or one line saying why it can't be loaded."""
    try:
        return importlib.import_module(f"c_quorvant.{name}")
    except ImportError as error:
        raise CliError(f"the extension module c_quorvant.{name} is not available: {error}") from error


def shown(text: str) -> str:
    """A pattern or replacement as it would be written in the list's JSON."""
    return json.dumps(text, ensure_ascii=False)


def require_valid_rules(words_paths: list[str], unicode: bool = False, strict: bool = False) -> WordList:
    """The lists, read once and merged. Refuses a list with a bad pattern, or with a
    warning when `strict`, before any file is touched: the passes would only find a
    bad pattern at the first text, once per file."""
    word_list = read_word_list(words_paths, unicode)
    problems = word_list.problems()
    if strict:
        problems += [f"{warning} (an error with --strict)" for warning in word_list.warnings()]
    if problems:
        named = " ".join(shlex.quote(path) for path in words_paths)
        problems.append(f"check the list with: quorvant check {'--unicode ' if unicode else ''}{named}")
        raise CliError("\n".join(problems))
    return word_list
