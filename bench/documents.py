"""Times the public API, which rewrites a file as a document (its bytes and the spans of
its dialogue), against the module's passes, and prints each target beside its figure.

    .venv/bin/python bench/documents.py [--rounds N] [--repeats N] [--large-mb N]

1. rewrite and export through the API within 1.1x of the module's pass on the same file
   (overwrite_subs, modify_subs_py), on the benchmark's ASS and SubRip files, with 200
   honorific-style rules and with an empty word list;
2. SubRip at most 0.75x of ASS through the API, on the same dialogue, empty word list;
3. a one-cue SubRip file of --large-mb MB through the API, empty word list: its time, and
   peak memory above the interpreter's baseline under 2x the file size;
4. the rewrite of the SubRip file's dialogue as SAMI, TTML, MicroDVD and MPL2 through the
   API at most 1.5x the SubRip rewrite, with the 200 rules and with an empty word list.

--only N runs measurement N alone.

Every figure comes from fresh interpreters (module_worker.py); the two sides of a ratio
take turns, so that both see the same load, and their medians are compared. Times are
the process's CPU time, which a machine shared with other work disturbs far less than
the wall clock; it counts every thread, the large-stack one a long text needs included.
"""

from __future__ import annotations

import argparse
import os
import statistics
import tempfile
from pathlib import Path

import inputs
from run import EVENTS, worker

RULES = 200
API_LIMIT = 1.1
SUBRIP_LIMIT = 0.75
MEMORY_LIMIT = 2.0
FORMATS_LIMIT = 1.5
FORMAT_FILES = {"SAMI": "bench.smi", "TTML": "bench.ttml", "MicroDVD": "bench.sub", "MPL2": "bench.txt"}
PASSES = ("rewrite", "export")


def verdict(met: bool) -> str:
    return "met" if met else "NOT MET"


def in_turns(
    base: tuple[str, str], other: tuple[str, str], pass_name: str, words: str, rounds: int, repeats: int
) -> tuple[float, float]:
    """The median seconds of two sides, each (extension, subfile) as module_worker.py takes
    them. The order flips every round, so neither side always runs first."""
    times: dict[tuple[str, str], list[float]] = {base: [], other: []}
    order = [base, other]
    for _ in range(rounds):
        for extension, subfile in order:
            times[(extension, subfile)] += worker("cpu", extension, pass_name, subfile, words, str(repeats))
        order.reverse()
    return statistics.median(times[base]), statistics.median(times[other])


def ratio_line(label: str, base: float, other: float, limit: float) -> tuple[str, bool]:
    """`label`, both medians in ms, and their ratio beside its target."""
    met = other / base <= limit
    return f"{label} {base * 1e3:>7.2f} {other * 1e3:>7.2f} {other / base:>5.2f}x  {verdict(met)}", met


def print_api_against_module(words: dict[int, str], rounds: int, repeats: int) -> bool:
    print(
        f"API against the module's pass, same file ({EVENTS:,} events or cues; median CPU ms; target <= {API_LIMIT}x):"
    )
    print(f"{'file':<10} {'rules':>5} {'pass':<8} {'module':>7} {'API':>7} {'ratio':>6}")
    all_met = True
    for subfile in ("bench.ass", "bench.srt"):
        for size, word_file in words.items():
            for pass_name in PASSES:
                module, api = in_turns(("installed", subfile), ("api", subfile), pass_name, word_file, rounds, repeats)
                line, met = ratio_line(f"{subfile:<10} {size:>5} {pass_name:<8}", module, api, API_LIMIT)
                print(line)
                all_met &= met
    return all_met


def print_subrip_against_ass(rounds: int, repeats: int) -> bool:
    print(
        f"\nSubRip against ASS through the API, the same {EVENTS:,} dialogue texts, empty word list"
        f" (median CPU ms; target <= {SUBRIP_LIMIT}x):"
    )
    print(f"{'pass':<8} {'ASS':>7} {'SRT':>7} {'ratio':>6}")
    all_met = True
    for pass_name in PASSES:
        ass, srt = in_turns(
            ("api", "bench.ass"), ("api", "ass-dialogue.srt"), pass_name, "words-0.json", rounds, repeats
        )
        line, met = ratio_line(f"{pass_name:<8}", ass, srt, SUBRIP_LIMIT)
        print(line)
        all_met &= met
    return all_met


def print_formats_against_subrip(words: dict[int, str], rounds: int, repeats: int) -> bool:
    print(
        f"\nThe other formats against SubRip through the API, the same {EVENTS:,} cues' dialogue, rewrite"
        f" (median CPU ms; target <= {FORMATS_LIMIT}x):"
    )
    print(f"{'format':<9} {'rules':>5} {'SRT':>7} {'other':>7} {'ratio':>6}")
    all_met = True
    for label, subfile in FORMAT_FILES.items():
        for size, word_file in words.items():
            srt, other = in_turns(("api", "bench.srt"), ("api", subfile), "rewrite", word_file, rounds, repeats)
            line, met = ratio_line(f"{label:<9} {size:>5}", srt, other, FORMATS_LIMIT)
            print(line)
            all_met &= met
    return all_met


def print_one_cue(megabytes: int) -> bool:
    size = inputs.write_one_cue_srt(Path("one-cue.srt"), megabytes)
    print(
        f"\nOne SubRip cue of {size / 1e6:.1f} MB, empty word list (median CPU seconds of 3 runs; peak memory"
        f" above the interpreter's baseline, target < {MEMORY_LIMIT}x the file size):"
    )
    all_met = True
    for pass_name in PASSES:
        for extension, face in (("api", "API"), ("installed", "module")):
            seconds = statistics.median(worker("cpu", extension, pass_name, "one-cue.srt", "words-0.json", "3"))
            growth = worker("memory", extension, pass_name, "one-cue.srt", "words-0.json")
            multiple = growth / size
            # The module's figure is there to compare with; the target is the API's.
            met = f"  {verdict(multiple < MEMORY_LIMIT)}" if extension == "api" else ""
            if extension == "api":
                all_met &= multiple < MEMORY_LIMIT
            print(f"  {pass_name:<8} {face:<6} {seconds:.2f} s; peak {growth / 1e6:.0f} MB = {multiple:.2f}x{met}")
    return all_met


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=10, help="turns of each side of a ratio")
    parser.add_argument("--repeats", type=int, default=11, help="runs of a pass in each turn")
    parser.add_argument("--large-mb", type=int, default=50, help="size of the one-cue file; 0 skips it")
    parser.add_argument("--only", type=int, choices=(1, 2, 3, 4), help="run this measurement alone")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvant-documents-") as scratch:
        os.chdir(scratch)
        words = inputs.write_inputs(Path(scratch), [RULES], EVENTS)
        Path("words-0.json").write_text("{}", encoding="utf-8")
        both = {RULES: words[str(RULES)], 0: "words-0.json"}
        measurements = {
            1: lambda: print_api_against_module(both, args.rounds, args.repeats),
            2: lambda: print_subrip_against_ass(args.rounds, args.repeats),
            3: lambda: print_one_cue(args.large_mb) if args.large_mb else True,
            4: lambda: print_formats_against_subrip(both, args.rounds, args.repeats),
        }
        results = [run() for number, run in measurements.items() if args.only in (None, number)]
        print(f"\nevery target met: {'yes' if all(results) else 'NO'}")


if __name__ == "__main__":
    main()
