"""Compares two builds of the package: the same passes over the same files with the
same word lists, every output byte, return value, printed line and error side by
side, and each pass's CPU time.

    python bench/compare_builds.py BEFORE_PYTHON AFTER_PYTHON --corpus DIR [--repeats N] [--rounds N]

Each PYTHON is an interpreter with the package installed (a virtualenv's bin/python).
The files are tests/data, examples/ and every subtitle below DIR (its local-only/
left out), plus generated SubRip and ASS files of 2, 10 and 200 cues: typographic
quotes and each code page's own characters, in the page. Each file is run with a list
that fires on most lines, lists that add and remove line breaks, and the bundled
examples list, through the module's rewrite and export and the API's rewrite,
export and preview. The exit status is 1 when any outcome differs.
"""

from __future__ import annotations

import argparse
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
ENDINGS = (".ass", ".ssa", ".srt", ".vtt")
WORD_LISTS = {
    "most-lines": {
        "e": "E",
        "о": "0",
        "\\ba\\b": "A",
        "“|”": '"',
        "’": "'",
        "…": "...",
        "の": "ノ",
        "(\\w+)-san": "$1",
    },
    "breaks-added": {"([.?!,]) ": "$1\n", "\\\\N": "\\N\\N"},
    "breaks-removed": {"\\n": " ", "\\r": "", "\\\\N": " "},
}
PASSES = ("module-rewrite", "module-export", "api-rewrite", "api-export", "api-preview", "api-rewrite-tags-unicode")
# Below this a pass's CPU time is mostly the clock's own noise.
NOTICEABLE_SECONDS = 0.005

# Run by each interpreter: the cases come on standard input, the outcomes go to a JSON
# file, each output's bytes included. Nothing of this tree is imported.
RUNNER = r"""
import base64, contextlib, json, os, shutil, sys, tempfile, time

import c_quorvant
from c_quorvant import modify_subs

plan = json.load(sys.stdin)
outcomes = {}
counts = []  # (texts, changed) of each API rewrite and export


@contextlib.contextmanager
def printed(into):
    # The module prints its failures (and the ASS rewrite each Format line's place).
    with tempfile.TemporaryFile() as sink:
        sys.stdout.flush(); sys.stderr.flush()
        saved = [os.dup(1), os.dup(2)]
        os.dup2(sink.fileno(), 1); os.dup2(sink.fileno(), 2)
        try:
            yield
        finally:
            sys.stdout.flush(); sys.stderr.flush()
            os.dup2(saved[0], 1); os.dup2(saved[1], 2)
            for fd in saved:
                os.close(fd)
            sink.seek(0)
            into.append(sink.read().decode("utf-8", "backslashreplace"))


def module_pass(call):
    def run(name, words, _loaded):
        output = call(name, words)
        return repr(output), output or None
    return run


def api_pass(call, out, **options):
    def run(name, _words, loaded):
        if isinstance(loaded, BaseException):
            raise loaded
        if out is None:
            found = call(name, loaded, **options)
            return repr(found), None
        found = call(name, loaded, out, **options)
        counts.append((found.texts, found.changed))
        return repr(found), out
    return run


PASSES = {
    "module-rewrite": module_pass(modify_subs.overwrite_subs),
    "module-export": module_pass(modify_subs.modify_subs_py),
    "api-rewrite": api_pass(c_quorvant.rewrite, "api-rewrite.out"),
    "api-export": api_pass(c_quorvant.export, "api-export.out"),
    "api-preview": api_pass(c_quorvant.preview, None),
    "api-rewrite-tags-unicode": api_pass(c_quorvant.rewrite, "api-tags.out", protect_tags=True, unicode=True),
}

for case in plan["cases"]:
    folder = tempfile.mkdtemp(prefix="case-", dir=plan["scratch"])
    os.chdir(folder)
    shutil.copyfile(case["file"], case["name"])
    try:
        loaded = c_quorvant.WordList.load(case["words"])
    except Exception as error:
        loaded = error
    for pass_name, run in PASSES.items():
        lines, seconds, value, output = [], [], None, None
        counts.clear()
        for _ in range(plan["repeats"]):
            with printed(lines):
                start = time.process_time()
                try:
                    value, output = run(case["name"], case["words"], loaded)
                except Exception as error:
                    value, output = f"{type(error).__name__}: {error}", None
                seconds.append(time.process_time() - start)
        data = None
        if output and os.path.isfile(output):
            with open(output, "rb") as file:
                data = base64.b64encode(file.read()).decode()
        outcomes[f"{case['id']} {pass_name}"] = {
            "value": value, "printed": lines[0], "output": data, "seconds": min(seconds),
            "counts": counts[0] if counts else None,
        }
    os.chdir(plan["scratch"])
    shutil.rmtree(folder)

with open(plan["into"], "w", encoding="utf-8") as file:
    json.dump(outcomes, file)
"""


def subtitle_files(corpus: Path | None) -> list[Path]:
    found = sorted((ROOT / "tests" / "data").iterdir()) + sorted((ROOT / "examples").iterdir())
    if corpus is not None:
        found += sorted(path for path in corpus.rglob("*") if "local-only" not in path.relative_to(corpus).parts)
    return [path for path in found if path.is_file() and path.name.lower().endswith(ENDINGS)]


def generated_files(folder: Path) -> list[Path]:
    """One SubRip file per code page and length, and ASS files of each length."""
    sys.path.insert(0, str(HERE))
    import random

    import encoding_samples
    import inputs

    written = []
    seen = set()
    for sample in encoding_samples.generated_samples():
        key = (sample.encoding, sample.group)
        if key in seen:
            continue
        seen.add(key)
        written.append(folder / f"{sample.name}.srt")
        written[-1].write_bytes(sample.data)
    for events in (2, 10, 200):
        written.append(folder / f"film {events} events.ass")
        written[-1].write_bytes(inputs.ass_file(events, random.Random(events)))
    return written


