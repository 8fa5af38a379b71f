"""Subtitle files in legacy encodings whose true text is known, for bench/encodings.py.

The text is none of ours: names, addresses and (where the locale has its own) sentences
from faker's locale providers, the names of months, days, countries and languages in
babel's CLDR data, and runs of common words from wordfreq's lists, each in the language
a code page serves. They become SubRip files of 1, 2, 10 and 200 cues in every Windows
page and its ISO sisters, KOI8, Mac Roman, CP866, cp1258 (Vietnamese, decomposed as its
writers' tools store it), Thai, the CJK pages and the UTF-16/32 forms without a mark;
besides them short files with one to three letters outside ASCII, files joined from two
encodings and UTF-8 with a stray Windows-1252 byte. A fixed seed draws every file and
splits the set into a tuning half and a validation half.
"""

from __future__ import annotations

import codecs
import functools
import random
import re
import unicodedata
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "bench" / "data"
TESTS_DATA = ROOT / "tests" / "data"
SEED = 34
# Cues per file: how many files of that length per encoding and language.
CUE_COUNTS = {1: 4, 2: 4, 10: 2, 200: 1}


@dataclass(frozen=True)
class Language:
    faker: str | None  # the faker locale
    cldr: str  # the babel locale
    words: str | None  # the wordfreq language
    sentences: bool = False  # whether faker's lorem provider for the locale is in the language


# fmt: off
LANGUAGES = {
    "es": Language("es_ES", "es", "es", True), "it": Language("it_IT", "it", "it", True),
    "fr": Language("fr_FR", "fr", "fr", True), "da": Language("da_DK", "da", "da", True),
    "de": Language("de_DE", "de", "de", True), "pt": Language("pt_BR", "pt", "pt"), "ca": Language(None, "ca", "ca"),
    "sv": Language("sv_SE", "sv", "sv"), "nb": Language("no_NO", "nb", "nb"), "fi": Language("fi_FI", "fi", "fi"),
    "nl": Language("nl_NL", "nl", "nl", True), "is": Language("is_IS", "is", "is"), "fo": Language(None, "fo", None),
    "pl": Language("pl_PL", "pl", "pl", True), "cs": Language("cs_CZ", "cs", "cs", True),
    "sk": Language("sk_SK", "sk", "sk"), "hu": Language("hu_HU", "hu", "hu"), "sl": Language("sl_SI", "sl", "sl"),
    "hr": Language("hr_HR", "hr", "sh"), "ro": Language("ro_RO", "ro", "ro"), "sq": Language("sq_AL", "sq", None),
    "lt": Language("lt_LT", "lt", "lt"), "lv": Language("lv_LV", "lv", "lv"), "et": Language("et_EE", "et", None),
    "ru": Language("ru_RU", "ru", "ru", True), "bg": Language("bg_BG", "bg", "bg"),
    "uk": Language("uk_UA", "uk", "uk", True), "mk": Language("mk_MK", "mk", "mk", True),
    "sr": Language(None, "sr", None), "be": Language(None, "be", None), "el": Language("el_GR", "el", "el", True),
    "tr": Language("tr_TR", "tr", "tr"), "he": Language("he_IL", "he", "he", True),
    "ar": Language("ar_AA", "ar", "ar", True), "fa": Language("fa_IR", "fa", "fa", True),
    "th": Language("th_TH", "th", None, True), "vi": Language("vi_VN", "vi", "vi", True),
    "ja": Language("ja_JP", "ja", "ja", True), "zh-hans": Language("zh_CN", "zh_Hans", "zh", True),
    "zh-hant": Language("zh_TW", "zh_Hant", None, True), "ko": Language("ko_KR", "ko", "ko"),
    "pt-pt": Language("pt_PT", "pt_PT", "pt"), "es-mx": Language("es_MX", "es_MX", "es", True),
    "de-at": Language("de_AT", "de_AT", "de", True), "fr-ch": Language("fr_CH", "fr_CH", "fr"),
    "nl-be": Language("nl_BE", "nl_BE", "nl", True), "bs": Language("bs_BA", "bs", "sh"),
}
# Each encoding with the languages written in it, by family (the rows of the report).
FAMILIES: dict[str, dict[str, list[str]]] = {
    "western": {"cp1252": ["es", "it", "fr", "da", "de", "pt", "ca", "sv", "nb", "fi", "nl", "is", "fo", "es-mx",
                           "de-at"],
                "iso8859-1": ["es", "pt-pt", "de", "is", "nl-be"], "iso8859-15": ["fr", "fi", "fr-ch"],
                "mac-roman": ["fr", "de", "es"]},
    "central": {"cp1250": ["pl", "cs", "sk", "hu", "sl", "hr", "ro", "sq", "bs"], "iso8859-2": ["pl", "cs", "hu", "hr"],
                "iso8859-16": ["ro"]},
    "baltic": {"cp1257": ["lt", "lv", "et"], "iso8859-13": ["lt", "lv"], "iso8859-4": ["lt", "lv", "et"]},
    "cyrillic": {"cp1251": ["ru", "bg", "uk", "mk", "sr", "be"], "koi8-r": ["ru"], "koi8-u": ["uk"],
                 "iso8859-5": ["ru", "bg"], "cp866": ["ru"]},
    "greek": {"cp1253": ["el"], "iso8859-7": ["el"]},
    "turkish": {"cp1254": ["tr"], "iso8859-9": ["tr"]},
    "hebrew": {"cp1255": ["he"], "iso8859-8": ["he"]},
    "arabic": {"cp1256": ["ar", "fa"], "iso8859-6": ["ar"]},
    "thai": {"cp874": ["th"], "tis-620": ["th"]},
    "vietnamese": {"cp1258": ["vi"]},
    "japanese": {"shift_jis": ["ja"], "cp932": ["ja"], "euc_jp": ["ja"], "iso2022_jp": ["ja"]},
    "chinese": {"gbk": ["zh-hans"], "gb18030": ["zh-hans"], "big5": ["zh-hant"], "cp950": ["zh-hant"],
                "hz": ["zh-hans"]},
    "korean": {"euc_kr": ["ko"], "cp949": ["ko"]},
    "utf-16/32": {"utf-16-le": ["ru", "uk", "th", "ar", "ja", "zh-hans"], "utf-16-be": ["ru", "ja"],
                  "utf-32-le": ["ru", "zh-hans"], "utf-32-be": ["el"]},
}
# fmt: on
# The Windows pages, whose writers type typographic quotes, dashes and "…".
TYPOGRAPHIC = {"cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257", "cp1258", "cp874"}
# Files joined from two encodings: 200 cues of the first, 10 of the second.
JOINED = [("cp1251", "utf-8", "ru"), ("cp1252", "utf-8", "fr"), ("cp1250", "utf-8", "pl"), ("utf-8", "cp1251", "uk")]


