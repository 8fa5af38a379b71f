"""The word list's members as written in the file, for what the loaded list no longer
shows: a pattern given twice, and where a value that can't be text stands."""

import json
import re
from dataclasses import dataclass

_BLANKS = re.compile(r"[ \t\n\r]*")


@dataclass(frozen=True)
class Member:
    pattern: str
    line: int
    column: int
    value_kind: str  # "string", "number", "array", ...

    @property
    def position(self) -> str:
        return f"line {self.line}, column {self.column}"


def scan_members(document: bytes) -> list[Member] | None:
    """The top-level members in file order; None for a document that is not a plain
    JSON object (the loader also takes comments, and has the last word anyway)."""
    text = document.decode("utf-8", "surrogateescape").removeprefix("\ufeff")
    decoder = json.JSONDecoder()
    members: list[Member] = []
    try:
        at = _after_blanks(text, 0)
        if not text.startswith("{", at):
            return None
        at = _after_blanks(text, at + 1)
        if text.startswith("}", at):
            return members
        while text.startswith('"', at):
            pattern, end = decoder.raw_decode(text, at)
            colon = _after_blanks(text, end)
            if not text.startswith(":", colon):
                return None
            value, end = decoder.raw_decode(text, _after_blanks(text, colon + 1))
            members.append(Member(pattern, *_line_and_column(text, at), _kind(value)))
            at = _after_blanks(text, end)
            if text.startswith("}", at):
                return members
            if not text.startswith(",", at):
                return None
            at = _after_blanks(text, at + 1)
    except ValueError:
        return None
    return None


def _after_blanks(text: str, at: int) -> int:
    blanks = _BLANKS.match(text, at)
    return blanks.end() if blanks else at


def _line_and_column(text: str, at: int) -> tuple[int, int]:
    line_start = text.rfind("\n", 0, at) + 1
    return text.count("\n", 0, at) + 1, at - line_start + 1


def _kind(value: object) -> str:
    if isinstance(value, bool):
        return "boolean"
    return {str: "string", dict: "object", list: "array", type(None): "null"}.get(type(value), "number")
