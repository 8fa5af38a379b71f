"""preview: what the rules would change in one file, written nowhere."""

import difflib
import os

from c_quorvant.cli.batch import SUPPORTED_ENDINGS
from c_quorvant.cli.errors import CliError, one_line
from c_quorvant.cli.words import extension, require_valid_rules

_RED = "\x1b[1;31m"
_GREEN = "\x1b[1;32m"
_RESET = "\x1b[0m"


def run_preview(path: str, words_path: str, colour: bool) -> int:
    if not path.endswith(SUPPORTED_ENDINGS):
        raise CliError(f"{path}: not an .ass or .srt file")
    if not os.path.isfile(path):
        raise CliError(f"{path}: no such file")
    require_valid_rules(words_path)
    _rules = extension("_rules")
    try:
        total, changes = _rules.preview_changes(os.fsencode(path), os.fsencode(words_path))
    except (RuntimeError, ValueError) as error:
        raise CliError(f"{path}: {one_line(str(error))}") from error

    label = "event" if path.endswith(".ass") else "cue"
    for key, before, after in changes:
        old, new = _highlighted(before, after) if colour else (before, after)
        print(f"{label} {key}")
        print(f"  - {old}")
        print(f"  + {new}")
    print(f"{path}: {len(changes)} of {total} texts would change; nothing was written")
    return 0


def _highlighted(before: str, after: str) -> tuple[str, str]:
    """Marks what left `before` in red and what entered `after` in green."""
    old: list[str] = []
    new: list[str] = []
    matcher = difflib.SequenceMatcher(None, before, after, autojunk=False)
    for tag, old_start, old_end, new_start, new_end in matcher.get_opcodes():
        old_part, new_part = before[old_start:old_end], after[new_start:new_end]
        if tag == "equal":
            old.append(old_part)
            new.append(new_part)
            continue
        if old_part:
            old.append(f"{_RED}{old_part}{_RESET}")
        if new_part:
            new.append(f"{_GREEN}{new_part}{_RESET}")
    return "".join(old), "".join(new)