@dataclass(frozen=True)
class Sample:
    name: str
    encoding: str
    family: str
    group: str  # the size: "1 cue", "short, 1-3 accented", "joined", ...
    data: bytes
    text: str  # what the file decodes to, read right (stray bytes as surrogate escapes)
    validation: bool = False


@functools.cache
def pool(language: str) -> tuple[str, ...]:
    """Lines of text in the language, from faker, babel and wordfreq, shuffled by the seed."""
    import babel
    import wordfreq
    from faker import Faker

    source = LANGUAGES[language]
    rng = random.Random(f"{SEED} {language}")
    lines = []
    if source.faker:
        fake = Faker(source.faker)
        fake.seed_instance(SEED)
        for _ in range(60):
            lines += [fake.name(), fake.address().replace("\n", ", "), fake.city()]
            if source.sentences:
                lines.append(fake.sentence())
    cldr = babel.Locale.parse(source.cldr)
    names = [
        *cldr.territories.values(),
        *cldr.languages.values(),
        *cldr.months["format"]["wide"].values(),
        *cldr.days["format"]["wide"].values(),
    ]
    lines += [", ".join(rng.sample(names, rng.randint(1, 4))) for _ in range(120)]
    if source.words:
        words = wordfreq.top_n_list(source.words, 2000)
        joiner = "" if language in ("ja", "zh-hans", "zh-hant", "th") else " "
        for _ in range(120):
            run = joiner.join(rng.choices(words, k=rng.randint(3, 9)))
            lines.append(run[:1].upper() + run[1:] + rng.choice(".?!,"))
    rng.shuffle(lines)
    return tuple(line for line in lines if line.strip())


def in_page(text: str, encoding: str) -> str | None:
    """The text as the page stores it: cp1258 holds most Vietnamese letters only
    decomposed, as a base letter and a combining tone mark; None when it can't."""
    if encoding.startswith("utf-"):
        return text
    form = []
    for character in text:
        marks = unicodedata.normalize("NFD", character)
        for split in range(len(marks), 0, -1):
            candidate = unicodedata.normalize("NFC", marks[:split]) + marks[split:]
            try:
                candidate.encode(encoding)
            except UnicodeEncodeError:
                continue
            form.append(candidate)
            break
        else:
            return None
    stored = "".join(form)
    return stored if stored.encode(encoding).decode(encoding) == stored else None


