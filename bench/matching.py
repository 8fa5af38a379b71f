"""Times word lists whose rules match most lines: honorifics and names, sound tags and
punctuation clean-ups, rules that add or remove lines, on files where most cues match.

    .venv/bin/python bench/matching.py [--repeats N]

Targets, printed beside each figure: `apply` and `apply_many` on matching texts at
least 5x Python's re with the patterns compiled beforehand (same rules, same order),
and each of the four file jobs at least 30x pysubs2 + re on a first call in a fresh
process. Files of 2, 10, 200 and 2,000 cues; dialogue with typographic quotes. Last,
`\bHi\b` on one-line texts of 1 to 8 MB (the film's dialogue, a greeting on every
line): its CPU time a MB must stay flat as the text grows.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import inputs
import peer
from word_lists import FIRST_CALL, JOBS, seconds, verdict

from c_quorvant import WordList

CUE_COUNTS = [2, 10, 200, 2000]
# Most lines get a name with an honorific, many a sound tag, some a stray space or an
# ellipsis: every rule below has work on a good share of the lines.
NAMES = ["Taro-kun", "Aoi-san", "Mika-chan", "Kenji-sama", "Hana-senpai", "Yui-chan", "onee-san", "Sensei"]
SOUND_TAGS = ["[door slams] ", "(SIGHS) ", "[laughing] ", "(MUSIC PLAYING) ", "\u266a "]
TAILS = [" ...", "!", " ?", "\u2026", ", right?", " \u201cno way\u201d."]

# Real clean-ups, ECMAScript replacements; the peer applies them in the same order.
RULES = {
    "(\\w+)-(san|kun|chan|sama|senpai)\\b": "$1",
    "\\bonee-san\\b": "big sister",
    "\\bsensei\\b": "teacher",
    "\\bTaro\\b": "Tarou",
    "\\b(Aoi|Mika|Kenji|Hana|Yui)\\b": "$1",
    "\\[[^\\]]*\\]\\s*": "",
    "\\([A-Z ]+\\)\\s*": "",
    "\u266a\\s*": "",
    "\\s+([,.!?])": "$1",
    "\\.\\.\\.": "\u2026",
    "  +": " ",
    "^- ": "\u2013 ",
    "\\\\N": " ",
    "([.!?]) - ": "$1\\N- ",
    "\u201c([^\u201d]*)\u201d": "\u00ab$1\u00bb",
    "\\bgonna\\b": "going to",
}


def first_call_cpu(side: str, pass_name: str, subfile: str, words: str) -> float:
    """CPU seconds of the job's first call in a fresh interpreter (all its threads), `side`
    a key of word_lists.JOBS: on a shared machine the wall clock mostly measures the
    neighbours."""
    imports, call = JOBS[side]
    code = FIRST_CALL.format(
        here=str(Path(__file__).resolve().parent),
        imports=imports,
        call=call.format(pass_name=pass_name, subfile=subfile, words=words),
    ).replace("time.perf_counter()", "time.process_time()")
    done = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True)
    return float(done.stdout.split()[-1])


def dialogue(text: str, rng: random.Random) -> str:
    if rng.random() < 0.9:
        text = f"{rng.choice(NAMES)}, {text}"
    if rng.random() < 0.5:
        text = rng.choice(SOUND_TAGS) + text
    if rng.random() < 0.5:
        text += rng.choice(TAILS)
    return text


def write_files(cues: int, rng: random.Random, cue_text=dialogue) -> tuple[str, str]:
    """An ASS and a SubRip file of `cues` matching cues, from the benchmark's films;
    `cue_text` makes a cue's text match."""
    ass = inputs.ass_file(cues, rng).split(b"\r\n")
    for index, line in enumerate(ass):
        if line.startswith(b"Dialogue:"):
            fields = line.split(b",", 9)
            fields[9] = cue_text(fields[9].decode("utf-8"), rng).encode("utf-8")
            ass[index] = b",".join(fields)
    srt = inputs.srt_file(cues, rng).split(b"\n\n")
    for index, block in enumerate(srt):
        lines = block.split(b"\n")
        if len(lines) > 2:
            lines[2] = cue_text(lines[2].decode("utf-8", "replace"), rng).encode("utf-8")
        srt[index] = b"\n".join(lines)
    names = (f"matching-{cues}.ass", f"matching-{cues}.srt")
    Path(names[0]).write_bytes(b"\r\n".join(ass))
    Path(names[1]).write_bytes(b"\n\n".join(srt))
    return names


def texts_of(ass_name: str) -> list[str]:
    return [
        line.split(",", 9)[-1]
        for line in Path(ass_name).read_text(encoding="utf-8").splitlines()
        if line.startswith("Dialogue:")
    ]


