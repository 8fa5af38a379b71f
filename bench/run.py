"""Times the module's passes against pysubs2 + re and the compile-per-text baseline.

Run by `make bench`, which first builds the baseline extension (the core with every
rule compiled for every text) and passes it as --plain-extension. All work happens in
a scratch directory, with relative file names as the passes expect.
"""

from __future__ import annotations

import argparse
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

HERE = Path(__file__).resolve().parent
SIZES = [20, 200, 1000]
EVENTS = 2000
PLAIN_SIZES = {20, 200}  # at 1,000 rules the baseline takes minutes
# The slow columns get fewer runs; a pass of the module takes milliseconds.
PEER_REPEATS = 5
PLAIN_REPEATS = 3


def worker(*args: str) -> object:
    """Runs module_worker.py; the passes may print lines of their own before its answer."""
    done = subprocess.run(
        [sys.executable, str(HERE / "module_worker.py"), *args], check=True, capture_output=True, text=True
    )
    return json.loads(done.stdout.strip().splitlines()[-1])


def module_seconds(extension: str, pass_name: str, subfile: str, words: str, repeats: int) -> float:
    return statistics.median(worker("time", extension, pass_name, subfile, words, str(repeats)))


def peer_seconds(pass_name: str, subfile: str, words: str, repeats: int) -> float:
    run = {"export": peer.export_pass, "rewrite": peer.rewrite_pass}[pass_name]
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run(subfile, words)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def measure(plain: str | None, repeats: int) -> dict[tuple[str, str, int], dict[str, float]]:
    words = inputs.write_inputs(Path.cwd(), SIZES, EVENTS)
    results = {}
    for subfile in ("bench.ass", "bench.srt"):
        for size in SIZES:
            for pass_name in ("export", "rewrite"):
                row = {
                    "module": module_seconds("installed", pass_name, subfile, words[str(size)], repeats),
                    "peer": peer_seconds(pass_name, subfile, words[str(size)], PEER_REPEATS),
                }
                if plain and size in PLAIN_SIZES:
                    row["plain"] = module_seconds(plain, pass_name, subfile, words[str(size)], PLAIN_REPEATS)
                results[(subfile, pass_name, size)] = row
                print(f"  measured {subfile} {pass_name} {size} rules", file=sys.stderr, flush=True)
    return results


def print_table(results: dict[tuple[str, str, int], dict[str, float]]) -> None:
    print(f"\n{EVENTS:,} events or cues; medians in milliseconds; ratio = other / module\n")
    print("| file | pass | rules | module | pysubs2 + re | ratio | compile per text | ratio |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    for (subfile, pass_name, size), row in results.items():
        module_ms, peer_ms = row["module"] * 1e3, row["peer"] * 1e3
        plain = f"{row['plain'] * 1e3:.0f} | {row['plain'] / row['module']:.0f}x" if "plain" in row else "- | -"
        print(
            f"| {subfile} | {pass_name} | {size} | {module_ms:.1f} | {peer_ms:.0f} | "
            f"{peer_ms / module_ms:.0f}x | {plain} |"
        )
    print("\nExtra rules that match nothing (every invented rule of the 1,000 list):")
    for subfile in ("bench.ass", "bench.srt"):
        for pass_name in ("export", "rewrite"):
            small, large = results[(subfile, pass_name, 200)]["module"], results[(subfile, pass_name, 1000)]["module"]
            per_rule_ns = (large - small) / ((1000 - 200) * EVENTS) * 1e9
            print(
                f"  {subfile} {pass_name}: 1,000 rules take {large / small:.2f}x the time of 200; "
                f"a non-matching rule costs {per_rule_ns:.1f} ns per text"
            )


def print_memory(megabytes: int) -> None:
    size = inputs.write_large_ass(Path("large.ass"), megabytes)
    print(f"\nPeak memory above the interpreter's baseline, {size / 1e6:.1f} MB ASS file, 200 rules:")
    for pass_name in ("export", "rewrite"):
        growth = worker("memory", "installed", pass_name, "large.ass", "words-200.json")
        print(f"  {pass_name}: {growth / 1e6:.0f} MB = {growth / size:.2f}x the file size")


def print_subrip(repeats: int, megabytes: int) -> None:
    """The SubRip reader against libass on the same dialogue, and on one very large cue."""
    Path("words-0.json").write_text("{}", encoding="utf-8")
    print(
        f"\nSubRip against ASS, the same {EVENTS:,} dialogue texts, empty word list (ms, runs of the two "
        "formats taken in turns so that both see the same load):"
    )
    for pass_name in ("export", "rewrite"):
        times: dict[str, list[float]] = {"bench.ass": [], "ass-dialogue.srt": []}
        for _ in range(3):
            for subfile, runs in times.items():
                runs += worker("time", "installed", pass_name, subfile, "words-0.json", str(repeats))
        ass, srt = times.values()
        print(
            f"  {pass_name}: median ASS {statistics.median(ass) * 1e3:.1f}, SRT {statistics.median(srt) * 1e3:.1f}"
            f" = {statistics.median(srt) / statistics.median(ass):.2f}x; fastest ASS {min(ass) * 1e3:.1f},"
            f" SRT {min(srt) * 1e3:.1f} = {min(srt) / min(ass):.2f}x"
        )
    if not megabytes:
        return
    size = inputs.write_one_cue_srt(Path("one-cue.srt"), megabytes)
    print(f"\nOne cue of {size / 1e6:.1f} MB, empty word list:")
    for pass_name in ("export", "rewrite"):
        seconds = module_seconds("installed", pass_name, "one-cue.srt", "words-0.json", 3)
        growth = worker("memory", "installed", pass_name, "one-cue.srt", "words-0.json")
        print(f"  {pass_name}: {seconds:.2f} s; peak memory {growth / 1e6:.0f} MB = {growth / size:.2f}x the file size")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--plain-extension", help="modify_subs extension built with QUORVANT_PLAIN_SUBSTITUTION")
    parser.add_argument("--repeats", type=int, default=21, help="runs of each module pass")
    parser.add_argument("--large-mb", type=int, default=50, help="size of the memory test file; 0 skips it")
    args = parser.parse_args()
    plain = str(Path(args.plain_extension).resolve()) if args.plain_extension else None
    with tempfile.TemporaryDirectory(prefix="quorvant-bench-") as scratch:
        os.chdir(scratch)
        print_table(measure(plain, args.repeats))
        if not plain:
            print("(no --plain-extension: the compile-per-text columns are empty)")
        print_subrip(args.repeats, args.large_mb)
        if args.large_mb:
            print_memory(args.large_mb)


if __name__ == "__main__":
    main()
