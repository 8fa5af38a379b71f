"""How often a file's text encoding is read right, and what deciding it costs.

    .venv/bin/python bench/encodings.py [--half tuning|validation] [--list misses|all] [--corpus DIR]
    .venv/bin/python bench/encodings.py --first-call
    .venv/bin/python bench/encodings.py --passes [--repeats N]

The files come from encoding_samples.py (text from faker, babel's CLDR data and
wordfreq in every legacy page a family of languages is written in), split by a fixed
seed into a tuning half and a validation half. Each file goes through the whole choice
(c_quorvant/text_encoding.py), and through each detector alone (its answer decoded
strictly). A file is read right when the text the passes get is its true text; a file
joined from two encodings when it is reported below confidence 0.5, which no detector
alone can do.

--first-call times, in fresh processes, the import and the first choice that needs
the quick detectors, and the first that needs all four. With --passes it times instead the API's
passes on 2,000 cues (and events) of Russian in cp1251 and of English with typographic
quotes in cp1252, against the same texts in UTF-8: CPU time of this process (the native
calls' threads included), the two files taking turns, medians. Target: the legacy file
within 1.5x of its UTF-8 twin.
"""

from __future__ import annotations

import argparse
import statistics
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from dataclasses import dataclass
from importlib import metadata
from pathlib import Path

from encoding_samples import ROOT, Sample, corpus_samples, dialogue, generated_samples, quoted, round_trips, subrip

from c_quorvant import WordList, export, rewrite, text_encoding
from c_quorvant.text_encoding import DETECTORS, GUESSED, choose


@dataclass(frozen=True)
class Reading:
    encoding: str | None
    confidence: float  # the project's; 1.0 for a detector alone, which reports none that the project uses
    right: bool
    seconds: float


def is_right(sample: Sample, native: str | None, confidence: float) -> bool:
    if sample.group == "joined":
        return confidence < GUESSED
    if native is None:
        return False
    # A UTF-8 file whose only non-ASCII byte is the stray one is a cp1252 file as much.
    return native in (sample.text, sample.text.replace("\udc92", "’").replace("\udc85", "…"))


def project(sample: Sample) -> Reading:
    start = time.perf_counter()
    decoding = choose(sample.data)
    native = None if decoding.encoding is None else decoding.to_native(sample.data)
    seconds = time.perf_counter() - start
    text = None if native is None else native.decode("utf-8", "surrogateescape")
    return Reading(decoding.encoding, decoding.confidence, is_right(sample, text, decoding.confidence), seconds)


def alone(name: str) -> Callable[[Sample], Reading]:
    detector = DETECTORS[name]

    def read(sample: Sample) -> Reading:
        start = time.perf_counter()
        answer = detector(sample.data)
        try:
            text = None if answer is None else sample.data.decode(text_encoding.text_codec(answer))
        except (ValueError, UnicodeDecodeError):
            text = None
        seconds = time.perf_counter() - start
        right = sample.group != "joined" and is_right(sample, text, 1.0)
        return Reading(answer, 1.0, right, seconds)

    return read


def score(readings: list[Reading]) -> str:
    return f"{sum(r.right for r in readings)}"


def percent(readings: list[Reading]) -> str:
    return f"{100 * sum(r.right for r in readings) / len(readings):.1f}"


def sure_misses(readings: list[Reading]) -> str:
    return str(sum(not r.right and r.confidence >= GUESSED for r in readings))


def median_ms(readings: list[Reading]) -> str:
    return f"{1000 * statistics.median(r.seconds for r in readings):.2f}"


Summary = Callable[[list[Reading]], str]


def print_table(heading: str, rows: list[tuple[str, list[int], Summary]], results: dict[str, list[Reading]]) -> None:
    width = max(len(name) for name in results) + 2
    print(f"{heading:<30}{'files':>6}" + "".join(f"{name:>{width}}" for name in results))
    for label, indexes, summary in rows:
        if indexes:
            cells = "".join(f"{summary([readings[i] for i in indexes]):>{width}}" for readings in results.values())
            print(f"{label:<30}{len(indexes):>6}{cells}")
    print()


FIRST_CALL = """
import sys, time
start = time.perf_counter()
from c_quorvant.text_encoding import choose
decoding = choose(open(sys.argv[1], "rb").read())
print(f"{1000 * (time.perf_counter() - start):.1f} {decoding.encoding} {decoding.confidence}")
"""


def first_calls(samples: list[Sample]) -> None:
    """A fresh process's first choice: a long file (the quick detectors) and a short one (all four)."""
    with tempfile.TemporaryDirectory() as directory:
        for label, sample in (
            ("clear", next(s for s in samples if s.group == "200 cues" and s.encoding == "cp1251")),
            ("short, all four detectors", next(s for s in samples if s.group == "1 cue" and s.encoding == "cp1252")),
        ):
            path = Path(directory) / "ep.srt"
            path.write_bytes(sample.data)
            runs = [
                subprocess.run(
                    [sys.executable, "-c", FIRST_CALL, path], capture_output=True, text=True, check=True
                ).stdout.split()
                for _ in range(5)
            ]
            median = statistics.median(float(run[0]) for run in runs)
            print(f"first call, {label} ({sample.name}: {runs[0][1]} {runs[0][2]}): median of 5 {median:.1f} ms")


# Rules that fire on most lines, and rules that add and remove lines.
PASS_RULES = {"\\bi\\b": "I", " ": "  ", "([.!?])$": "$1\n—", "\n-": " -", "о": "0", "e": "E"}
LEGACY_LIMIT = 1.5