def compare_with_re(label: str, words_file: str, texts: list[str], repeats: int, unicode: bool = False) -> None:
    words = WordList(json.loads(Path(words_file).read_text(encoding="utf-8")))
    compiled = peer._rules(words_file)
    words.apply(texts[0], unicode=unicode)
    changed = sum(peer._rewrite(text, compiled) != text for text in texts)
    apply_each = seconds(lambda: [words.apply(text, unicode=unicode) for text in texts], repeats) / len(texts)
    many_each = seconds(lambda: words.apply_many(texts, unicode=unicode), repeats) / len(texts)
    re_each = seconds(lambda: [peer._rewrite(text, compiled) for text in texts], 3) / len(texts)
    print(f"{label}: {len(texts):,} texts, {changed / len(texts):.0%} changed by re; re {re_each * 1e6:.1f} us a text")
    mode = " unicode=True" if unicode else ""
    for name, each in (("apply", apply_each), ("apply_many", many_each)):
        print(
            f"  {name}{mode}: {each * 1e6:.2f} us a text = {re_each / each:.1f}x re "
            f"(target 5x: {verdict(re_each >= 5 * each)})"
        )


def first_call_medians(api_side: str, pass_name: str, subfile: str, words: str) -> tuple[float, float]:
    """Median CPU seconds of five first calls each, the API (`api_side` of
    word_lists.JOBS) and pysubs2 + re taking turns."""
    runs = [
        (first_call_cpu(api_side, pass_name, subfile, words), first_call_cpu("peer", pass_name, subfile, words))
        for _ in range(5)
    ]
    return statistics.median(run[0] for run in runs), statistics.median(run[1] for run in runs)


LONG_LINE_MB = [1, 2, 4, 8]
# The time a MB may grow from the shortest text to the longest.
LONG_LINE_SLACK = 1.5


def cpu_seconds(run, *args) -> float:
    start = time.process_time()
    run(*args)
    return time.process_time() - start


def long_line(megabytes: int) -> str:
    """The film's dialogue on one line, every line greeted, cut to `megabytes` MB."""
    lines = [
        line.decode("utf-8", "replace")
        for block in inputs.SRT_SOURCE.read_bytes().strip().split(b"\n\n")
        for line in block.split(b"\n")[2:]
    ]
    # In lower case, as a lyrics file or a transcript may be: PCRE2 10.42's interpreter
    # looked for the missing capital I to the end of the text at every match.
    text = " ".join(f"hi {line.lower()}" for line in lines)
    return (text * (megabytes * 1_000_000 // len(text) + 1))[: megabytes * 1_000_000]


def print_long_lines() -> None:
    """Each text meets a new list, so that its rule is in its first text, as in a
    file of one long cue."""
    print(
        f"\nOne-line texts, \\bHi\\b (median CPU seconds of three applies, each by a new list; "
        f"target: per MB within {LONG_LINE_SLACK}x):"
    )
    pattern = re.compile(r"\bHi\b", re.IGNORECASE)
    per_mb = []
    for megabytes in LONG_LINE_MB:
        text = long_line(megabytes)
        ours = statistics.median(cpu_seconds(WordList({"\\bHi\\b": "Hello"}).apply, text) for _ in range(3))
        theirs = statistics.median(cpu_seconds(pattern.sub, "Hello", text) for _ in range(3))
        per_mb.append(ours / megabytes)
        print(f"  {megabytes} MB: {ours:.3f} s ({ours / megabytes * 1e3:.1f} ms a MB), re {theirs:.3f} s")
    flat = max(per_mb) <= LONG_LINE_SLACK * min(per_mb)
    print(f"  per MB, longest against shortest: {per_mb[-1] / per_mb[0]:.2f}x ({verdict(flat)})")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(2026)
    with tempfile.TemporaryDirectory(prefix="quorvant-bench-") as scratch:
        os.chdir(scratch)
        Path("matching.json").write_text(json.dumps(RULES, ensure_ascii=False), encoding="utf-8")
        files = {cues: write_files(cues, rng) for cues in CUE_COUNTS}
        print(f"{len(RULES)} rules that match most lines; medians\n")
        compare_with_re("Dialogue of the 2,000-cue file", "matching.json", texts_of(files[2000][0]), args.repeats)
        honorifics = {
            "(\\w+)-san": "$1",
            "(\\w+)-kun": "$1",
            "(\\w+)-chan": "$1",
            "\\bsenpai\\b": "upperclassman",
            "\\bsensei\\b": "teacher",
            "onii-chan": "big brother",
        }
        Path("honorifics.json").write_text(json.dumps(honorifics), encoding="utf-8")
        phrases = [f"{rng.choice(['Taro', 'Aoi', 'Hana'])}-{rng.choice(['san', 'kun', 'chan'])}" for _ in range(20000)]
        texts = [f"{name}, the senpai says it's fine, sensei." for name in phrases]
        compare_with_re("6 honorific rules, every text matching", "honorifics.json", texts, args.repeats)

        print("\nFirst call in a fresh process, word list read and compiled inside it (CPU time):")
        for cues in CUE_COUNTS:
            for subfile in files[cues]:
                for pass_name in ("export", "rewrite"):
                    api, other = first_call_medians("api", pass_name, subfile, "matching.json")
                    target = f" (target 30x: {verdict(other >= 30 * api)})" if cues >= 200 else ""
                    print(
                        f"  {subfile} {pass_name}: API {api * 1e3:.2f} ms, pysubs2 + re {other * 1e3:.1f} ms "
                        f"= {other / api:.0f}x{target}"
                    )
        print_long_lines()


if __name__ == "__main__":
    main()
