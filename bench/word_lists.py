"""Times compiled word lists: apply against Python's re, apply_many against the file
passes, and each file job's first call in a fresh process against pysubs2 + re.

    .venv/bin/python bench/word_lists.py [--repeats N]

Targets, printed beside each figure: `apply` on a short text with 200 rules at least
10x faster than re with the patterns compiled beforehand; `apply_many` within 1.5x of
the file passes' cost per text; `rewrite` and `export` no slower than the module's
passes; each of the four file jobs at least 30x pysubs2 + re on a first call in a
fresh process (the word list read and compiled inside the call).
"""

from __future__ import annotations

import argparse
import contextlib
import functools
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import inputs
import peer

from c_quorvant import WordList
from c_quorvant import modify_subs as module

HERE = Path(__file__).resolve().parent
EVENTS = 2000
RULES = 200

# Each job's first call in a fresh interpreter, the imports done before the clock starts.
FIRST_CALL = """
import sys, time
sys.path.insert(0, {here!r})
{imports}
start = time.perf_counter()
{call}
print(time.perf_counter() - start)
"""
JOBS = {
    "api": (
        "from c_quorvant import WordList, export, rewrite",
        "{pass_name}({subfile!r}, WordList.load({words!r}), 'out-' + {subfile!r})",
    ),
    "api-unicode": (
        "from c_quorvant import WordList, export, rewrite",
        "{pass_name}({subfile!r}, WordList.load({words!r}), 'out-' + {subfile!r}, unicode=True)",
    ),
    "peer": ("import peer", "peer.{pass_name}_pass({subfile!r}, {words!r})"),
}


def first_call_seconds(side: str, pass_name: str, subfile: str, words: str) -> float:
    imports, call = JOBS[side]
    code = FIRST_CALL.format(
        here=str(HERE), imports=imports, call=call.format(pass_name=pass_name, subfile=subfile, words=words)
    )
    done = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True)
    return float(done.stdout.split()[-1])


def seconds(run, repeats: int) -> float:
    times = []
    # The module's ASS rewrite prints where each Format line starts.
    with open(os.devnull, "w") as devnull, contextlib.redirect_stdout(devnull):
        saved = os.dup(1)
        os.dup2(devnull.fileno(), 1)
        try:
            for _ in range(repeats):
                start = time.perf_counter()
                run()
                times.append(time.perf_counter() - start)
        finally:
            os.dup2(saved, 1)
            os.close(saved)
    return statistics.median(times)


def in_turns(first, second, repeats: int) -> tuple[float, float]:
    """The medians of two calls taken in turns, so that both see the same load."""
    runs = [(seconds(first, 1), seconds(second, 1)) for _ in range(repeats)]
    return statistics.median(run[0] for run in runs), statistics.median(run[1] for run in runs)


def verdict(met: bool) -> str:
    return "met" if met else "NOT MET"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvant-bench-") as scratch:
        # The module names its outputs after the path given: relative names, in the scratch folder.
        os.chdir(scratch)
        directory = Path()
        names = inputs.write_inputs(directory, [RULES], EVENTS)
        words_file = names[str(RULES)]
        rules = json.loads(Path(words_file).read_text(encoding="utf-8"))
        words = WordList(rules)
        ass = (directory / "bench.ass").read_text(encoding="utf-8")
        texts = [line.split(",", 9)[-1] for line in ass.splitlines() if line.startswith("Dialogue:")]
        compiled = [(pattern, template) for pattern, template in peer._rules(words_file)]

        words.apply(texts[0])
        apply_each = seconds(lambda: [words.apply(text) for text in texts], args.repeats) / len(texts)
        re_each = seconds(lambda: [peer._rewrite(text, compiled) for text in texts], 3) / len(texts)
        print(f"{RULES} rules, {len(texts):,} short dialogue texts; medians\n")
        print(
            f"apply: {apply_each * 1e6:.1f} us a text; re, compiled beforehand: {re_each * 1e6:.1f} us "
            f"= {re_each / apply_each:.0f}x (target 10x: {verdict(re_each >= 10 * apply_each)})"
        )

        many_each = seconds(lambda: words.apply_many(texts), args.repeats) / len(texts)
        subfile = "bench.ass"
        pass_each = seconds(lambda: module.modify_subs_py(subfile, words_file), args.repeats) / len(texts)
        print(
            f"apply_many: {many_each * 1e6:.2f} us a text; the module's ASS export: {pass_each * 1e6:.2f} us a text "
            f"= {many_each / pass_each:.2f}x (target 1.5x: {verdict(many_each <= 1.5 * pass_each)})"
        )

        import c_quorvant

        for name in ("bench.ass", "bench.srt"):
            subfile = name
            for pass_name, module_pass in (("export", module.modify_subs_py), ("rewrite", module.overwrite_subs)):
                api_pass = getattr(c_quorvant, pass_name)
                output = f"api-{pass_name}{Path(name).suffix}"
                api, native = in_turns(
                    functools.partial(api_pass, subfile, words, output),
                    functools.partial(module_pass, subfile, words_file),
                    args.repeats,
                )
                print(
                    f"{name} {pass_name}: API {api * 1e3:.1f} ms, module {native * 1e3:.1f} ms = {api / native:.2f}x "
                    f"(target no slower: {verdict(api <= native * 1.05)}, within the 5% noise)"
                )

        print("\nFirst call in a fresh process, word list read and compiled inside it:")
        for name in ("bench.ass", "bench.srt"):
            subfile = name
            for pass_name in ("export", "rewrite"):
                runs = [
                    (
                        first_call_seconds("api", pass_name, subfile, words_file),
                        first_call_seconds("peer", pass_name, subfile, words_file),
                    )
                    for _ in range(3)
                ]
                api = statistics.median(run[0] for run in runs)
                other = statistics.median(run[1] for run in runs)
                print(
                    f"  {name} {pass_name}: API {api * 1e3:.1f} ms, pysubs2 + re {other * 1e3:.0f} ms "
                    f"= {other / api:.0f}x (target 30x: {verdict(other >= 30 * api)})"
                )


if __name__ == "__main__":
    main()