def ass_document(texts: list[str]) -> str:
    header = "[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
    header += "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
    lines = [f"Dialogue: 0,0:00:{i % 60:02}.00,0:00:{i % 60:02}.50,Default,,0,0,0,,{t}" for i, t in enumerate(texts)]
    return header + "\r\n".join(line.replace("\n", "\\N") for line in lines) + "\r\n"


def time_passes(repeats: int) -> None:
    words = WordList(PASS_RULES)
    sets = {
        "ru cp1251": ("cp1251", [t for t in dialogue("ru") if round_trips(t, "cp1251")]),
        "en cp1252": ("cp1252", [t for t in [quoted(t) for t in dialogue("en")]]),
    }
    print(f"{'file':<10} {'format':<6} {'pass':<8} {'UTF-8 ms':>9} {'legacy ms':>10} {'ratio':>6}")
    with tempfile.TemporaryDirectory() as directory:
        folder = Path(directory)
        for label, (encoding, pool) in sets.items():
            texts = [pool[i % len(pool)] for i in range(2000)]
            for ending, document in ((".srt", subrip(texts)), (".ass", ass_document(texts))):
                paths = {}
                for name, codec in (("utf8", "utf-8"), ("legacy", encoding)):
                    paths[name] = folder / f"{label.replace(' ', '-')}-{name}{ending}"
                    paths[name].write_bytes(document.encode(codec))
                for name, run in (("export", export), ("rewrite", rewrite)):
                    times: dict[str, list[float]] = {"utf8": [], "legacy": []}
                    for round_ in range(repeats):
                        for side in ("utf8", "legacy") if round_ % 2 else ("legacy", "utf8"):
                            start = time.process_time()
                            result = run(paths[side], words, folder / f"out-{side}")
                            times[side].append(time.process_time() - start)
                            assert side == "utf8" or result.encoding == encoding, result
                    utf8, legacy = (statistics.median(times[side]) for side in ("utf8", "legacy"))
                    met = "met" if legacy <= LEGACY_LIMIT * utf8 else "NOT MET"
                    print(
                        f"{label:<10} {ending[1:]:<6} {name:<8} {1000 * utf8:>9.2f} {1000 * legacy:>10.2f} "
                        f"{legacy / utf8:>5.2f}x {met}"
                    )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--half", choices=["tuning", "validation"], default="validation")
    parser.add_argument("--list", choices=["misses", "all"], default="misses", help="files to list")
    parser.add_argument("--corpus", type=Path, default=ROOT.parent / "shared" / "corpus", help="the shared corpus")
    parser.add_argument("--repeats", type=int, default=5, help="runs of each pass (--passes)")
    parser.add_argument("--passes", action="store_true", help="time legacy files' passes against UTF-8 instead")
    parser.add_argument("--first-call", action="store_true", help="time a fresh process's first choice instead")
    args = parser.parse_args()
    if args.passes:
        time_passes(max(args.repeats, 5))
        return
    everything = generated_samples() + corpus_samples(args.corpus)
    if args.first_call:
        first_calls(everything)
        return
    samples = [sample for sample in everything if sample.validation == (args.half == "validation")]
    print(f"{len(samples)} files of {len(everything)}, the {args.half} half")
    print(
        f"versions: chardet {metadata.version('chardet')}, charset-normalizer {metadata.version('charset-normalizer')}"
        f", chardetng-py {metadata.version('chardetng-py')}, pycld2 {metadata.version('pycld2')}, libuchardet as "
        "Debian ships it\n"
    )
    readers = {"project": project} | {name: alone(name) for name in DETECTORS}
    for read in readers.values():  # imports and models loaded before the clock runs
        read(samples[0])
    results = {name: [read(sample) for sample in samples] for name, read in readers.items()}

    def where(key: Callable[[Sample], str]) -> list[tuple[str, list[int]]]:
        keys = dict.fromkeys(key(sample) for sample in samples)
        return [(k, [i for i, sample in enumerate(samples) if key(sample) == k]) for k in keys]

    every = ("all", list(range(len(samples))))
    families = [*where(lambda sample: sample.family), every]
    sizes = [*where(lambda sample: sample.group), every]
    print_table("read right, by family", [(k, i, score) for k, i in families], results)
    print_table("read right, by size", [(k, i, score) for k, i in sizes], results)
    print_table("read right, %", [(k, i, percent) for k, i in [*families, *sizes[:-1]]], results)
    print_table(
        "misread at confidence >= 0.5", [(k, i, sure_misses) for k, i in [every]], {"project": results["project"]}
    )
    print_table("median ms per file", [(k, i, median_ms) for k, i in sizes if k in ("2 cues", "200 cues")], results)
    doubtful = sum(r.right and r.confidence < GUESSED for r in results["project"])
    print(f"read right but reported below 0.5 (a warning on the command line): {doubtful}")
    print(f"\nfiles ({args.list}): reader, encoding read, confidence")
    for i, sample in enumerate(samples):
        if args.list == "all" or not results["project"][i].right or results["project"][i].confidence < GUESSED:
            cells = ", ".join(
                f"{n} {r[i].encoding}{'' if r[i].right else ' (wrong)'}"
                + (f" {r[i].confidence}" if n == "project" else "")
                for n, r in results.items()
            )
            print(f"  {sample.name} [{sample.encoding}]: {cells}")


if __name__ == "__main__":
    main()
