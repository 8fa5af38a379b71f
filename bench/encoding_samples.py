"""Subtitle files in legacy encodings whose true text is known, for bench/encodings.py.

Real dialogue in each language is encoded into SubRip files of 5, 20 and 200 cues
(short files are where detectors fail); the corpus's real legacy files come as they are.
"""

from __future__ import annotations

import codecs
import re
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "bench" / "data"
TESTS_DATA = ROOT / "tests" / "data"
CUE_COUNTS = {5: 8, 20: 4, 200: 1}  # cues per file: how many files of that length per pair

# The encodings subtitle archives hold, each with the languages written in it.
# fmt: off
ENCODINGS: dict[str, list[str]] = {
    "cp1250": ["pl", "cs", "hu"], "iso8859_2": ["cs", "pl"],
    "cp1251": ["ru"], "koi8_r": ["ru"], "iso8859_5": ["ru"],
    "cp1252": ["pt", "da", "fr"], "iso8859_1": ["pt"], "iso8859_15": ["fr"],
    "cp1253": ["el"], "iso8859_7": ["el"], "cp1254": ["tr"], "iso8859_9": ["tr"],
    "cp1255": ["he"], "iso8859_8": ["he"], "cp1256": ["ar"], "iso8859_6": ["ar"],
    "cp1257": ["lt", "lv"], "iso8859_13": ["lt"],
    "gbk": ["zh-hans"], "big5": ["zh-hant"], "shift_jis": ["ja"], "euc_jp": ["ja"], "euc_kr": ["ko"],
}
# fmt: on


@dataclass(frozen=True)
class Sample:
    name: str
    encoding: str
    group: str  # the row of the length table: "5 cues", "corpus", ...
    data: bytes
    text: str


def subrip_texts(path: Path) -> list[str]:
    """Cue texts, lines joined by newlines; number and timing lines (even malformed
    arrows such as `- >`) are told apart by their time stamps."""
    texts = []
    for block in re.split(r"\n\s*\n", path.read_text("utf-8-sig").replace("\r\n", "\n")):
        lines = [line for line in block.split("\n") if line.strip()]
        text = [line for line in lines if not line.strip().isdigit() and not re.search(r"\d+:\d+:\d+", line)]
        if text:
            texts.append("\n".join(text))
    return texts


def ass_texts(path: Path, style: str) -> list[str]:
    """Dialogue texts of one style, override blocks removed and \\N as a line break."""
    texts = []
    for line in path.read_text("utf-8-sig").splitlines():
        if line.startswith("Dialogue:"):
            fields = line.split(",", 9)
            text = re.sub(r"\{[^}]*\}", "", fields[9]).replace("\\N", "\n").strip()
            if fields[3] == style and text:
                texts.append(text)
    return texts


def dialogue(language: str) -> list[str]:
    if language == "pt":
        return ass_texts(DATA / "toki-wo-kakeru-shoujo-movie-pt.ass", "Default")
    if language == "da":
        return subrip_texts(TESTS_DATA / "y_danish-bom.srt")
    if language == "fr":
        return subrip_texts(TESTS_DATA / "y_mentalist-fr-broken-arrows.srt")
    if language == "ru":
        return subrip_texts(DATA / "russian-bom.srt")
    return (DATA / "dialogue" / f"{language}.txt").read_text("utf-8").splitlines()


def round_trips(text: str, encoding: str) -> bool:
    """Whether the encoding holds the text, so that the true guess decodes it back exactly."""
    return text.encode(encoding, "replace").decode(encoding) == text


def subrip(texts: list[str]) -> str:
    def stamp(ms: int) -> str:
        return f"{ms // 3_600_000:02}:{ms // 60_000 % 60:02}:{ms // 1000 % 60:02},{ms % 1000:03}"

    cues = []
    for number, text in enumerate(texts, 1):
        start = number * 3000
        cues.append(f"{number}\r\n{stamp(start)} --> {stamp(start + 2500)}\r\n" + text.replace("\n", "\r\n") + "\r\n")
    return "\r\n".join(cues)


def generated_samples() -> list[Sample]:
    """Files of each length taken at evenly spaced places in the dialogue, which
    repeats when it is shorter than the file (subtitles repeat themselves too)."""
    samples = []
    for encoding, languages in ENCODINGS.items():
        for language in languages:
            pool = [text for text in dialogue(language) if round_trips(text, encoding)]
            for cues, files in CUE_COUNTS.items():
                for index in range(files):
                    start = index * len(pool) // files
                    text = subrip([pool[(start + i) % len(pool)] for i in range(cues)])
                    name = f"{encoding} {language} {cues} cues #{index + 1}"
                    samples.append(Sample(name, encoding, f"{cues} cues", text.encode(encoding), text))
    return samples


def corpus_samples(corpus: Path) -> list[Sample]:
    """The real legacy files; the largest is read from the corpus in place, when it is there."""
    files = [
        (TESTS_DATA / "y_yyh-08-pt-cp1252-gap.srt", "cp1252"),
        # Its UTF-8 BOM lies: a detector would be asked about the bytes after it.
        (TESTS_DATA / "y_db10-bom-but-cp1252.ssa", "cp1252"),
        (DATA / "russian-cp1251.srt", "cp1251"),
        (corpus / "arquivos-de-fansubs" / "inuyasha-movie4-pt-cp1252.ssa", "cp1252"),
    ]
    samples = []
    for path, encoding in files:
        if not path.is_file():
            print(f"not found, left out: {path}")
            continue
        data = path.read_bytes().removeprefix(codecs.BOM_UTF8)
        samples.append(Sample(path.name, encoding, "corpus", data, data.decode(encoding)))
    return samples
