"""Compares character-set detectors on subtitle files in legacy encodings.

    .venv/bin/python bench/encodings.py [--repeats N] [--list corpus|misses|all] [--corpus DIR]

The files come from encoding_samples.py: SubRip files of 5, 20 and 200 cues of real
dialogue in 23 legacy encodings, and the corpus's real legacy files. Each detector sees
only what the decoding chain would hand it: a file that is valid UTF-8 is decided before
any detector and is left out. A guess counts as right when the file decoded with it gives
exactly the true text, so a close relative (ISO-8859-1 for cp1252) is right wherever it
decodes the same.
"""

from __future__ import annotations

import argparse
import ctypes
import ctypes.util
import importlib
import statistics
import time
from collections.abc import Callable
from dataclasses import dataclass
from functools import partial
from importlib import metadata
from pathlib import Path

from encoding_samples import ENCODINGS, ROOT, Sample, corpus_samples, generated_samples

# A name a detector gives that Python's codec registry knows under another.
NAME_ALIASES = {"mac-centraleurope": "mac_latin2"}


@dataclass(frozen=True)
class Guess:
    encoding: str | None
    confidence: float | None
    right: bool
    wrong_share: float  # of the non-ASCII characters: a sister code page garbles a few letters, others most
    seconds: float


Detector = Callable[[bytes], tuple[str | None, float | None]]


class Uchardet:
    """libuchardet through ctypes. Debian 12's version, 0.0.7, has no call that reports a confidence."""

    def __init__(self) -> None:
        path = ctypes.util.find_library("uchardet")
        if path is None:
            raise SystemExit("libuchardet is missing: apt-get install libuchardet-dev")
        lib = ctypes.CDLL(path)
        lib.uchardet_new.restype = ctypes.c_void_p
        lib.uchardet_delete.argtypes = [ctypes.c_void_p]
        lib.uchardet_handle_data.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
        lib.uchardet_data_end.argtypes = [ctypes.c_void_p]
        lib.uchardet_get_charset.argtypes = [ctypes.c_void_p]
        lib.uchardet_get_charset.restype = ctypes.c_char_p
        self.lib = lib

    def __call__(self, data: bytes) -> tuple[str | None, float | None]:
        handle = self.lib.uchardet_new()
        try:
            if self.lib.uchardet_handle_data(handle, data, len(data)) != 0:
                return None, None
            self.lib.uchardet_data_end(handle)
            name = self.lib.uchardet_get_charset(handle).decode("ascii")
        finally:
            self.lib.uchardet_delete(handle)
        return name or None, None


def python_detector(module_name: str) -> Detector:
    """chardet and charset-normalizer share the detect() of chardet's first versions."""
    module = importlib.import_module(module_name)

    def guess(data: bytes) -> tuple[str | None, float | None]:
        result = module.detect(data)
        return result["encoding"], result["confidence"]

    return guess


# Each is loaded when measured, so that its import and first call (models loaded) are timed too.
DETECTORS: dict[str, Callable[[], Detector]] = {
    "uchardet": Uchardet,
    "chardet": partial(python_detector, "chardet"),
    "charset-normalizer": partial(python_detector, "charset_normalizer"),
}


def decode(data: bytes, encoding: str) -> str | None:
    """The text, or None when the bytes are no text in that encoding or Python has no codec of that name."""
    try:
        return data.decode(NAME_ALIASES.get(encoding.lower(), encoding))
    except (LookupError, UnicodeDecodeError):
        return None


def wrong_share(sample: Sample, text: str | None) -> float:
    """A text that fails to decode or changes length loses every non-ASCII character."""
    if text is None or len(text) != len(sample.text):
        return 1.0
    wrong = sum(ours != true for ours, true in zip(text, sample.text, strict=True))
    return wrong / sum(not character.isascii() for character in sample.text)


def measure(detector: Detector, sample: Sample, repeats: int) -> Guess:
    """The guess and the least time of a few runs, so a busy moment of a shared machine counts less."""
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        encoding, confidence = detector(sample.data)
        times.append(time.perf_counter() - start)
    text = None if encoding is None else decode(sample.data, encoding)
    return Guess(encoding, confidence, text == sample.text, wrong_share(sample, text), min(times))


Summary = Callable[[list[Guess]], str]


def median_confidence(guesses: list[Guess], right: bool) -> str:
    values = [g.confidence for g in guesses if g.right == right and g.confidence is not None]
    return f"{statistics.median(values):.2f}" if values else "-"


def right_but_unsure(guesses: list[Guess]) -> str:
    values = [guess.confidence for guess in guesses if guess.right and guess.confidence is not None]
    return str(sum(value < 0.5 for value in values)) if values else "-"


