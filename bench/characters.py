"""Times character-wise rules (unicode=True) on dialogue that is not ASCII: typographic
quotes and apostrophes, accented names, an ellipsis or a no-break space in most lines;
honorific, quote and punctuation rules that fire on most lines, and rules that add or
remove line breaks.

    .venv/bin/python bench/characters.py [--repeats N]

Run it with another build's interpreter (its own .venv) to compare builds: it uses the
public API only. Prints `apply` and `apply_many` on 20,000 matching texts against
Python's re (Unicode-aware, the patterns compiled beforehand, same rules, same order),
and the four file jobs' first call in a fresh process on files of 2, 10, 200 and 2,000
cues against pysubs2 + re.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import tempfile
from pathlib import Path

import matching

NAMES = ["Zo\u00e9-san", "H\u00e9l\u00e8ne-chan", "Jos\u00e9-kun", "Chlo\u00e9-senpai", "Ren\u00e9e", "Taro-kun"]
OPENINGS = ["\u201cWait", "Don\u2019t go", "\u00c7a va", "It\u2019s the sensei", "No\u00ebl said \u201cno\u201d"]
TAILS = ["\u2026", " !", " ...", "\u00a0?", ", right\u2019s?", ". - Why?", "\u201d"]

RULES = {
    "(\\w+)-(san|kun|chan|sama|senpai)\\b": "$1",
    "\\bsensei\\b": "teacher",
    "\\b(Zo\u00e9|H\u00e9l\u00e8ne|Jos\u00e9|Chlo\u00e9|Ren\u00e9e)\\b": "$1",
    "\u201c([^\u201d]*)\u201d": "\u00ab$1\u00bb",
    "[\u2018\u2019]": "'",
    "\\s+([,.!?\u2026])": "$1",
    "\\.\\.\\.": "\u2026",
    "\\[[^\\]]*\\]\\s*": "",
    "  +": " ",
    "^- ": "\u2013 ",
    "\\\\N": " ",
    "([.!?]) - ": "$1\\N- ",
    "\\bdon't\\b": "do not",
    "\u00e7a va": "fine",
}


def line(rng: random.Random) -> str:
    text = f"{rng.choice(OPENINGS)}, {rng.choice(NAMES)}{rng.choice(TAILS)}"
    if rng.random() < 0.3:
        text = "[sighs] " + text
    if rng.random() < 0.3:
        text += "\\N- " + rng.choice(OPENINGS) + rng.choice(TAILS)
    return text


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(2026)
    with tempfile.TemporaryDirectory(prefix="quorvant-bench-") as scratch:
        os.chdir(scratch)
        Path("characters.json").write_text(json.dumps(RULES, ensure_ascii=False), encoding="utf-8")
        texts = [line(rng) for _ in range(20000)]
        print(f"{len(RULES)} character-wise rules that match most lines; medians\n")
        matching.compare_with_re("Dialogue", "characters.json", texts, args.repeats, unicode=True)
        print("\nFirst call in a fresh process, unicode=True, word list read and compiled inside it (CPU time):")
        for cues in matching.CUE_COUNTS:
            for subfile in matching.write_files(cues, rng, lambda text, rng: f"{line(rng)} {text}"):
                for pass_name in ("export", "rewrite"):
                    api, other = matching.first_call_medians("api-unicode", pass_name, subfile, "characters.json")
                    print(
                        f"  {subfile} {pass_name}: API {api * 1e3:.2f} ms, pysubs2 + re {other * 1e3:.1f} ms "
                        f"= {other / api:.1f}x"
                    )


if __name__ == "__main__":
    main()
