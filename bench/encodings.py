"""How often a file's text encoding is read right, and what deciding it costs.

    .venv/bin/python bench/encodings.py [--repeats N] [--list corpus|misses|all] [--corpus DIR]
    .venv/bin/python bench/encodings.py --passes [--repeats N]

The files come from encoding_samples.py: SubRip files of 2, 10 and 200 cues of real
dialogue in legacy encodings (each Windows page with its own characters), ISO-2022-JP,
HZ and UTF-8 with a stray byte, and the corpus's real legacy files. Each file goes
through the whole choice (c_quorvant/text_encoding.py) with each detector in the
detector's place. A file is read right when the text the passes get is the true text:
a close relative (ISO-8859-1 for cp1252) is right wherever it decodes the same, and a
stray byte kept as it is counts as right.

With --passes it times instead the API's passes on 2,000 cues (and events) of Russian
in cp1251 and of English with typographic quotes in cp1252, against the same texts in
UTF-8: CPU time of this process (the native calls' threads included), the two files
taking turns, medians. Target: the legacy file within 1.5x of its UTF-8 twin.
"""

from __future__ import annotations

import argparse
import importlib
import statistics
import tempfile
import time
from collections.abc import Callable
from dataclasses import dataclass
from functools import partial
from importlib import metadata
from pathlib import Path

from encoding_samples import (
    ENCODINGS,
    ROOT,
    Sample,
    corpus_samples,
    dialogue,
    generated_samples,
    round_trips,
    subrip,
    typographic,
    written_in,
)

from c_quorvant import WordList, _api, export, rewrite, rewrite_bytes, text_encoding
from c_quorvant.text_encoding import Detector, choose


@dataclass(frozen=True)
class Reading:
    encoding: str | None
    confidence: float
    right: bool
    seconds: float  # the least time of the choice, decoding included


def python_detector(module_name: str) -> Detector:
    """chardet and charset-normalizer share the detect() of chardet's first versions."""
    module = importlib.import_module(module_name)
    return lambda data: module.detect(data)["encoding"]


# Each is loaded when measured, so that its import and first call (models loaded) are timed too.
DETECTORS: dict[str, Callable[[], Detector | None]] = {
    "as run": lambda: None,  # uchardet, and chardet between sister pages it can't tell apart
    "uchardet": lambda: _api.detect_charset,
    "chardet": partial(python_detector, "chardet"),
    "charset-normalizer": partial(python_detector, "charset_normalizer"),
}


def is_right(sample: Sample, data: bytes, decoding_native: bytes | None) -> bool:
    if decoding_native is None:
        return False
    text = decoding_native.decode("utf-8", "surrogateescape")
    # A UTF-8 file whose only non-ASCII byte is the stray one is a cp1252 file as much.
    return text in (sample.text, sample.text.replace("\udc92", "’").replace("\udc85", "…"))


def measure(detector: Detector | None, sample: Sample, repeats: int) -> Reading:
    times = []
    for _ in range(repeats):
        start = time.process_time()
        decoding = choose(sample.data, detect=detector)
        native = None if decoding.encoding is None else decoding.to_native(sample.data)
        times.append(time.process_time() - start)
    return Reading(decoding.encoding, decoding.confidence, is_right(sample, sample.data, native), min(times))


def pass_seconds(sample: Sample, words: WordList, repeats: int) -> float:
    """The rewrite of the file's text as UTF-8, for scale."""
    twin = sample.text.encode("utf-8", "surrogateescape")
    times = []
    for _ in range(repeats):
        start = time.process_time()
        rewrite_bytes(twin, "srt", words)
        times.append(time.process_time() - start)
    return min(times)


def bounded_sample_line(samples: list[Sample]) -> str:
    """Whether the detector's bounded sample reads the longer files as the whole file does."""
    longer = [sample for sample in samples if len(sample.data) > text_encoding.SAMPLE_BYTES]
    bounded = [choose(sample.data).encoding for sample in longer]
    whole_file = text_encoding.SAMPLE_BYTES
    text_encoding.SAMPLE_BYTES = 1 << 40
    try:
        same = sum(choose(sample.data).encoding == read for sample, read in zip(longer, bounded, strict=True))
    finally:
        text_encoding.SAMPLE_BYTES = whole_file
    return f"the detector's {whole_file}-byte sample reads {same} of {len(longer)} longer files as the whole file does"


Summary = Callable[[list[Reading]], str]


