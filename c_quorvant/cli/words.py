"""Loading a word list the way the passes do, with the regex engine's verdict."""

import importlib
import json
import os
from dataclasses import dataclass

from c_quorvant.cli.errors import CliError, one_line


@dataclass(frozen=True)
class Rule:
    pattern: str
    replacement: str
    problem: str  # the regex engine's message; "" when the pattern compiles


def load_rules(words_path: str) -> list[Rule]:
    """Every rule in the order the passes apply them; CliError when the list can't be read."""
    if not os.path.exists(words_path):
        raise CliError(f"word list {words_path!r}: no such file")
    if os.path.isdir(words_path):
        raise CliError(f"word list {words_path!r}: is a directory")
    _rules = extension("_rules")
    try:
        checks = _rules.check_rules(os.fsencode(words_path))
    except RuntimeError as error:
        raise CliError(f"cannot read word list {words_path!r}: {one_line(str(error))}") from error
    return [Rule(*check) for check in checks]


def extension(name: str):
    """A native module of the package, or one line saying why it can't be loaded."""
    try:
        return importlib.import_module(f"c_quorvant.{name}")
    except ImportError as error:
        raise CliError(f"the extension module c_quorvant.{name} is not available: {error}") from error


def shown(text: str) -> str:
    """A pattern or replacement as it would be written in the list's JSON."""
    return json.dumps(text, ensure_ascii=False)


def invalid_rule_lines(words_path: str, rules: list[Rule]) -> list[str]:
    return [
        f"word list {words_path!r}: invalid pattern {shown(rule.pattern)}: {one_line(rule.problem)}"
        for rule in rules
        if rule.problem
    ]


def require_valid_rules(words_path: str) -> None:
    """Refuses a list with a bad pattern before any file is touched: the passes
    would only find it at the first text, once per file."""
    problems = invalid_rule_lines(words_path, load_rules(words_path))
    if problems:
        problems.append(f"check the list with: quorvant check {words_path}")
        raise CliError("\n".join(problems))
