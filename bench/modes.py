"""Times the API's modes against its default mode, and threads against one thread.

    .venv/bin/python bench/modes.py [--repeats N] [--files N]

Each mode (protect_tags, unicode, both) should stay within 1.5x of the default
mode's CPU time on the benchmark's files. The threaded run rewrites --files copies of
each file on two threads at once, which the native calls allow by releasing the
interpreter lock; run it on a machine with two idle cores.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import shutil
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import inputs

from c_quorvant import WordList, export, rewrite

MODES = {
    "default": {},
    "protect_tags": {"protect_tags": True},
    "unicode": {"unicode": True},
    "both": {"protect_tags": True, "unicode": True},
}
SIZES = [20, 200]
EVENTS = 20000  # large enough that a call takes ~100 ms, above the noise of a shared machine
LIMIT = 1.5


def wall_seconds(run, repeats: int) -> float:
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def cpu_seconds_per_mode(run_pass, subfile: str, word_list: WordList, repeats: int) -> dict[str, float]:
    """The least CPU time (every thread of the process) of each mode. The modes take
    turns, so a machine that gets busier slows them all alike."""
    times: dict[str, list[float]] = {mode: [] for mode in MODES}
    for _ in range(repeats):
        for mode, options in MODES.items():
            start = time.process_time()
            run_pass(subfile, word_list, **options)
            times[mode].append(time.process_time() - start)
    return {mode: min(values) for mode, values in times.items()}


def print_modes(words: dict[str, str], repeats: int) -> bool:
    print(
        f"{'file':<11}{'rules':>6} {'pass':<8}{'default ms':>11}"
        + "".join(f"{mode:>14}" for mode in MODES if mode != "default")
    )
    within = True
    for subfile in ("bench.ass", "bench.srt"):
        for size in SIZES:
            word_list = WordList.load(words[str(size)])
            for name, run_pass in (("export", export), ("rewrite", rewrite)):
                times = cpu_seconds_per_mode(run_pass, subfile, word_list, repeats)
                ratios = {mode: times[mode] / times["default"] for mode in MODES if mode != "default"}
                within = within and all(ratio <= LIMIT for ratio in ratios.values())
                print(
                    f"{subfile:<11}{size:>6} {name:<8}{times['default'] * 1000:>11.1f}"
                    + "".join(f"{ratio:>13.2f}x" for ratio in ratios.values())
                )
    return within


def print_machine_speed_up(repeats: int) -> None:
    """What two threads gain on this machine right now, with a native call that is
    known to let the lock go: the ceiling for the figures below."""
    data = b"x" * (64 << 20)

    def hashes(workers: int) -> None:
        with ThreadPoolExecutor(max_workers=workers) as pool:
            list(pool.map(lambda _: hashlib.sha256(data).digest(), range(8)))

    alone, together = wall_seconds(lambda: hashes(1), repeats), wall_seconds(lambda: hashes(2), repeats)
    print(f"reference, 8 x sha256 of 64 MB: two threads speed-up {alone / together:.2f}x")


def print_threads(words: dict[str, str], repeats: int, files: int) -> None:
    print_machine_speed_up(repeats)
    word_list = WordList.load(words["200"])
    for subfile in ("bench.ass", "bench.srt"):
        copies = [f"copy-{index}-{subfile}" for index in range(files)]
        for copy in copies:
            shutil.copy(subfile, copy)

        def one_thread(copies: list[str] = copies) -> None:
            for copy in copies:
                rewrite(copy, word_list)

        def two_threads(copies: list[str] = copies) -> None:
            with ThreadPoolExecutor(max_workers=2) as pool:
                list(pool.map(lambda name: rewrite(name, word_list), copies))

        alone, together = wall_seconds(one_thread, repeats), wall_seconds(two_threads, repeats)
        print(
            f"{files} x {subfile}, 200 rules: one thread {alone * 1000:.0f} ms, two threads "
            f"{together * 1000:.0f} ms, speed-up {alone / together:.2f}x"
        )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=7, help="runs of each measurement (the least taken)")
    parser.add_argument("--files", type=int, default=8, help="copies rewritten by the threaded run")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvant-modes-") as scratch:
        os.chdir(scratch)
        words = inputs.write_inputs(Path(scratch), SIZES, EVENTS)
        within = print_modes(words, args.repeats)
        print(f"every mode within {LIMIT}x of the default: {'yes' if within else 'NO'}")
        print(f"cores available: {len(os.sched_getaffinity(0))}")
        print_threads(words, args.repeats, args.files)


if __name__ == "__main__":
    main()