def score(readings: list[Reading]) -> str:
    return f"{sum(r.right for r in readings)}/{len(readings)}"


def percent(readings: list[Reading]) -> str:
    return f"{100 * sum(r.right for r in readings) / len(readings):.1f}"


def silent_misses(readings: list[Reading]) -> str:
    return str(sum(not r.right and r.confidence > 0 for r in readings))


def median_ms(readings: list[Reading]) -> str:
    return f"{1000 * statistics.median(r.seconds for r in readings):.3f}"


def print_table(heading: str, rows: list[tuple[str, list[int], Summary]], results: dict[str, list[Reading]]) -> None:
    width = max(len(name) for name in results) + 2
    print(f"{heading:<28}{'files':>6}" + "".join(f"{name:>{width}}" for name in results))
    for label, indexes, summary in rows:
        cells = "".join(f"{summary([readings[i] for i in indexes]):>{width}}" for readings in results.values())
        print(f"{label:<28}{len(indexes):>6}{cells}")
    print()


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
        "en cp1252": ("cp1252", [t for t in written_in("cp1252", [typographic(t) for t in dialogue("en")])]),
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
    parser.add_argument("--repeats", type=int, default=3, help="runs per file and detector; the least time counts")
    parser.add_argument("--list", choices=["corpus", "misses", "all"], default="misses", help="files to list")
    parser.add_argument("--corpus", type=Path, default=ROOT.parent / "shared" / "corpus", help="the shared corpus")
    parser.add_argument("--detectors", nargs="+", choices=list(DETECTORS), default=list(DETECTORS))
    parser.add_argument("--passes", action="store_true", help="time legacy files' passes against UTF-8 instead")
    args = parser.parse_args()
    if args.passes:
        time_passes(max(args.repeats, 5))
        return

    samples = generated_samples() + corpus_samples(args.corpus)
    print(f"{len(samples)} files in {len(ENCODINGS)} encodings and the corpus's")
    print(
        f"versions: chardet {metadata.version('chardet')}, charset-normalizer "
        f"{metadata.version('charset-normalizer')}, libuchardet as Debian ships it\n"
    )
    results, start_ups = {}, {}
    for name in args.detectors:
        start = time.perf_counter()
        detector = DETECTORS[name]()
        choose(samples[0].data, detect=detector)
        start_ups[name] = time.perf_counter() - start
        results[name] = [measure(detector, sample, args.repeats) for sample in samples]

    def where(key: Callable[[Sample], str]) -> list[tuple[str, list[int]]]:
        keys = dict.fromkeys(key(sample) for sample in samples)
        return [(k, [i for i, sample in enumerate(samples) if key(sample) == k]) for k in keys]

    by_size = [*where(lambda sample: sample.group), ("all", list(range(len(samples))))]
    print_table("read right", [(k, i, score) for k, i in where(lambda sample: sample.encoding)], results)
    print_table("read right", [(k, i, score) for k, i in by_size], results)
    print_table("read right, %", [(k, i, percent) for k, i in by_size], results)
    print_table("misread, reported above 0.0", [(k, i, silent_misses) for k, i in by_size], results)
    print_table("median ms to choose", [(k, i, median_ms) for k, i in by_size], results)
    words = WordList({"\\bi\\b": "I", "o": "0", "(\\w+)\\.": "$1!\n-"})
    for label, indexes in by_size[:-1]:
        passes = [pass_seconds(samples[i], words, args.repeats) for i in indexes if samples[i].group != "corpus"]
        if passes:
            print(f"the rewrite of the UTF-8 twin, median ms, {label}: {1000 * statistics.median(passes):.3f}")
    print(bounded_sample_line(samples))
    print("start-up ms (import and first call): " + ", ".join(f"{n} {1000 * t:.1f}" for n, t in start_ups.items()))
    print(f"\nfiles ({args.list}): detector, encoding read, confidence")
    for i, sample in enumerate(samples):
        missed = not all(readings[i].right for readings in results.values())
        if (
            args.list == "all"
            or (args.list == "corpus" and sample.group == "corpus")
            or (args.list == "misses" and missed)
        ):
            cells = ", ".join(
                f"{n} {r[i].encoding}{'' if r[i].right else ' (wrong)'} {r[i].confidence}" for n, r in results.items()
            )
            print(f"  {sample.name} [{sample.encoding}]: {cells}")


if __name__ == "__main__":
    main()
