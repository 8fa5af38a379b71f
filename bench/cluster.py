"""Times `quorvant rewrite` on a tree locally (-j N) and on a LocalCluster of N
single-threaded worker processes, and checks that both write the same bytes.

    .venv/bin/python bench/cluster.py [--workers 2] [--rounds 3]

Two trees: a season of ordinary files (ASS episodes, SubRip files of 200, 10 and 2
cues in several code pages, with typographic quotes) and an archive of tiny files
(2 cues each). The runs take turns; the median of the rounds is kept. The cluster
is started, and one run made on it, before the clock starts: its workers outlive a
run, as a real cluster's do.
"""

from __future__ import annotations

import argparse
import json
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import encoding_samples
import inputs

# Season: cluster at most 1.3x local; tiny files: at most 2x.
LIMITS = {"season": 1.3, "tiny": 2.0}
# Each code page with a language written in it; utf-8 for the typographic quotes of modern files.
CODE_PAGES = [
    ("cp1252", "pt"),
    ("cp1251", "ru"),
    ("cp1250", "pl"),
    ("shift_jis", "ja"),
    ("gbk", "zh-hans"),
    ("utf-8", "fr"),
]
EXTRA_RULES = {
    "“": '"',  # typographic quotes, in most files; ASCII fits every code page
    "”": '"',
    "([.!?…])$": "$1",  # fires on most lines
    "\\n": " ",  # removes a SubRip cue's line breaks
    ", ": ",\\n",  # and adds some
}


def quoted(texts: list[str], rng: random.Random) -> list[str]:
    return [f"“{text}”" if rng.random() < 0.3 else text for text in texts]


def subrip_file(language: str, encoding: str, cues: int, rng: random.Random) -> bytes:
    pool = [
        text
        for text in quoted(encoding_samples.dialogue(language), rng)
        if encoding_samples.round_trips(text, encoding)
    ]
    start = rng.randrange(len(pool))
    return encoding_samples.subrip([pool[(start + i) % len(pool)] for i in range(cues)]).encode(encoding)


def season(root: Path, rng: random.Random) -> None:
    for episode in range(1, 25):
        folder = root / f"e{episode:02}"
        folder.mkdir(parents=True)
        (folder / "main.ass").write_bytes(inputs.ass_file(400, rng))
        (folder / "main.srt").write_bytes(inputs.srt_file(200, rng))
        for encoding, language in CODE_PAGES:
            for cues in (2, 10, 200):
                (folder / f"{language}-{cues}.srt").write_bytes(subrip_file(language, encoding, cues, rng))


def tiny(root: Path, rng: random.Random) -> None:
    for index in range(1000):
        folder = root / f"d{index // 100}"
        folder.mkdir(parents=True, exist_ok=True)
        encoding, language = CODE_PAGES[index % len(CODE_PAGES)]
        (folder / f"{index:04}.srt").write_bytes(subrip_file(language, encoding, 2, rng))


def word_list(root: Path) -> Path:
    lines = inputs.dialogue_texts(inputs.ass_file(400, random.Random(1)), inputs.srt_file(200, random.Random(1)))
    path = root / "words.json"
    path.write_text(json.dumps({**inputs.word_list(200, lines), **EXTRA_RULES}, ensure_ascii=False), "utf-8")
    return path


def run(tree: Path, words: Path, where: list[str]) -> float:
    started = time.perf_counter()
    done = subprocess.run(
        [sys.executable, "-P", "-m", "c_quorvant", "rewrite", str(tree), "-r", "-q", "-w", str(words), *where],
        capture_output=True,
        text=True,
    )
    took = time.perf_counter() - started
    if done.returncode != 0:
        raise SystemExit(f"{' '.join(where)} on {tree.name} failed: {done.stderr}")
    return took


def outputs(tree: Path) -> dict[str, bytes]:
    return {str(path.relative_to(tree)): path.read_bytes() for path in sorted(tree.rglob("[[]Quorvanted] *"))}


def main() -> None:
    import distributed

    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    with (
        tempfile.TemporaryDirectory() as scratch,
        distributed.LocalCluster(
            n_workers=args.workers, threads_per_worker=1, processes=True, host="127.0.0.1", dashboard_address=None
        ) as cluster,
    ):
        root = Path(scratch)
        words = word_list(root)
        places = {"local": ["-j", str(args.workers)], "cluster": ["--scheduler", cluster.scheduler_address]}
        print(f"{args.workers} worker processes each way; median of {args.rounds} rounds, whole command, in s")
        print("| tree | files | local | cluster | cluster ÷ local | target |")
        print("|---|---|---|---|---|---|")
        met = True
        for name, build in (("season", season), ("tiny", tiny)):
            trees = {where: root / name / where for where in places}
            for where, tree in trees.items():
                build(tree, random.Random(2026))
                run(tree, words, places[where])  # the cluster's workers start their children
            times: dict[str, list[float]] = {where: [] for where in places}
            for _ in range(args.rounds):
                for where, tree in trees.items():
                    times[where].append(run(tree, words, places[where]))
            if outputs(trees["local"]) != outputs(trees["cluster"]):
                raise SystemExit(f"{name}: the cluster's outputs differ from the local run's")
            local, remote = (statistics.median(times[where]) for where in places)
            files = sum(1 for path in trees["local"].rglob("*.*") if not path.name.startswith("["))
            ratio = remote / local
            met &= ratio <= LIMITS[name]
            verdict = "met" if ratio <= LIMITS[name] else "MISSED"
            print(f"| {name} | {files} | {local:.2f} | {remote:.2f} | {ratio:.2f}x | ≤ {LIMITS[name]}x {verdict} |")
            shutil.rmtree(root / name)
    sys.exit(0 if met else 1)


if __name__ == "__main__":
    main()
