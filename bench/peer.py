"""The same jobs as the module's passes, as a Python user would write them: pysubs2 + re."""

from __future__ import annotations

import json
import re
from pathlib import Path

import pysubs2

_GROUP = re.compile(r"\$(\d{1,2}|&)")


def _python_template(replacement: str) -> str:
    """ECMAScript "$n" / "$&" as re's "\\g<n>"; the lists use no other '$' forms."""
    escaped = replacement.replace("\\", "\\\\")
    return _GROUP.sub(lambda m: "\\g<0>" if m.group(1) == "&" else f"\\g<{int(m.group(1))}>", escaped)


def _rules(words_file: str) -> list[tuple[re.Pattern[str], str]]:
    re.purge()  # every pass compiles its rules, as the module's passes do
    words = json.loads(Path(words_file).read_text(encoding="utf-8"))
    return [
        (re.compile(pattern, re.IGNORECASE), _python_template(replacement))
        for pattern, replacement in sorted(words.items())
    ]


def _rewrite(text: str, rules: list[tuple[re.Pattern[str], str]]) -> str:
    for pattern, template in rules:
        text = pattern.sub(template, text)
    return text


def _output_name(subfile: str, ending: str) -> str:
    return "[Quorvanted] " + subfile[: subfile.rindex(".")] + ending


def export_pass(subfile: str, words_file: str) -> str:
    rules = _rules(words_file)
    subs = pysubs2.load(subfile)
    document = {str(index): _rewrite(event.text, rules) for index, event in enumerate(subs.events, start=1)}
    name = _output_name(subfile, ".json")
    with open(name, "w", encoding="utf-8") as out:
        json.dump(document, out, indent=2, sort_keys=True)
    return name


def rewrite_pass(subfile: str, words_file: str) -> str:
    rules = _rules(words_file)
    subs = pysubs2.load(subfile)
    for event in subs.events:
        event.text = _rewrite(event.text, rules)
    name = _output_name(subfile, subfile[subfile.rindex(".") :])
    subs.save(name)
    return name
