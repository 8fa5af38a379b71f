"""The run's word lists, read once through the API's WordList and judged as the passes will."""

import functools
import hashlib
import importlib
import json
import pickle
import shlex
import sys
from dataclasses import dataclass
from types import ModuleType
from typing import TYPE_CHECKING

from c_quorvant.cli import STDIN
from c_quorvant.cli.errors import CliError, UsageError
from c_quorvant.errors import WordListError

if TYPE_CHECKING:
    from c_quorvant.api import Order, Rule, RuleCheck, WordList


@dataclass(frozen=True)
class LoadedLists:
    path: str  # the lists' names, as the messages show them
    words: "WordList"  # every list merged in the order given
    unicode: bool  # the mode the rules are judged in

    @functools.cached_property
    def checks(self) -> "list[RuleCheck]":
        return self.words.check(unicode=self.unicode)

    @functools.cached_property
    def key(self) -> str:
        """Tells the workers one run's rules from another's without comparing them."""
        return hashlib.sha256(pickle.dumps((self.words.rules, self.words.order))).hexdigest()

    @property
    def rules(self) -> "tuple[Rule, ...]":
        return self.words.rules

    def problems(self) -> list[str]:
        return self.words.problems(unicode=self.unicode)

    def warnings(self) -> list[str]:
        return self.words.warnings(unicode=self.unicode)


def read_word_lists(words_paths: list[str], unicode: bool = False, order: "Order" = "sorted") -> LoadedLists:
    """Every rule of the lists, merged in the order given (a later list's rule for
    the same pattern wins), in `order`, judged byte-wise or, with `unicode`,
    character-wise; CliError when a list can't be read. Each list is read once, so
    `-` (standard input) and /dev/stdin work."""
    if words_paths.count(STDIN) > 1:
        # A second read of standard input finds it empty: an empty list, silently.
        raise UsageError("standard input can be read once: give -w - only once")
    api = extension("api")
    lists = []
    for path in words_paths:
        try:
            lists.append(api.WordList.from_bytes(_read(path), f"word list {path!r}", order=order, validate=False))
        except WordListError as error:
            raise CliError(str(error)) from error
    try:
        merged = api.WordList.merged(lists, order=order, validate=False)
    except WordListError as error:
        raise CliError(str(error)) from error
    return LoadedLists(" + ".join(words_paths), merged, unicode)


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


def extension(name: str) -> ModuleType:
    """A native module of the package, or one line saying why it can't be loaded."""
    try:
        return importlib.import_module(f"c_quorvant.{name}")
    except ImportError as error:
        raise CliError(f"the extension module c_quorvant.{name} is not available: {error}") from error


def shown(text: str) -> str:
    """A pattern or replacement as it would be written in the list's JSON."""
    return json.dumps(text, ensure_ascii=False)


def require_valid_rules(
    words_paths: list[str], unicode: bool = False, strict: bool = False, order: "Order" = "sorted"
) -> LoadedLists:
    """The lists, read once and merged. Refuses a list with a bad pattern, or with a
    warning when `strict`, before any file is touched: the passes would only find a
    bad pattern at the first text, once per file."""
    loaded = read_word_lists(words_paths, unicode, order)
    problems = loaded.problems()
    if strict:
        problems += [f"{warning} (an error with --strict)" for warning in loaded.warnings()]
    if problems:
        named = " ".join(shlex.quote(path) for path in words_paths)
        options = ("--unicode " if unicode else "") + (f"--order {order} " if order != "sorted" else "")
        problems.append(f"check the list with: quorvant check {options}{named}")
        raise CliError("\n".join(problems))
    return loaded
