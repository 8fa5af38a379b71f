"""Times the command line on whole libraries against the API's own loop and `cp -r`.

    .venv/bin/python bench/batch.py [--files 5000] [--rounds 3] [--large-mb 100]
                                    [--against OTHER/.venv/bin/python]

A generated library (fixed seed; the benchmark films' dialogue with the honorifics,
sound tags and quotes of bench/matching.py, so most rules fire on most lines): 60%
SubRip, 25% ASS, 15% WebVTT, and 5% of all files in cp1252. Then a season of 72
episodes. Each is rewritten by `quorvant rewrite LIB -r -o OUT` at -j 1 and -j 2, by
a loop over the API's rewrite() in one process, and copied by `cp -r`; the sides take
turns and the median of the rounds is kept. Wall time, CPU time of the whole process
tree (resource.getrusage of the children), files/s, MB/s and the ratios to cp and to
the API loop. Then the one-file start-up (CPU of `quorvant rewrite one.srt -w
list.json` as a whole process), and a --large-mb SubRip file's time and peak memory
above the interpreter's through the API and the command line.

--against runs every command-line and API side with another build's interpreter too,
in the same turns, for a before and after.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import inputs
import matching

HERE = Path(__file__).resolve().parent
SHARES = [("srt", 0.60), ("ass", 0.25), ("vtt", 0.15)]
LEGACY_SHARE = 0.05  # of all files, written in cp1252
VARIANTS = 24  # distinct files of each kind; the library picks among them
SEASON = 72
STARTUPS = 7
# The command line's CPU at most this over the API loop's; -j 2 at least this much faster than -j 1.
CPU_LIMIT = 1.2
SPEEDUP = 1.6
STARTUP_LIMIT = 0.15
MEMORY_LIMIT = 2.0

API_LOOP = """
import os, sys
from c_quorvant import WordList, rewrite
source, target, words = sys.argv[1:4]
words = WordList.load(words)
for folder, _, names in os.walk(source):
    out = os.path.join(target, os.path.relpath(folder, source))
    os.makedirs(out, exist_ok=True)
    for name in names:
        rewrite(os.path.join(folder, name), words, os.path.join(out, name))
"""


def word_list() -> dict[str, str]:
    """40 rules: the matching set, then the honorific list's."""
    rules = dict(matching.RULES)
    for pattern, replacement in inputs.REAL_RULES.items():
        if len(rules) < 40:
            rules.setdefault(pattern, replacement)
    return rules


def subrip(cues: int, rng: random.Random) -> str:
    blocks = inputs.srt_file(cues, rng).decode("utf-8", "replace").split("\n\n")
    out = []
    for block in blocks:
        lines = block.split("\n")
        if len(lines) > 2:
            lines[2] = matching.dialogue(lines[2], rng)
        out.append("\n".join(lines))
    return "\n\n".join(out)


def ass(events: int, rng: random.Random) -> str:
    lines = inputs.ass_file(events, rng).decode("utf-8").split("\r\n")
    for index, line in enumerate(lines):
        if line.startswith("Dialogue:"):
            fields = line.split(",", 9)
            fields[9] = matching.dialogue(fields[9], rng)
            lines[index] = ",".join(fields)
    return "\r\n".join(lines)


def webvtt(cues: int, rng: random.Random) -> str:
    blocks = subrip(cues, rng).strip().split("\n\n")
    cues_out = []
    for block in blocks:
        lines = block.split("\n")
        if len(lines) > 1 and "-->" in lines[1]:
            cues_out.append("\n".join([lines[1].replace(",", "."), *lines[2:]]))
    return "WEBVTT\n\n" + "\n\n".join(cues_out) + "\n"


def variants(rng: random.Random) -> dict[str, list[bytes]]:
    """Episode-sized files of each kind: 300 to 900 cues."""
    made: dict[str, list[bytes]] = {"srt": [], "ass": [], "vtt": [], "cp1252": []}
    for _ in range(VARIANTS):
        made["srt"].append(subrip(rng.randint(300, 900), rng).encode("utf-8"))
        made["ass"].append(ass(rng.randint(300, 900), rng).encode("utf-8"))
        made["vtt"].append(webvtt(rng.randint(300, 900), rng).encode("utf-8"))
        # The Portuguese film's dialogue, which cp1252 holds.
        portuguese = inputs.srt_like_ass(ass(rng.randint(300, 900), rng).encode("utf-8")).decode("utf-8")
        made["cp1252"].append(portuguese.encode("cp1252", "replace"))
    return made