def characters_wrong_in_a_miss(guesses: list[Guess]) -> str:
    shares = [guess.wrong_share for guess in guesses if not guess.right]
    return f"{100 * statistics.median(shares):.0f}" if shares else "-"


def score(guesses: list[Guess]) -> str:
    return f"{sum(guess.right for guess in guesses)}/{len(guesses)}"


def median_ms(guesses: list[Guess]) -> str:
    return f"{1000 * statistics.median(guess.seconds for guess in guesses):.2f}"


def describe(detector: str, guess: Guess) -> str:
    confidence = "-" if guess.confidence is None else f"{guess.confidence:.2f}"
    wrong = "" if guess.right else " (wrong)"
    return f"{detector} {guess.encoding}{wrong} {confidence} {1000 * guess.seconds:.2f} ms"


def print_table(heading: str, rows: list[tuple[str, list[int], Summary]], results: dict[str, list[Guess]]) -> None:
    width = max(len(name) for name in results) + 2
    print(f"{heading:<26}{'files':>6}" + "".join(f"{name:>{width}}" for name in results))
    for label, indexes, summary in rows:
        cells = "".join(f"{summary([guesses[i] for i in indexes]):>{width}}" for guesses in results.values())
        print(f"{label:<26}{len(indexes):>6}{cells}")
    print()


def print_report(samples: list[Sample], results: dict[str, list[Guess]], listed: str) -> None:
    def where(key: Callable[[Sample], str]) -> list[tuple[str, list[int]]]:
        keys = dict.fromkeys(key(sample) for sample in samples)
        return [(k, [i for i, sample in enumerate(samples) if key(sample) == k]) for k in keys]

    every = list(range(len(samples)))
    by_length = [*where(lambda sample: sample.group), ("all", every)]
    print_table("right / files", [(key, i, score) for key, i in where(lambda sample: sample.encoding)], results)
    print_table("right / files", [(key, i, score) for key, i in by_length], results)
    print_table("median ms per file", [(key, i, median_ms) for key, i in by_length], results)
    summaries: dict[str, Summary] = {
        "right, %": lambda gs: f"{100 * sum(g.right for g in gs) / len(gs):.1f}",
        "a miss: non-ASCII wrong, %": characters_wrong_in_a_miss,
        "slowest ms": lambda gs: f"{1000 * max(g.seconds for g in gs):.1f}",
        "median confidence, right": lambda gs: median_confidence(gs, True),
        "median confidence, wrong": lambda gs: median_confidence(gs, False),
        "right, confidence < 0.5": right_but_unsure,
    }
    print_table("all files", [(label, every, summary) for label, summary in summaries.items()], results)
    print(f"guesses ({listed}): detector, name, confidence, time")
    for i, sample in enumerate(samples):
        missed = not all(guesses[i].right for guesses in results.values())
        if listed == "all" or sample.group == "corpus" or (listed == "misses" and missed):
            print(f"  {sample.name} [{sample.encoding}]: " + ", ".join(describe(n, g[i]) for n, g in results.items()))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=3, help="runs per file and detector; the least time counts")
    parser.add_argument(
        "--list", choices=["corpus", "misses", "all"], default="corpus", help="the files whose guesses to list"
    )
    parser.add_argument("--corpus", type=Path, default=ROOT.parent / "shared" / "corpus", help="the shared corpus")
    args = parser.parse_args()

    generated = generated_samples()
    corpus = corpus_samples(args.corpus)
    samples = [sample for sample in generated + corpus if decode(sample.data, "utf-8") is None]
    print(
        f"{len(generated)} generated files in {len(ENCODINGS)} encodings, {len(corpus)} corpus files; "
        f"{len(generated) + len(corpus) - len(samples)} valid UTF-8, left out"
    )
    versions = ", ".join(f"{name} {metadata.version(name)}" for name in ("chardet", "charset-normalizer"))
    print(f"versions: {versions}, libuchardet as Debian ships it\n")
    results, start_ups = {}, {}
    for name, load in DETECTORS.items():
        start = time.perf_counter()
        detector = load()
        detector(samples[0].data)
        start_ups[name] = time.perf_counter() - start
        results[name] = [measure(detector, sample, args.repeats) for sample in samples]
    print_report(samples, results, args.list)
    print("start-up ms (import and first call): " + ", ".join(f"{n} {1000 * t:.1f}" for n, t in start_ups.items()))
    unknown = {g.encoding for gs in results.values() for g in gs if g.encoding and decode(b"", g.encoding) is None}
    if unknown:
        print("names without a Python codec, counted wrong: " + ", ".join(sorted(unknown)))


if __name__ == "__main__":
    main()