def typographic(text: str, rng: random.Random) -> str:
    if rng.random() < 0.3:
        text = f"“{text}”"
    if rng.random() < 0.3:
        text = f"{text.rstrip('.')}…"
    return text.replace(" - ", " – ")


def cue_texts(encoding: str, language: str, count: int, rng: random.Random) -> list[str]:
    lines = pool(language)
    texts = []
    while len(texts) < count:
        text = "\n".join(rng.choice(lines) for _ in range(rng.randint(1, 2)))
        if encoding in TYPOGRAPHIC:
            text = typographic(text, rng)
        stored = in_page(text, encoding)
        if stored is not None:
            texts.append(stored)
    return texts


def accented(text: str) -> int:
    return sum(not character.isascii() for character in text)


def short_texts(encoding: str, language: str, rng: random.Random) -> list[str] | None:
    """One or two cues with one to three characters outside ASCII between them."""
    candidates = [t for t in (in_page(line, encoding) for line in pool(language)) if t and 1 <= accented(t) <= 3]
    if not candidates:
        return None
    texts = [rng.choice(candidates)]
    if rng.random() < 0.5:
        second = rng.choice(pool(language))
        texts += [second] if second.isascii() else []
    return texts


def subrip(texts: list[str]) -> str:
    def stamp(ms: int) -> str:
        return f"{ms // 3_600_000:02}:{ms // 60_000 % 60:02}:{ms // 1000 % 60:02},{ms % 1000:03}"

    cues = []
    for number, text in enumerate(texts, 1):
        start = number * 3000
        cues.append(f"{number}\r\n{stamp(start)} --> {stamp(start + 2500)}\r\n" + text.replace("\n", "\r\n") + "\r\n")
    return "\r\n".join(cues)


def generated_samples() -> list[Sample]:
    rng = random.Random(SEED)
    samples = []

    def add(name: str, encoding: str, family: str, group: str, data: bytes, text: str) -> None:
        samples.append(Sample(name, encoding, family, group, data, text, rng.random() < 0.5))

    for family, encodings in FAMILIES.items():
        for encoding, languages in encodings.items():
            for language in languages:
                for cues, files in CUE_COUNTS.items():
                    for index in range(files):
                        text = subrip(cue_texts(encoding, language, cues, rng))
                        group = f"{cues} cue{'s' if cues > 1 else ''}"
                        add(
                            f"{encoding} {language} {group} #{index + 1}",
                            encoding,
                            family,
                            group,
                            text.encode(encoding),
                            text,
                        )
                for index in range(2 if family not in ("utf-16/32",) else 0):
                    texts = short_texts(encoding, language, rng)
                    if texts:
                        text = subrip(texts)
                        add(
                            f"{encoding} {language} short #{index + 1}",
                            encoding,
                            family,
                            "short, 1-3 accented",
                            text.encode(encoding),
                            text,
                        )
    for first, second, language in JOINED:
        head = subrip(cue_texts(first, language, 200, rng))
        tail = subrip(cue_texts(second, language, 10, rng))
        data = head.encode(first) + b"\r\n" + tail.encode(second)
        add(f"{first} + {second} {language} joined", first, "joined", "joined", data, "")
    for index, language in enumerate(["fr", "pt", "ru", "ja"] * 2):
        text = subrip(cue_texts("utf-8", language, 10, rng))
        cues = text.split("\r\n\r\n")
        cues[len(cues) // 2] += " \x92" if index % 2 else " \x85"
        data = "\r\n\r\n".join(cues).encode("utf-8").replace(b"\xc2\x92", b"\x92").replace(b"\xc2\x85", b"\x85")
        add(
            f"utf-8 {language} stray byte #{index + 1}",
            "utf-8",
            "utf-8, stray byte",
            "10 cues",
            data,
            data.decode("utf-8", "surrogateescape"),
        )
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
        samples.append(Sample(path.name, encoding, "corpus", "corpus", data, data.decode(encoding), True))
    return samples


# What bench/cluster.py draws its files from: dialogue the corpus and bench/data hold.
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


def quoted(text: str) -> str:
    text = re.sub(r'"([^"]*)"', "“\\1”", text).replace("...", "…").replace("'", "’")
    return text.replace(" - ", " – ").replace("--", "—")