def write_library(folder: Path, files: int, rng: random.Random, made: dict[str, list[bytes]]) -> int:
    """`files` files in folders of 24 (a season each); returns their bytes."""
    total = 0
    for number in range(files):
        if rng.random() < LEGACY_SHARE:
            kind, ending = "cp1252", "srt"
        else:
            kind = rng.choices([kind for kind, _ in SHARES], [share for _, share in SHARES])[0]
            ending = kind
        data = rng.choice(made[kind])
        place = folder / f"show-{number // 240:03d}" / f"season-{number // 24 % 10:02d}"
        place.mkdir(parents=True, exist_ok=True)
        (place / f"episode-{number:05d}.{ending}").write_bytes(data)
        total += len(data)
    return total


def timed(command: list[str]) -> tuple[float, float]:
    """Wall and CPU seconds (user + system of the whole process tree)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def sides(python: str, label: str, library: str, out: str, words: str) -> dict[str, list[str]]:
    cli = [python, "-m", "c_quorvant", "rewrite", library, "-r", "-o", out, "-w", words, "-q", "--timeout", "0"]
    return {
        f"{label}quorvant -j 1": [*cli, "-j", "1"],
        f"{label}quorvant -j 2": [*cli, "-j", "2"],
        f"{label}API loop": [python, "-c", API_LOOP, library, out, words],
    }


def compare(name: str, library: Path, size: int, files: int, words: str, pythons: dict[str, str], rounds: int):
    out = str(library.parent / "out")
    commands = {"cp -r": ["cp", "-r", str(library), out]}
    for label, python in pythons.items():
        commands.update(sides(python, label, str(library), out, words))
    times: dict[str, list[tuple[float, float]]] = {side: [] for side in commands}
    order = list(commands)
    for _ in range(rounds):
        for side in order:
            shutil.rmtree(out, ignore_errors=True)
            times[side].append(timed(commands[side]))
        order.reverse()
    shutil.rmtree(out, ignore_errors=True)
    medians = {side: tuple(statistics.median(run[i] for run in runs) for i in (0, 1)) for side, runs in times.items()}
    print(f"\n{name}: {files:,} files, {size / 1e6:.0f} MB; median of {rounds} rounds, load {os.getloadavg()[0]:.1f}")
    print(f"{'':<28} {'wall s':>7} {'CPU s':>7} {'files/s':>8} {'MB/s':>6} {'wall/cp':>8} {'CPU/API':>8}")
    for side, (wall, cpu) in medians.items():
        api = next((medians[f"{label}API loop"] for label in pythons if side.startswith(label) and label), None)
        api = api or medians.get("API loop")
        to_api = f"{cpu / api[1]:>7.2f}x" if api and side != "cp -r" else f"{'':>8}"
        print(
            f"{side:<28} {wall:>7.2f} {cpu:>7.2f} {files / wall:>8.0f} {size / 1e6 / wall:>6.1f} "
            f"{wall / medians['cp -r'][0]:>7.1f}x {to_api}"
        )
    for label in pythons:
        one, two = medians[f"{label}quorvant -j 1"], medians[f"{label}quorvant -j 2"]
        cpu_ratio = one[1] / medians[f"{label}API loop"][1]
        print(
            f"  {label or 'this build'}: -j 2 {one[0] / two[0]:.2f}x faster than -j 1 (target {SPEEDUP}x on a quiet"
            f" machine); -j 1 CPU {cpu_ratio:.2f}x the API loop's (target {CPU_LIMIT}x)"
        )


def print_startup(folder: Path, words: str, pythons: dict[str, str]) -> None:
    one = folder / "one.srt"
    one.write_bytes(inputs.srt_file(30, random.Random(1)))
    print(f"\nOne file of 30 cues: CPU of the whole process, median of {STARTUPS} (target {STARTUP_LIMIT} s)")
    runs: dict[str, list[float]] = {label: [] for label in pythons}
    for _ in range(STARTUPS):
        for label, python in pythons.items():
            command = [python, "-m", "c_quorvant", "rewrite", str(one), "-w", words, "-o", str(folder / "one-out")]
            runs[label].append(timed([*command, "-q"])[1])
    for label, cpu in runs.items():
        print(f"  {label or 'this build'}: {statistics.median(cpu):.3f} s")


def print_large(folder: Path, megabytes: int, words: str, pythons: dict[str, str]) -> None:
    """Peak memory above the interpreter's, as bench/documents.py measures it; the command
    line's from the largest process of its tree, less that of a run on a tiny file."""
    large = folder / "large.srt"
    rng = random.Random(3)
    data = subrip(1000, rng).encode("utf-8")
    large.write_bytes(data * (megabytes * 1_000_000 // len(data) + 1))
    size = large.stat().st_size
    tiny = folder / "tiny.srt"
    tiny.write_bytes(inputs.srt_file(2, rng))
    print(f"\nOne SubRip file of {size / 1e6:.0f} MB (40 rules): time and peak memory (target < {MEMORY_LIMIT}x)")
    for label, python in pythons.items():
        api_seconds = statistics.median(worker_with(python, "cpu", "api", "rewrite", str(large), words, "1"))
        api_peak = worker_with(python, "memory", "api", "rewrite", str(large), words)
        cli = [python, "-m", "c_quorvant", "rewrite", "-q", "-w", words, "-o", str(folder / "large-out")]
        cli.extend(["--timeout", "0"])
        cli_peak, cli_wall = max_rss([*cli, str(large)])
        baseline, _ = max_rss([*cli, str(tiny)])
        name = label.strip() or "this build"
        print(f"  {name} API: {api_seconds:.2f} s CPU, peak {api_peak / 1e6:.0f} MB = {api_peak / size:.2f}x")
        print(
            f"  {name} quorvant: {cli_wall:.2f} s wall, peak {(cli_peak - baseline) / 1e6:.0f} MB = "
            f"{(cli_peak - baseline) / size:.2f}x"
        )


def worker_with(python: str, *args: str):
    """run.worker with another interpreter."""
    done = subprocess.run(
        [python, str(HERE / "module_worker.py"), *args], check=True, capture_output=True, text=True, cwd=HERE
    )
    return json.loads(done.stdout.strip().splitlines()[-1])


def max_rss(command: list[str]) -> tuple[int, float]:
    """The largest resident size of `command`'s process tree in bytes, and its wall time."""
    wrapped = [
        sys.executable,
        "-c",
        "import resource, subprocess, sys, time; start = time.perf_counter(); "
        "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); "
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024, time.perf_counter() - start)",
        *command,
    ]
    peak, wall = subprocess.run(wrapped, check=True, capture_output=True, text=True).stdout.split()
    return int(peak), float(wall)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=5000, help="files in the library")
    parser.add_argument("--rounds", type=int, default=3, help="turns of each side")
    parser.add_argument("--large-mb", type=int, default=100, help="size of the large SubRip file; 0 skips it")
    parser.add_argument("--against", help="another build's interpreter, timed in the same turns")
    args = parser.parse_args()
    pythons = {"": sys.executable}
    if args.against:
        pythons = {"after ": sys.executable, "before ": args.against}
    rng = random.Random(2026)
    with tempfile.TemporaryDirectory(prefix="quorvant-batch-") as scratch:
        folder = Path(scratch)
        words = str(folder / "words.json")
        Path(words).write_text(json.dumps(word_list(), ensure_ascii=False), encoding="utf-8")
        made = variants(rng)
        for name, files in (("Library", args.files), ("Season", SEASON)):
            library = folder / name.lower() / "in"
            size = write_library(library, files, rng, made)
            compare(name, library, size, files, words, pythons, args.rounds)
            shutil.rmtree(library.parent)
        print_startup(folder, words, pythons)
        if args.large_mb:
            print_large(folder, args.large_mb, words, pythons)


if __name__ == "__main__":
    main()
