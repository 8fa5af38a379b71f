"""Loading a word list the way the passes do, with the regex engine's verdict."""

import importlib
import json
import os
from collections import defaultdict
from dataclasses import dataclass
from types import ModuleType

from c_quorvant.cli.errors import CliError, one_line
from c_quorvant.cli.members import Member, scan_members

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
    path: str
    rules: list[Rule]
    duplicates: list[list[Member]]  # members that name the same pattern, in file order

    def problems(self) -> list[str]:
        return [
            f"word list {self.path!r}: invalid pattern {shown(rule.pattern)}: {one_line(rule.problem)}"
            for rule in self.rules
            if rule.problem
        ]

    def warnings(self) -> list[str]:
        lines = []
        for members in self.duplicates:
            places = "; ".join(member.position for member in members)
            lines.append(
                f"word list {self.path!r}: pattern {shown(members[0].pattern)} is given {len(members)} "
                f"times ({places}); only the last one is used"
            )
        for rule in self.rules:
            lines.extend(
                f"word list {self.path!r}: pattern {shown(rule.pattern)}: {warning}" for warning in rule.warnings
            )
        return lines


def read_word_list(words_path: str, unicode: bool = False) -> WordList:
    """Every rule in the order the passes apply them, judged byte-wise or, with
    `unicode`, character-wise; CliError when the list can't be read."""
    if not os.path.exists(words_path):
        raise CliError(f"word list {words_path!r}: no such file")
    if os.path.isdir(words_path):
        raise CliError(f"word list {words_path!r}: is a directory")
    _require_utf8(words_path)
    members = _members(words_path)
    _rules = extension("_rules")
    try:
        checks = _rules.check_rules(os.fsencode(words_path), unicode)
    except RuntimeError as error:
        raise CliError(_unreadable(words_path, members, one_line(str(error)))) from error
    by_pattern: dict[str, list[Member]] = defaultdict(list)
    for member in members:
        by_pattern[member.pattern].append(member)
    return WordList(
        words_path,
        [Rule(pattern, replacement, problem, tuple(warnings)) for pattern, replacement, problem, warnings in checks],
        [same for same in by_pattern.values() if len(same) > 1],
    )


def _require_utf8(words_path: str) -> None:
    try:
        with open(words_path, "rb") as file:
            document = file.read()
    except OSError:
        return  # the loader says why
    try:
        document.removeprefix(b"\xef\xbb\xbf").decode("utf-8")
    except UnicodeDecodeError as error:
        offset = error.start + (3 if document.startswith(b"\xef\xbb\xbf") else 0)
        raise CliError(
            f"word list {words_path!r}: not UTF-8: byte 0x{document[offset]:02X} at byte offset {offset}"
        ) from None


def _members(words_path: str) -> list[Member]:
    try:
        with open(words_path, "rb") as file:
            return scan_members(file.read()) or []
    except OSError:
        return []


def _unreadable(words_path: str, members: list[Member], reason: str) -> str:
    # The loader's message for a value it can't turn into text names no pattern.
    wrong = [member for member in members if member.value_kind not in _TEXT_KINDS]
    if not wrong:
        return f"cannot read word list {words_path!r}: {reason}"
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


def require_valid_rules(words_path: str, unicode: bool = False, strict: bool = False) -> list[str]:
    """The list's warnings, as check words them. Refuses a list with a bad pattern,
    or with a warning when `strict`, before any file is touched: the passes would
    only find a bad pattern at the first text, once per file."""
    word_list = read_word_list(words_path, unicode)
    problems = word_list.problems()
    warnings = word_list.warnings()
    if strict:
        problems += [f"{warning} (an error with --strict)" for warning in warnings]
    if problems:
        problems.append(f"check the list with: quorvant check {'--unicode ' if unicode else ''}{words_path}")
        raise CliError("\n".join(problems))
    return warnings
