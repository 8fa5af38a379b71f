"""Subtitle files in legacy encodings whose true text is known, for bench/encodings.py.

Real dialogue in each language is encoded into SubRip files of 2, 10 and 200 cues
(short files are where detectors fail); the corpus's real legacy files come as they are.
Files in a Windows code page hold what its writers type there: typographic quotes,
dashes and "…", and the page's own characters that its ISO or older relative lacks
(€, š in cp1250, 裏 in cp950, ① and ～ in cp932). UTF-8 files with one stray
Windows-1252 byte, ISO-2022-JP and HZ files are made the same way.
"""

from __future__ import annotations

import codecs
import re
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "bench" / "data"
TESTS_DATA = ROOT / "tests" / "data"
CUE_COUNTS = {2: 12, 10: 6, 200: 2}  # cues per file: how many files of that length per pair

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
    "cp932": ["ja"], "cp950": ["zh-hant"], "cp949": ["ko"], "cp874": ["th"], "koi8_u": ["uk"],
    "iso2022_jp": ["ja"], "hz": ["zh-hans"], "utf-8": ["pt", "ru", "ja", "en"],
}
# fmt: on
# What a Windows page's writers add that its relatives can't hold, one piece on every
# other cue; every page gets typographic quotes, dashes and "…" where it has them.
OWN_CHARACTERS: dict[str, list[str]] = {
    "cp1252": ["20 €", "Œuvre"],
    "cp1250": ["Dušan Žiak", "Šťastný", "Źródło"],
    "cp1251": ["№ 5", "«Да»"],
    "cp1253": ["Άννα", "20 €"],
    "cp1254": ["20 €", "Şimdi"],
    "cp1255": ["20 ₪"],
    "cp1256": ["گفتگو", "چرا؟"],
    "cp1257": ["20 €"],
    "cp874": ["20 €"],
    "cp932": ["～", "①", "㈱"],
    "cp950": ["裏", "～", "碁"],
    "cp949": ["똠", "쌰"],
    "gbk": ["喆", "堃"],
}
TYPOGRAPHIC = {"cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257", "cp874"}


@dataclass(frozen=True)
class Sample:
    name: str
    encoding: str
    group: str  # the row of the length table: "5 cues", "corpus", ...
    data: bytes
    text: str  # what the file decodes to, read right (stray bytes as surrogate escapes)


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
    if language == "en":
        return subrip_texts(DATA / "remember-the-titans-en.srt")
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
    """Whether the encoding holds the text, so that the true guess decodes it back
    exactly; an ISO or older page's text must read the same in its Windows superset,
    as 〜 in Shift-JIS is ～ in cp932 (one byte pair, two characters)."""
    superset = {"shift_jis": "cp932", "big5": "cp950", "euc_kr": "cp949"}.get(encoding, encoding)
    encoded = text.encode(encoding, "replace")
    return encoded.decode(encoding) == text and encoded.decode(superset, "replace") == text


def typographic(text: str) -> str:
    text = re.sub(r'"([^"]*)"', "“\\1”", text).replace("...", "…").replace("'", "’")
    return text.replace(" - ", " – ").replace("--", "—")


def written_in(encoding: str, texts: list[str]) -> list[str]:
    """The texts as a writer in that page types them."""
    if encoding in TYPOGRAPHIC:
        texts = [typographic(text) for text in texts]
        texts = [text if i % 3 else f"{text}…" for i, text in enumerate(texts)]
    own = OWN_CHARACTERS.get(encoding, [])
    return [f"{text} {own[i // 2 % len(own)]}" if own and i % 2 else text for i, text in enumerate(texts)]


def file_bytes(text: str, encoding: str, index: int) -> bytes:
    """A UTF-8 file gets one stray Windows-1252 byte in a middle cue: a "’" typed
    into it by an editor that wrote the page."""
    if encoding != "utf-8":
        return text.encode(encoding)
    cues = text.split("\r\n\r\n")
    middle = len(cues) // 2
    cues[middle] += "\x92" if index % 2 else " \x85"
    return "\r\n\r\n".join(cues).encode("utf-8").replace(b"\xc2\x92", b"\x92").replace(b"\xc2\x85", b"\x85")


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
            texts = dialogue(language)
            if language == "en":
                texts = [typographic(text) for text in texts]
            pool = [text for text in written_in(encoding, texts) if round_trips(text, encoding)]
            for cues, files in CUE_COUNTS.items():
                for index in range(files):
                    start = index * len(pool) // files
                    text = subrip([pool[(start + i) % len(pool)] for i in range(cues)])
                    name = f"{encoding} {language} {cues} cues #{index + 1}"
                    data = file_bytes(text, encoding, index)
                    true_text = data.decode(encoding, "surrogateescape")
                    samples.append(Sample(name, encoding, f"{cues} cues", data, true_text))
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
