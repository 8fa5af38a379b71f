"""Times the diff of `quorvant rewrite --diff` against the rewrite itself.

    .venv/bin/python bench/diff.py [--repeats N]

The diff is made from the rewrite's own edits, so it should cost about what the
rewrite costs: target, an 8,000-cue file in well under a second. Each figure is the
least CPU time of --repeats calls in this process: the rewrite of the file's bytes,
the preview with its edits, and the hunks made from them; then the whole command
(`rewrite FILE --diff`, start-up and worker included) in wall time, beside the same
preview without the diff.
"""

from __future__ import annotations

import argparse
import json
import random
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path

import inputs

from c_quorvant import WordList, rewrite_bytes
from c_quorvant.api import preview_edits
from c_quorvant.cli.preview import edit_hunks

CUES = [2000, 8000, 16000]
# The honorific rules change a few texts; "e" nearly every one, a hunk per cue.
LISTS = {"honorifics": inputs.REAL_RULES, "most texts": {"e": "E"}}
TARGET_SECONDS = 1.0  # the 8,000-cue file's diff


def cpu_seconds(repeats: int, run: Callable[..., object], *arguments: object) -> float:
    times = []
    for _ in range(repeats):
        start = time.process_time()
        run(*arguments)
        times.append(time.process_time() - start)
    return min(times)


def command_seconds(args: list[str], cwd: Path, repeats: int) -> float:
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-m", "c_quorvant", *args], cwd=cwd, check=True, capture_output=True)
        times.append(time.perf_counter() - start)
    return min(times)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch)
        print("| cues | rules | hunks | rewrite ms | preview + edits ms | hunks ms | command --diff s | preview s |")
        print("|---:|---|---:|---:|---:|---:|---:|---:|")
        for cues, (title, rules) in ((cues, listed) for cues in CUES for listed in LISTS.items()):
            path = folder / f"{cues}.srt"
            path.write_bytes(inputs.srt_file(cues, random.Random(cues)))
            (folder / "words.json").write_text(json.dumps(rules), encoding="utf-8")
            words = WordList(rules)
            data = path.read_bytes()
            rewrite = cpu_seconds(args.repeats, rewrite_bytes, data, "srt", words)
            edited = cpu_seconds(args.repeats, preview_edits, path, words)
            edits = preview_edits(path, words)[1]
            hunks = cpu_seconds(args.repeats, edit_hunks, edits.text, edits.replaced)
            shown = sum(line.startswith("@@") for line in edit_hunks(edits.text, edits.replaced))
            common = [path.name, "-w", "words.json", "-j", "1", "-q"]
            command = command_seconds(["rewrite", *common, "--diff"], folder, args.repeats)
            previewed = command_seconds(["preview", *common], folder, args.repeats)
            mark = f" (target < {TARGET_SECONDS:.0f})" if cues == 8000 else ""
            print(
                f"| {cues:,} | {title} | {shown:,} | {rewrite * 1000:.1f} | {edited * 1000:.1f} | "
                f"{hunks * 1000:.1f} | {command:.2f}{mark} | {previewed:.2f} |"
            )


if __name__ == "__main__":
    main()