def outcomes(python: str, cases: list[dict[str, str]], repeats: int, scratch: Path) -> dict[str, dict]:
    into = scratch / "outcomes.json"
    plan = {"cases": cases, "repeats": repeats, "scratch": str(scratch), "into": str(into)}
    # -P: the working directory's source tree must not shadow the installed package.
    subprocess.run([python, "-P", "-c", RUNNER], input=json.dumps(plan), text=True, check=True, cwd=scratch)
    return json.loads(into.read_text(encoding="utf-8"))


def difference(before: dict, after: dict) -> str:
    """The first way two outcomes differ, in a line; "" when they are the same."""
    for field in ("value", "printed"):
        if before[field] != after[field]:
            return f"{field}: {before[field]!r} -> {after[field]!r}"
    if before["output"] != after["output"]:
        old, new = (base64.b64decode(side["output"] or "") for side in (before, after))
        at = next((i for i, (a, b) in enumerate(zip(old, new, strict=False)) if a != b), min(len(old), len(new)))
        shown = f"{old[at : at + 40]!r} -> {new[at : at + 40]!r}"
        return f"output differs from byte {at} ({len(old)} -> {len(new)} bytes): {shown}"
    return ""


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before", help="the interpreter of the build compared against")
    parser.add_argument("after", help="the interpreter of the build compared")
    parser.add_argument("--corpus", type=Path, help="a folder of real subtitle files (its local-only/ is left out)")
    parser.add_argument("--repeats", type=int, default=3, help="runs of each pass; its least CPU time counts")
    parser.add_argument("--rounds", type=int, default=2, help="turns each build takes, one after the other")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="compare-builds-") as scratch:
        root = Path(scratch)
        (root / "generated").mkdir()
        files = subtitle_files(args.corpus) + generated_files(root / "generated")
        lists = {name: root / f"{name}.json" for name in WORD_LISTS}
        for name, rules in WORD_LISTS.items():
            lists[name].write_text(json.dumps(rules, ensure_ascii=False), encoding="utf-8")
        lists["examples"] = root / "plain-honorifics.json"
        shutil.copyfile(ROOT / "examples" / "plain-honorifics.json", lists["examples"])
        cases = []
        for path in files:
            # The module takes only ".ass" and ".srt": an .ssa file goes in as ASS.
            name = path.name[:-4] + ".ass" if path.name.lower().endswith(".ssa") else path.name
            for list_name, words in lists.items():
                cases.append({"id": f"{path} [{list_name}]", "file": str(path), "name": name, "words": str(words)})
        sides: dict[str, dict[str, dict]] = {}
        unstable: list[str] = []
        # The builds take turns, so a machine that gets busier part-way favours neither.
        for turn in range(args.rounds):
            for side, python in (("before", args.before), ("after", args.after)):
                (root / f"{side}-{turn}").mkdir()
                found = outcomes(os.path.abspath(python), cases, args.repeats, root / f"{side}-{turn}")
                for key, outcome in sides.setdefault(side, found).items():
                    again = found[key]
                    outcome["seconds"] = min(outcome["seconds"], again["seconds"])
                    # A build that gives another outcome on another run differs from itself.
                    if outcome is not again and difference(outcome, again):
                        unstable.append(f"{side} {key}: {difference(outcome, again)}")

    before, after = sides["before"], sides["after"]
    differences = [(key, difference(before[key], after[key])) for key in before]
    differences = [(key, why) for key, why in differences if why]
    print(f"{len(files)} files x {len(lists)} word lists x {len(PASSES)} passes = {len(before)} outcomes")
    raised = sum(1 for outcome in after.values() if outcome["output"] is None and "(" not in outcome["value"])
    print(f"outcomes that are a failure or the module's refusal (the same on both sides unless listed): {raised}")
    for list_name in lists:
        counted = [after[key]["counts"] for key in after if key.endswith(f"[{list_name}] api-rewrite")]
        texts, changed = (sum(pair[i] for pair in counted if pair) for i in (0, 1))
        print(f"  [{list_name}] the API's rewrite changed {changed} of {texts} texts")
    print(f"outcomes that differ between runs of one build: {len(unstable)}")
    for line in unstable:
        print(f"  {line}")
    print(f"differences: {len(differences)}")
    for key, why in differences:
        print(f"  {key}: {why}")
    print(f"\nCPU seconds, least of {args.repeats} runs in each of {args.rounds} rounds, summed over the cases:")
    print(f"  {'pass':<26}{'before':>10}{'after':>10}{'after/before':>14}   worst case (both above 5 ms)")
    for pass_name in PASSES:
        keys = [key for key in before if key.endswith(f" {pass_name}")]
        old = sum(before[key]["seconds"] for key in keys)
        new = sum(after[key]["seconds"] for key in keys)
        timed = [key for key in keys if min(before[key]["seconds"], after[key]["seconds"]) >= NOTICEABLE_SECONDS]
        worst = max(timed, key=lambda key: after[key]["seconds"] / before[key]["seconds"], default=None)
        shown = (
            f"{after[worst]['seconds'] / before[worst]['seconds']:.2f} {Path(worst.rsplit(' ', 1)[0]).name}"
            if worst
            else "-"
        )
        print(f"  {pass_name:<26}{old:>10.3f}{new:>10.3f}{new / old if old else float('nan'):>14.2f}   {shown}")
    return 1 if differences or unstable else 0


if __name__ == "__main__":
    sys.exit(main())
