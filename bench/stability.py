"""Leak and stability check: thousands of consecutive calls, successes and failures mixed.

Calls each module function CALLS times in a row, cycling through good and bad inputs, and
reports the process's resident memory after a warm-up and at the end. A leak of even a few
hundred bytes per call shows as megabytes here. Not a timed test; run it by hand:

    .venv/bin/python bench/stability.py
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import tempfile
from collections import Counter
from pathlib import Path

from c_quorvant import modify_subs

HERE = Path(__file__).resolve().parent
DATA = HERE.parent / "tests" / "data"
WARM_UP = 100

SRT = b"1\n00:00:01,000 --> 00:00:02,000\n- Aoi: Tanaka-san!\n\n2\n00:00:03,000 --> 00:00:04,000\n(laughs) hi\n"
ASS_SAMPLE = "y_ass-format-tests.ass"


def resident_kib() -> int:
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise RuntimeError("no VmRSS in /proc/self/status")


def prepare(directory: Path) -> None:
    (directory / "ep.srt").write_bytes(SRT)
    (directory / "ep.ass").write_bytes((DATA / ASS_SAMPLE).read_bytes())
    (directory / "garbage.ass").write_bytes(os.urandom(2048))
    (directory / "words.json").write_text(json.dumps({"(\\w+)-san": "$1", "hi": "hello", "\\{[^}]*\\}": ""}))
    (directory / "bad-pattern.json").write_text(json.dumps({"(unclosed": "x"}))
    (directory / "array-value.json").write_text(json.dumps({"a": ["b"]}))
    (directory / "not-json.json").write_text("not json")
    (directory / "[Quorvanted] blocked").write_text("a file where a directory should be")
    (directory / "blocked").mkdir()
    (directory / "blocked" / "ep.srt").write_bytes(SRT)


# (subtitle file, word list) for the two passes; successes and every kind of failure.
PASS_CASES = [
    ("ep.srt", "words.json"),
    ("ep.ass", "words.json"),
    ("missing.srt", "words.json"),
    ("missing.ass", "words.json"),
    ("garbage.ass", "words.json"),
    ("ep.srt", "bad-pattern.json"),
    ("ep.ass", "bad-pattern.json"),
    ("ep.srt", "array-value.json"),
    ("ep.ass", "not-json.json"),
    ("ep.srt", "missing.json"),
    ("blocked/ep.srt", "words.json"),
    ("ep.txt", "words.json"),
]

LOOKUP = {"honorifics": {"san": {"names": ["Aoi", "Taro"]}, "kun": {"names": ["Ken"]}}}
LOOKUP_CASES = [
    (LOOKUP, "Aoi", "names"),
    (LOOKUP, "nobody", "names"),
    (LOOKUP, "Ken", "other"),
    ({"honorifics": {"san": {"names": "Aoi"}}}, "A", "names"),
    ({"honorifics": {"san": None}}, "x", "names"),
    ({"honorifics": [("san", {})]}, "x", "names"),
    (LOOKUP, None, "names"),
    (LOOKUP, "\ud800", "names"),
]


def call_passes(function, case_index: int) -> str:
    subfile, words = PASS_CASES[case_index % len(PASS_CASES)]
    try:
        return "ok" if function(subfile, words) else "empty"
    except RuntimeError:
        return "RuntimeError"


def call_lookup(case_index: int) -> str:
    dictionary, target, array = LOOKUP_CASES[case_index % len(LOOKUP_CASES)]
    try:
        return "ok" if modify_subs.find_key_by_string_wrapper(dictionary, target, array) else "empty"
    except (AttributeError, TypeError, ValueError, UnicodeEncodeError) as error:
        return type(error).__name__


@contextlib.contextmanager
def silenced_output():
    """The passes report failures on the standard streams; thousands of lines help nobody."""
    saved = [os.dup(1), os.dup(2)]
    with open(os.devnull, "wb") as devnull:
        os.dup2(devnull.fileno(), 1)
        os.dup2(devnull.fileno(), 2)
    try:
        yield
    finally:
        for fd, copy in zip((1, 2), saved, strict=True):
            os.dup2(copy, fd)
            os.close(copy)


def measure(name: str, call, calls: int) -> None:
    outcomes: Counter[str] = Counter()
    with silenced_output():
        for index in range(WARM_UP):
            call(index)
        start = resident_kib()
        for index in range(calls):
            outcomes[call(index)] += 1
        end = resident_kib()
    mixed = ", ".join(f"{count} {outcome}" for outcome, count in sorted(outcomes.items()))
    print(f"| {name} | {calls} | {start / 1024:.1f} | {end / 1024:.1f} | {(end - start) / 1024:+.1f} | {mixed} |")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=2000)
    calls = parser.parse_args().calls
    with tempfile.TemporaryDirectory() as scratch:
        os.chdir(scratch)
        prepare(Path(scratch))
        print("| function | calls | RSS after warm-up (MiB) | RSS at end (MiB) | change (MiB) | outcomes |")
        print("|---|---|---|---|---|---|")
        measure("modify_subs_py", lambda i: call_passes(modify_subs.modify_subs_py, i), calls)
        measure("overwrite_subs", lambda i: call_passes(modify_subs.overwrite_subs, i), calls)
        measure("find_key_by_string_wrapper", call_lookup, calls)


if __name__ == "__main__":
    main()
