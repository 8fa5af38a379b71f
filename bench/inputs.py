"""Benchmark inputs: subtitle files cut from bench/data and honorific word lists."""

from __future__ import annotations

import itertools
import json
import random
from pathlib import Path

DATA = Path(__file__).resolve().parent / "data"
ASS_SOURCE = DATA / "toki-wo-kakeru-shoujo-movie-pt.ass"
SRT_SOURCE = DATA / "remember-the-titans-en.srt"

# Phrases that the first rules of every list match; a few lines get one.
HONORIFIC_PHRASES = [" Taro-kun", " Aoi-san", " senpai!", " Sensei,", " Mika-chan", " Kenji-sama", " onee-san"]
SHARE_OF_LINES_WITH_HONORIFICS = 0.15

# Real honorific-style rules: literals and regexes, ECMAScript replacements.
REAL_RULES = {
    "-san": "",
    "(\\w+)-kun": "$1",
    "\\bsenpai\\b": "upperclassman",
    "-chan": "",
    "-sama": "",
    "\\bsensei\\b": "teacher",
    "-dono": "",
    "(\\w+)-tan": "$1",
    "onii-san": "big brother",
    "onee-san": "big sister",
    "\\bbaka\\b": "idiot",
    "-senpai": "",
    "(\\w+)-kouhai": "$1",
    "oji-san": "uncle",
    "oba-san": "aunt",
    "\\bkami\\b": "god",
    "-hime": "",
    "(\\w+)-bo\\b": "$1",
    "nee-chan": "sis",
    "nii-chan": "bro",
}

SYLLABLES = [
    "ka",
    "ki",
    "ku",
    "ko",
    "sa",
    "shi",
    "su",
    "ta",
    "chi",
    "tsu",
    "na",
    "ni",
    "nu",
    "ma",
    "mi",
    "mu",
    "ya",
    "yo",
    "ra",
    "ri",
    "ro",
    "wa",
    "zu",
    "gi",
    "bu",
    "pe",
    "hyo",
]


def _invented_words(count: int, lines: list[str]) -> list[str]:
    """Honorific-like words that occur in no line, so their rules never match."""
    corpus = "\n".join(lines).lower()
    candidates = ("".join(parts) for parts in itertools.product(SYLLABLES, repeat=3))
    words = list(itertools.islice((word for word in candidates if word not in corpus), count))
    if len(words) < count:
        raise RuntimeError("not enough invented words")
    return words


def word_list(size: int, lines: list[str]) -> dict[str, str]:
    """The real rules, then invented ones in rotating literal and regex shapes."""
    shapes = ["-{w}", "(\\w+)-{w}", "\\b{w}\\b", "{w}-(san|kun)", "{w}", "\\b{w}-sama\\b"]
    rules = dict(itertools.islice(REAL_RULES.items(), size))
    for index, word in enumerate(_invented_words(size - len(rules), lines)):
        shape = shapes[index % len(shapes)]
        rules[shape.format(w=word)] = "$1" if "(\\w+)" in shape else word.upper()
    return rules


def _with_honorifics(lines: list[bytes], rng: random.Random) -> list[bytes]:
    return [
        line + rng.choice(HONORIFIC_PHRASES).encode() if rng.random() < SHARE_OF_LINES_WITH_HONORIFICS else line
        for line in lines
    ]


def ass_file(events: int, rng: random.Random) -> bytes:
    """The film's header and its first Dialogue lines, repeated as needed."""
    raw = ASS_SOURCE.read_bytes().split(b"\r\n")
    header_end = next(i for i, line in enumerate(raw) if line.startswith(b"Format:") and raw[i - 1] == b"[Events]")
    dialogue = [line for line in raw if line.startswith(b"Dialogue:")]
    body = _with_honorifics(list(itertools.islice(itertools.cycle(dialogue), events)), rng)
    return b"\r\n".join(raw[: header_end + 1] + body) + b"\r\n"


def srt_file(cues: int, rng: random.Random) -> bytes:
    blocks = [block.split(b"\n") for block in SRT_SOURCE.read_bytes().strip().split(b"\n\n")]
    out = []
    for number, block in enumerate(itertools.islice(itertools.cycle(blocks), cues), start=1):
        timing, text = block[1], _with_honorifics(block[2:], rng)
        out.append(b"\n".join([str(number).encode(), timing, *text]))
    return b"\n\n".join(out) + b"\n"


def _srt_time(ass_time: bytes) -> bytes:
    """ASS "h:mm:ss.cc" as SubRip "hh:mm:ss,mmm"."""
    hours, minutes, seconds = ass_time.split(b":")
    whole, hundredths = seconds.split(b".")
    return b"%02d:%02d:%02d,%03d" % (int(hours), int(minutes), int(whole), int(hundredths) * 10)


def srt_like_ass(ass: bytes) -> bytes:
    """The same dialogue as `ass`, one cue per Dialogue line, text and times unchanged."""
    cues = []
    for line in ass.split(b"\r\n"):
        if line.startswith(b"Dialogue:"):
            fields = line.split(b",", 9)
            cues.append(b"%d\n%s --> %s\n%s" % (len(cues) + 1, _srt_time(fields[1]), _srt_time(fields[2]), fields[9]))
    return b"\n\n".join(cues) + b"\n"


