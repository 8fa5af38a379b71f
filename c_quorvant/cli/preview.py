"""How preview shows one changed text: before and after, changed spans highlighted."""

import difflib
import json
import re
import sys

_RED = "\x1b[1;31m"
_GREEN = "\x1b[1;32m"
_RESET = "\x1b[0m"
# C0 and C1 controls but tab and line ends: a subtitle's escape sequences would
# retitle, clear or reshift the terminal.
_CONTROLS = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\x7f-\x9f]")


def change_lines(heading: str, before: str, after: str, colour: bool) -> list[str]:
    if sys.stdout.isatty():
        heading, before, after = (visible_controls(text) for text in (heading, before, after))
    old, new = _highlighted(before, after) if colour else (before, after)
    # A cue's later lines line up under its first, so a dialogue dash ("- Senpai…")
    # at a line's start can't pass for a diff's mark.
    return [heading, f"  - {_indented(old)}", f"  + {_indented(new)}"]


def rules_line(patterns: tuple[str, ...]) -> str:
    """-v's line under a change: the rules that made it, as the list's JSON writes them."""
    return "    by " + ", ".join(json.dumps(pattern, ensure_ascii=False) for pattern in patterns)


def _indented(text: str) -> str:
    return text.replace("\n", "\n    ")


def diff_hunks(before: str, after: str) -> tuple[str, ...]:
    """The hunks of a unified diff from `before` to `after`, each line ended; the
    caller adds the file names."""
    lines = difflib.unified_diff(before.splitlines(keepends=True), after.splitlines(keepends=True))
    return tuple(line if line.endswith("\n") else f"{line}\n\\ No newline at end of file\n" for line in list(lines)[2:])


def visible_controls(text: str) -> str:
    """`text` with each control character written as an escape ("\\x1b")."""
    return _CONTROLS.sub(lambda control: f"\\x{ord(control[0]):02x}", text)


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
