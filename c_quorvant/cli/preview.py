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
    caller adds the file names. It compares whole texts (a Matroska track's); a
    file's diff comes from its edits (edit_hunks)."""
    lines = difflib.unified_diff(before.splitlines(keepends=True), after.splitlines(keepends=True))
    return tuple(line if line.endswith("\n") else f"{line}\n\\ No newline at end of file\n" for line in list(lines)[2:])


def edit_hunks(text: bytes, replaced: list[tuple[int, int, bytes]], context: int = 3) -> tuple[str, ...]:
    """The hunks of a unified diff from `text` to `text` with each (begin, end,
    written) edit made, each line ended; the caller adds the file names. Only the
    lines the edits touch and their context are read, so the work follows the
    changes (and a count of line ends), not the size of the file squared."""
    regions = [region for region in _changed_lines(text, replaced) if region[2] != text[region[0] : region[1]]]
    hunks: list[str] = []
    lines = _LineCounter(text)
    shift = 0  # the copy's line numbers ahead of the file's, after the hunks so far
    first = 0
    while first < len(regions):
        last = first
        # Changes whose contexts meet share a hunk, as in diff -u.
        while last + 1 < len(regions) and text.count(b"\n", regions[last][1], regions[last + 1][0]) <= 2 * context:
            last += 1
        start = _lines_back(text, regions[first][0], context)
        body: list[str] = []
        old = new = 0
        at = start
        for line_start, line_end, written in regions[first : last + 1]:
            kept, removed, added = _split(text[at:line_start]), _split(text[line_start:line_end]), _split(written)
            body += _marked(" ", kept) + _marked("-", removed) + _marked("+", added)
            old += len(kept) + len(removed)
            new += len(kept) + len(added)
            at = line_end
        after = _split(text[at : _lines_forward(text, at, context)])
        body += _marked(" ", after)
        old, new = old + len(after), new + len(after)
        number = lines.at(start)
        hunks.append(f"@@ -{_range(number, old)} +{_range(number + shift, new)} @@\n")
        hunks += body
        shift += new - old
        first = last + 1
    return tuple(hunks)


class _LineCounter:
    """The line number of offsets asked for in increasing order, counted once."""

    def __init__(self, text: bytes) -> None:
        self._text = text
        self._offset = 0
        self._line = 0

    def at(self, offset: int) -> int:
        self._line += self._text.count(b"\n", self._offset, offset)
        self._offset = offset
        return self._line


def _changed_lines(text: bytes, replaced: list[tuple[int, int, bytes]]) -> list[tuple[int, int, bytes]]:
    """Each run of whole lines the edits (in file order) touch, (start, end, what the
    copy has there), edits on shared or neighbouring lines merged, so a hunk removes a
    block and then adds one, as diff -u shows it."""
    regions: list[tuple[int, int, bytes]] = []
    for begin, end, written in replaced:
        line_start = text.rfind(b"\n", 0, begin) + 1
        line_end = _lines_forward(text, max(begin, end - 1), 1) if begin < len(text) else len(text)
        if regions and line_start <= regions[-1][1]:
            line_start, earlier_end, earlier = regions.pop()
            # The earlier copy ends with the file's bytes up to its line end, this edit's
            # begin on that line or the next.
            head = earlier[: len(earlier) - (earlier_end - begin)] if earlier_end > begin else earlier
            copy = head + text[earlier_end:begin] + written + text[end : max(line_end, earlier_end)]
            line_end = max(line_end, earlier_end)
        else:
            copy = text[line_start:begin] + written + text[end:line_end]
        # An edit that takes a line end away joins the next line to this one.
        while not copy.endswith(b"\n") and line_end < len(text):
            joined = _lines_forward(text, line_end, 1)
            copy += text[line_end:joined]
            line_end = joined
        regions.append((line_start, line_end, copy))
    return regions


def _lines_back(text: bytes, start: int, count: int) -> int:
    for _ in range(count):
        if start == 0:
            break
        start = text.rfind(b"\n", 0, start - 1) + 1
    return start


def _lines_forward(text: bytes, end: int, count: int) -> int:
    for _ in range(count):
        if end >= len(text):
            break
        found = text.find(b"\n", end)
        end = len(text) if found < 0 else found + 1
    return end


def _split(data: bytes) -> list[bytes]:
    parts = data.split(b"\n")
    return [part + b"\n" for part in parts[:-1]] + ([parts[-1]] if parts[-1] else [])


def _marked(mark: str, lines: list[bytes]) -> list[str]:
    # Bytes that are not UTF-8 (a file matched byte-wise) show as escapes.
    shown = [mark + line.decode("utf-8", "backslashreplace") for line in lines]
    return [line if line.endswith("\n") else f"{line}\n\\ No newline at end of file\n" for line in shown]


def _range(start: int, length: int) -> str:
    """A hunk's line range as diff -u writes it: an empty one names the line before."""
    if length == 1:
        return str(start + 1)
    return f"{start if length == 0 else start + 1},{length}"


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