def _srt_ms(stamp: bytes) -> int:
    hours, minutes, rest = stamp.strip().split(b":")
    seconds, millis = rest.replace(b".", b",").split(b",")
    return ((int(hours) * 60 + int(minutes)) * 60 + int(seconds)) * 1000 + int(millis)


def _cues(srt: bytes) -> list[tuple[int, int, list[str]]]:
    cues = []
    for block in srt.strip().split(b"\n\n"):
        lines = block.split(b"\n")
        start, end = lines[1].split(b"-->")
        cues.append((_srt_ms(start), _srt_ms(end.split()[0]), [line.decode("utf-8", "replace") for line in lines[2:]]))
    return cues


def _escaped(line: str) -> str:
    return line.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def formats_like_srt(srt: bytes) -> dict[str, bytes]:
    """The dialogue of `srt` in SAMI, TTML, MicroDVD (at 25 frames a second) and MPL2,
    named by the ending each is read by."""
    cues = _cues(srt)
    sami = "".join(
        f"<SYNC Start={start}><P Class=ENCC>{'<br>'.join(map(_escaped, lines))}\r\n"
        f"<SYNC Start={end}><P Class=ENCC>&nbsp;\r\n"
        for start, end, lines in cues
    )
    ttml = "".join(
        f'    <p begin="{start}ms" end="{end}ms">{"<br/>".join(map(_escaped, lines))}</p>\n'
        for start, end, lines in cues
    )
    return {
        "bench.smi": (
            '<SAMI>\r\n<HEAD>\r\n<STYLE TYPE="text/css">\r\n<!--\r\n.ENCC { Name:English; lang:en-US; }\r\n-->\r\n'
            "</STYLE>\r\n</HEAD>\r\n<BODY>\r\n" + sami + "</BODY>\r\n</SAMI>\r\n"
        ).encode(),
        "bench.ttml": (
            '<?xml version="1.0" encoding="UTF-8"?>\n<tt xmlns="http://www.w3.org/ns/ttml" xml:lang="en">\n'
            "  <body><div>\n" + ttml + "  </div></body>\n</tt>\n"
        ).encode(),
        "bench.sub": (
            "{1}{1}25\n" + "".join(f"{{{start // 40}}}{{{end // 40}}}{'|'.join(lines)}\n" for start, end, lines in cues)
        ).encode(),
        "bench.txt": "".join(
            f"[{start // 100}][{end // 100}]{'|'.join(lines)}\n" for start, end, lines in cues
        ).encode(),
    }


def write_one_cue_srt(path: Path, megabytes: int) -> int:
    """A SubRip file of at least `megabytes` MB holding one cue: the bench cues' text lines, over
    and over. Returns its size in bytes."""
    lines = [line for block in SRT_SOURCE.read_bytes().strip().split(b"\n\n") for line in block.split(b"\n")[2:]]
    text = b"\n".join(lines)
    repeats = megabytes * 1_000_000 // len(text) + 1
    data = b"1\n00:00:01,000 --> 00:00:02,000\n" + b"\n".join([text] * repeats) + b"\n"
    path.write_bytes(data)
    return len(data)


def dialogue_texts(ass: bytes, srt: bytes) -> list[str]:
    texts = [line.split(b",", 9)[-1] for line in ass.split(b"\r\n") if line.startswith(b"Dialogue:")]
    return [t.decode("utf-8", "replace") for t in texts] + [srt.decode("utf-8", "replace")]


def write_inputs(directory: Path, sizes: list[int], events: int, seed: int = 2026) -> dict[str, str]:
    """Writes 'bench.ass', 'bench.srt', 'ass-dialogue.srt' (bench.ass's dialogue as SubRip),
    bench.srt's dialogue as 'bench.smi', 'bench.ttml', 'bench.sub' and 'bench.txt' (MPL2),
    and 'words-N.json' into `directory`."""
    rng = random.Random(seed)
    ass, srt = ass_file(events, rng), srt_file(events, rng)
    (directory / "bench.ass").write_bytes(ass)
    (directory / "bench.srt").write_bytes(srt)
    (directory / "ass-dialogue.srt").write_bytes(srt_like_ass(ass))
    for name, data in formats_like_srt(srt).items():
        (directory / name).write_bytes(data)
    lines = dialogue_texts(ass, srt)
    names = {}
    for size in sizes:
        name = f"words-{size}.json"
        (directory / name).write_text(json.dumps(word_list(size, lines), indent=2), encoding="utf-8")
        names[str(size)] = name
    return names


def write_large_ass(path: Path, megabytes: int, seed: int = 2026) -> int:
    """An ASS file of at least `megabytes` MB; returns its size in bytes."""
    rng = random.Random(seed)
    sample = ass_file(2000, rng)
    per_event = len(sample) / 2000
    data = ass_file(int(megabytes * 1_000_000 / per_event) + 1, rng)
    path.write_bytes(data)
    return len(data)
