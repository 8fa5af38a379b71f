"""Which encoding a subtitle file is in, and the way between its bytes and the
UTF-8 the native passes read. Every caller decides here, once per file; the
native passes take what this hands them and never look at the encoding again.

Bytes that the encoding can't decode travel as surrogate escapes, so a file comes
back byte for byte; one whose round trip would not is read byte-wise, as UTF-8 is."""

from __future__ import annotations

import codecs
import functools
import re
import unicodedata
from collections.abc import Buffer, Callable, Sequence
from dataclasses import dataclass, field, replace

AUTO = "auto"

# What `confidence` says (docs/encodings.md explains the choice):
CERTAIN = 1.0  # the caller, a byte-order mark, escape sequences or valid UTF-8 decided, and every byte decodes
GUESSED = 0.5  # a guess decided (UTF-32/16's structure, HZ, the detectors), clearly, and every byte decodes
DOUBTFUL = 0.25  # the detectors' readings leave another page nearly as plausible, or the file mixes encodings
UNSURE = 0.0  # some bytes don't decode: they pass through untouched

# UTF-32 LE before UTF-16 LE, whose mark starts it.
_MARKS = (
    (codecs.BOM_UTF32_LE, "utf-32-le"),
    (codecs.BOM_UTF32_BE, "utf-32-be"),
    (codecs.BOM_UTF8, "utf-8"),
    (codecs.BOM_UTF16_LE, "utf-16-le"),
    (codecs.BOM_UTF16_BE, "utf-16-be"),
)
# Names that leave the byte order, or the mark, to the file.
_FAMILIES = {"utf-8-sig": "utf-8", "utf-16": "utf-16-le", "utf-32": "utf-32-le"}

# Pages that write the same script, which detectors confuse with each other: each
# answer brings its sisters, and how plausibly each reads decides (see _weighed).
# The Windows page comes first in each: among pages that read a file alike, it is read.
# fmt: off
_SISTERS = (
    ("cp1252", "iso8859-15", "cp1250", "iso8859-2", "iso8859-16", "cp1257", "iso8859-13", "iso8859-4", "cp1254",
     "cp1258", "mac-roman"),
    ("cp1251", "koi8-r", "koi8-u", "iso8859-5", "cp866", "mac-cyrillic"),
    ("cp1253", "iso8859-7"), ("cp1255", "iso8859-8"), ("cp1256", "iso8859-6"), ("cp874",),
    ("cp932", "shift_jis_2004", "euc_jp", "euc_jis_2004"), ("cp950", "big5hkscs"), ("gbk", "gb18030"), ("cp949",),
)
# fmt: on
_FAMILY = {page: family for family in _SISTERS for page in family}
# Pages whose Windows superset reads each of their texts the same.
_SUPERSETS = {
    "iso8859-1": "cp1252",
    "iso8859-9": "cp1254",
    "tis-620": "cp874",
    "iso8859-11": "cp874",
    "shift_jis": "cp932",
    "big5": "cp950",
    "gb2312": "gbk",
    "euc_kr": "cp949",
}
# The detectors' names that Python's codecs don't know.
_DETECTOR_NAMES = {"mac-centraleurope": "mac-latin2", "windows-874": "cp874", "x-mac-cyrillic": "mac-cyrillic"}
# ISO-2022 by the escape sequence that designates its character set.
_ESCAPES = (
    (b"\x1b$)C", ("iso2022_kr",)),
    (b"\x1b$)A", ()),  # ISO-2022-CN, which Python has no codec for
    (b"\x1b$)G", ()),
    (b"\x1b$", ("iso2022_jp", "iso2022_jp_ext", "iso2022_jp_2", "iso2022_jp_2004", "iso2022_jp_3")),
)
# Punctuation and signs that dialogue holds besides letters, digits and blanks.
# Punctuation and signs that dialogue holds besides letters, digits and blanks.
_TEXT_SIGNS = frozenset("’‘‚“”„…–—«»‹›¡¿·•€₪£№°\u00a0")
# The detector sees this much of a file's text lines: a couple of hundred cues.
SAMPLE_BYTES = 2 << 10
# And the language model this much, from the whole file's pages that fit.
EXCERPT_BYTES = 2 << 10
Detector = Callable[[bytes], "str | None"]


def text_codec(name: str) -> str:
    """Python's name for the text codec `name`; ValueError naming it when there is
    none (base64, rot13 and zlib are codecs, but not of text)."""
    try:
        info = codecs.lookup(name)
    except (LookupError, TypeError):
        info = None
    if info is None or not getattr(info, "_is_text_encoding", True):
        raise ValueError(f"unknown text encoding {name!r}: use a name Python's codecs know, such as cp1252")
    return info.name


@dataclass(frozen=True)
class Decoding:
    """How a file's bytes are read: `encoding` is what is reported (None when they
    are matched byte-wise), `codec` the way to the native text and back."""

    encoding: str | None
    confidence: float
    codec: str = "utf-8"
    mark: bytes = b""
    native: bytes | None = field(default=None, repr=False, compare=False)  # the text for the passes, once made
    alternatives: tuple[str, ...] = ()  # when in doubt, the encodings that fit nearly as well, likeliest first

    def to_native(self, data: Buffer) -> bytes:
        if self.native is not None:
            return self.native
        if self.codec == "utf-8":
            return bytes(data)
        text = _decoded(memoryview(data)[len(self.mark) :], self.codec, "surrogateescape")
        return text.encode("utf-8", "surrogateescape")

    def from_native(self, native: bytes) -> bytes:
        """Raises UnicodeEncodeError for a character the file's encoding can't write."""
        if self.codec == "utf-8":
            return native
        # The UTF-16 and -32 files decoded are whole; half a character a rule left is an error.
        errors = "strict" if self.codec.startswith("utf-") else "surrogateescape"
        text = native.decode("utf-8", "surrogateescape")
        try:
            return self.mark + text.encode(self.codec, errors)
        except UnicodeEncodeError:
            return self.mark + in_page(text, self.codec).encode(self.codec, errors)

    def converted(self, native: bytes, codec: str) -> bytes:
        """The native text in `codec`, whose own codec writes a mark if it has one
        (utf-8-sig, utf-16); raises UnicodeEncodeError as from_native."""
        text = native.decode("utf-8", "surrogateescape")
        if self.codec == "utf-8" and self.mark:
            text = text.removeprefix("\ufeff")
        return text.encode(codec)


def in_page(text: str, codec: str) -> str:
    """The text with each character the page can't hold as one written as its base
    letter and marks where the page holds those (cp1258 writes Vietnamese ễ as ê and
    U+0303); a character it can't hold either way is left for the codec to refuse."""
    written = []
    for character in text:
        form = character
        try:
            character.encode(codec)
        except UnicodeEncodeError:
            marks = unicodedata.normalize("NFD", character)
            for split in range(len(marks) - 1, 0, -1):
                candidate = unicodedata.normalize("NFC", marks[:split]) + marks[split:]
                if _encodes(candidate, codec):
                    form = candidate
                    break
        written.append(form)
    return "".join(written)


def _encodes(text: str, codec: str) -> bool:
    try:
        text.encode(codec)
    except UnicodeEncodeError:
        return False
    return True


def choose(data: Buffer, encoding: str = AUTO, fallback: str | None = None) -> Decoding:
    """How to read `data`: a byte-order mark first, always; then `encoding`, unless
    it is "auto"; then UTF-32/16 by their structure, escape sequences, UTF-8 (valid,
    or but for a few stray bytes), and only then `fallback` or the detectors."""
    # Here, so that the command line checks names before it needs the extension.
    from c_quorvant import _api

    view = memoryview(data)
    forced = None if encoding == AUTO else _FAMILIES.get(text_codec(encoding), text_codec(encoding))
    fallback = None if fallback is None else text_codec(fallback)
    for mark, name in _MARKS:
        if view[: len(mark)] == mark and (len(view) - len(mark)) % (4 if name.startswith("utf-32") else 1) == 0:
            if name != "utf-8":
                return _checked(view, name, mark, CERTAIN)
            if _api.byte_census(view[len(mark) :])[1] == 0:
                return Decoding(name, CERTAIN, name, mark)
            # A mark that lies (UTF-8's before Windows-1252 bytes) is kept; the rest is judged on its own.
            return _unmarked(view, mark, forced, fallback)
    return _unmarked(view, b"", forced, fallback)


def _unmarked(view: memoryview, mark: bytes, forced: str | None, fallback: str | None) -> Decoding:
    declared = forced or _declared(view[len(mark) :])
    if declared is not None:
        return _checked(view, declared, mark, CERTAIN)
    from c_quorvant import _api

    rest = view[len(mark) :]
    multibyte, stray, escapes, hz_shifts, even_zeros, odd_zeros, high = _api.byte_census(rest)
    # Before the escapes: UTF-16 writes ESC bytes in text (Л is 1B 04).
    if even_zeros + odd_zeros:
        found = _by_structure(view, mark)
        if found is not None:
            return found
    if multibyte == stray == 0 and (escapes or hz_shifts):
        return _escaped(view, mark, escapes > 0, hz_shifts > 0)
    if stray == 0:
        return Decoding("utf-8", CERTAIN, "utf-8", mark)
    if mostly_utf8(multibyte, stray):
        return Decoding("utf-8", UNSURE, "utf-8", mark, alternatives=_mixed_with(rest))
    if fallback is not None:
        return _checked(view, fallback, mark, CERTAIN)
    return _detected(view, mark, multibyte, high)


_XML_DECLARATION = re.compile(rb"""<\?xml\s[^>]*?encoding\s*=\s*["']([A-Za-z][\w.:-]*)["']""")


def _declared(body: memoryview) -> str | None:
    """The single-byte or multibyte code page an XML declaration (TTML's) names at the
    file's start; None when there is none, or it names UTF-8/16/32 or no codec, which
    the bytes themselves decide."""
    found = _XML_DECLARATION.match(bytes(body[:200]))
    if found is None:
        return None
    try:
        codec = text_codec(found[1].decode("ascii"))
    except ValueError:
        return None
    return None if codec.startswith("utf") else codec


def _detected(view: memoryview, mark: bytes, multibyte: int, high: Sequence[int]) -> Decoding:
    """The reading that the detectors' answers and their sister pages make most
    plausible. A file joined from two encodings, lines of UTF-8 among the page's, is
    judged on the page's lines, and is in doubt: its UTF-8 lines will not read right."""
    rest = bytes(view[len(mark) :])
    utf8 = _utf8_lines(rest) if multibyte else set()
    joined = len(utf8) >= JOINED_LINES
    own = b"".join(line for line in rest.splitlines(True) if line not in utf8) if joined else rest
    weighed = _weighed_asking(own, None if joined else high)
    if not weighed:
        return Decoding(None, UNSURE)
    best = weighed[0]
    decoding = _checked(view, best.pages[0], mark, GUESSED if best.clear and not joined else DOUBTFUL)
    alternatives = ("utf-8",) * joined + tuple(reading.pages[0] for reading in weighed[1:3])
    return replace(decoding, alternatives=alternatives if decoding.confidence < GUESSED else ())


def _weighed_asking(rest: bytes, high: Sequence[int] | None) -> list[Reading]:
    """The readings (see _weighed) of the pages the quick detectors name, and, when
    that leaves the choice in doubt or the file is short, the slower ones too, whose
    imports are made only then."""
    sample = _sample(memoryview(rest))
    answers = _answers(sample, QUICK_DETECTORS)
    if high is None:
        from c_quorvant import _api

        high = _api.byte_census(rest)[6]
    if len(rest) >= LONG_BYTES and len(set(answers)) == 1 and len(answers) == len(QUICK_DETECTORS):
        # Long files where the quick detectors agree on a page that reads every byte as dialogue
        # are read so without weighing its sisters (bench/encodings.py: right on every such file).
        page = answers[0]
        present = bytes(0x80 + index for index, count in enumerate(high) if count)
        if _single_byte(page) and _decodes(present, page) and not _flaws(sample.decode(page) + present.decode(page)):
            return [Reading((page,), len(answers), 0, 0.0, "", clear=True)]
    weighed = _weighed(rest, answers, high)
    if not weighed or not weighed[0].clear or len(sample) < FEW_BYTES:
        answers += _answers(sample, THOROUGH_DETECTORS)
        weighed = _weighed(rest, answers, high)
    return weighed


def _mixed_with(rest: memoryview) -> tuple[str, ...]:
    """The page a mostly UTF-8 file's other lines are in, when the detectors name one."""
    strays = b"\n".join(line for line in bytes(rest).splitlines() if not _decodes(line, "utf-8"))
    return tuple(reading.pages[0] for reading in _weighed_asking(strays, None)[:1])


def _answers(sample: bytes, detectors: Sequence[str]) -> list[str]:
    """The pages the detectors name, as Python calls them."""
    found = []
    for name in detectors:
        answer = DETECTORS[name](sample)
        page = None if answer is None else _python_name(answer)
        if page is not None:
            found.append(_SUPERSETS.get(page, page))
    return found


def _uchardet(sample: bytes) -> str | None:
    from c_quorvant import _api

    return _api.detect_charset(sample)


def _chardetng(sample: bytes) -> str | None:
    import chardetng_py  # type: ignore[import-untyped]  # ships no type information

    answer: str = chardetng_py.detect(sample)
    return answer


def _chardet(sample: bytes) -> str | None:
    import chardet

    answer: str | None = chardet.detect(sample)["encoding"]
    return answer


def _charset_normalizer(sample: bytes) -> str | None:
    import charset_normalizer

    answer: str | None = charset_normalizer.detect(sample)["encoding"]
    return answer


DETECTORS: dict[str, Detector] = {
    "uchardet": _uchardet,
    "chardetng": _chardetng,
    "chardet": _chardet,
    "charset-normalizer": _charset_normalizer,
}
# Native and quick; chardet's models take a third of a second to load (README).
QUICK_DETECTORS = ("uchardet", "chardetng")
THOROUGH_DETECTORS = ("chardet", "charset-normalizer")


@dataclass(frozen=True)
class Reading:
    """The pages that read a file as one text, and how plausible that text is."""

    pages: tuple[str, ...]
    votes: int  # detectors that named one of the pages
    flaws: int  # characters that no dialogue holds (controls, unassigned, signs such as ¹ ¤)
    fluency: float  # how well the text reads as a language (pycld2's score)
    words: str  # the words that hold more than ASCII, each once: where sister pages differ
    clear: bool = False  # whether it reads clearly better than every other reading


def _weighed(rest: bytes, answers: list[str], high: Sequence[int]) -> list[Reading]:
    """The readings of the pages the detectors named and of their sisters that
    decode every byte, the most plausible first. The detectors' votes choose the
    script (a language model scores no two scripts alike); within it, the reading
    with the fewest characters that are no dialogue, then the most fluent."""
    votes = {page: answers.count(page) for page in answers}
    pages = dict.fromkeys(page for answer in answers for page in _FAMILY.get(answer, (answer,)))
    # A single-byte page reads the file as it reads the bytes from 0x80 up that occur in it.
    present = bytes(0x80 + index for index, count in enumerate(high) if count)
    excerpt = _sample(memoryview(rest), EXCERPT_BYTES)
    groups: dict[str, list[str]] = {}
    for page in sorted(pages, key=lambda page: -votes.get(page, 0)):
        single = _single_byte(page)
        if _decodes(present if single else rest, page):
            groups.setdefault(present.decode(page) if single else excerpt.decode(page, "replace"), []).append(page)
    # Pages that read the file alike: the first of their family (the Windows page), which holds most.
    order = {page: index for family in _SISTERS for index, page in enumerate(family)}
    flawed = []
    for key, group in groups.items():
        group.sort(key=lambda page: order.get(page, len(order)))
        text = excerpt.decode(group[0], "replace")
        flawed.append((group, text, _flaws(text + key if _single_byte(group[0]) else text)))
    # The language model reads only what can win: the readings of a script with its fewest flaws.
    fewest: dict[str, int] = {}
    for group, _, flaws in flawed:
        fewest[_script(group[0])] = min(flaws, fewest.get(_script(group[0]), flaws))
    readings = []
    for group, text, flaws in flawed:
        words = _words(text) if flaws == fewest[_script(group[0])] else ""
        fluency = _fluency(words) if words else 0.0
        readings.append(Reading(tuple(group), sum(votes.get(p, 0) for p in group), flaws, fluency, words))
    by_script: dict[str, int] = {}
    for reading in readings:
        by_script[_script(reading.pages[0])] = by_script.get(_script(reading.pages[0]), 0) + reading.votes
    ranked = sorted(by_script.values(), reverse=True)
    # The model's scores for Chinese, Japanese and Korean don't compare: among double-byte pages, votes first.
    readings.sort(
        key=lambda r: (-by_script[_script(r.pages[0])], r.flaws, -r.votes * (_script(r.pages[0]) == "CJK"), -r.fluency)
    )
    # Where the model does not clearly prefer the most fluent, the detectors' votes do.
    if len(readings) > 1:
        first = readings[0]
        near = [r for r in readings if _script(r.pages[0]) == _script(first.pages[0]) and r.flaws == first.flaws]
        near = [r for r in near if r.fluency * CLEAR_MARGIN >= first.fluency or r.votes >= STRONG_VOTES]
        voted = max(near, key=lambda r: r.votes)
        if voted.votes > first.votes:
            readings.remove(voted)
            readings.insert(0, voted)
    if (
        len(readings) > 1
        and readings[0].pages[0].startswith("mac-")
        and not (
            readings[0].votes
            and readings[0].flaws <= readings[1].flaws
            and readings[0].fluency >= MAC_MARGIN * readings[1].fluency
        )
    ):
        readings[:2] = readings[1::-1]
    # Clear: most detectors named the script, and the reading beats every other; never a Mac page's.
    majority = ranked[0] * 2 > sum(ranked) if ranked else False
    mac = bool(readings) and readings[0].pages[0].startswith("mac-")
    # One letter outside ASCII is too little for the language model to tell pages apart.
    evidence = bool(readings) and (len(readings) == 1 or sum(not c.isascii() for c in readings[0].words) >= 2)
    if readings and majority and evidence and not mac and all(_clearly(readings[0], o) for o in readings[1:]):
        readings[0] = replace(readings[0], clear=True)
    return readings


def _clearly(best: Reading, other: Reading) -> bool:
    """Whether `best` reads clearly better than `other` (bench/encodings.py tunes the margin
    on its tuning half). The same letters with other marks, which a detector chose, are
    a doubt a language model can't settle (Romanian ș in ISO-8859-16 is ş in cp1250)."""
    if other.votes and _bare(other.words) == _bare(best.words):
        return False
    if best.flaws != other.flaws:
        return best.flaws < other.flaws
    if _script(best.pages[0]) == _script(other.pages[0]) == "CJK":
        return best.votes > other.votes + 1
    margin = CLEAR_MARGIN if other.votes else UNNAMED_MARGIN
    return best.fluency >= other.fluency * margin and best.votes >= other.votes


CLEAR_MARGIN = 1.5
# Detectors that agree so often outvote the language model (of four).
STRONG_VOTES = 3
# Against a sister page that no detector named.
UNNAMED_MARGIN = 1.1
# Files this short are where two detectors agree on a wrong script most (bench/encodings.py): all four are asked.
FEW_BYTES = 512
LONG_BYTES = 4 << 10
# A Mac page must be named by a detector and read this much better: most files are Windows ones.
MAC_MARGIN = 1.5
# Words that hold more than ASCII, each once, that the language model reads.
FLUENCY_WORDS = 400
# Two lines of text that decode as UTF-8 in a legacy file are no chance.
JOINED_LINES = 2


@functools.cache
def _script(page: str) -> str:
    """The script of a single-byte page's letters from 0x80 up; the double-byte pages
    (Chinese, Japanese, Korean) are one, which the language model tells apart."""
    if not _single_byte(page):
        return "CJK"
    scripts = [unicodedata.name(c).split()[0] for c in bytes(range(0x80, 0x100)).decode(page, "replace") if c.isalpha()]
    return max(sorted(set(scripts)), key=scripts.count) if scripts else page


@functools.cache
def _single_byte(codec: str) -> bool:
    try:
        return len(bytes(range(256)).decode(codec, "replace")) == 256
    except UnicodeError:
        return False


def _bare(text: str) -> str:
    return "".join(c for c in unicodedata.normalize("NFD", text) if not unicodedata.combining(c))


def _words(text: str) -> str:
    return " ".join(list(dict.fromkeys(_NOT_ASCII_WORD.findall(text)))[:FLUENCY_WORDS])


_NOT_ASCII_WORD = re.compile(r"\S*[^\x00-\x7f]\S*")


def _fluency(words: str) -> float:
    """How well the words read as one language (the ASCII words would vouch for any page)."""
    import pycld2  # type: ignore[import-untyped]  # ships no type information

    try:
        _, _, languages = pycld2.detect(words, bestEffort=True)
    except pycld2.error:
        return 0.0
    fluency: float = sum(percent * score for _, code, percent, score in languages if code != "un") / 100
    return fluency


def _flaws(text: str) -> int:
    """Characters that no dialogue holds, and signs inside words ("Espa–a", "d‡": a Mac
    page's ñ and á read as Windows punctuation), each kind once."""
    odd = {c for c in set(text) if not c.isascii() and not _in_dialogue(c)}
    signs = {c for c in set(_INSIDE_WORD.findall(text)) if unicodedata.category(c) not in ("Pi", "Pf", "Mn", "Mc")}
    return len(odd | signs)


# A sign outside ASCII between two letters; apostrophes, hyphens, quotes (a space forgotten) and
# Catalan's l·l belong there.
_INSIDE_WORD = re.compile(r"[^\W\d_]([^\x00-\x7f\w\s’‘ʼ·‐‑])[^\W\d_]")


def _utf8_lines(rest: bytes) -> set[bytes]:
    """The lines that hold a well-formed UTF-8 sequence and decode as UTF-8."""
    lines = set()
    for found in _UTF8_SEQUENCE.finditer(rest):
        start = rest.rfind(b"\n", 0, found.start()) + 1
        end = rest.find(b"\n", found.end())
        lines.add(rest[start : len(rest) if end < 0 else end + 1])
    return {line for line in lines if _decodes(line, "utf-8")}


_UTF8_SEQUENCE = re.compile(rb"[\xc2-\xdf][\x80-\xbf]|[\xe0-\xef][\x80-\xbf]{2}|[\xf0-\xf4][\x80-\xbf]{3}")


def _sample(rest: memoryview, size: int = 0) -> bytes:
    """What the detectors see: the lines that hold more than ASCII (numbers, time
    stamps, styles and markup only thin its evidence), SAMPLE_BYTES of them at most,
    which decide as the whole file does (bench/encodings.py); or `size` bytes of them."""
    size = size or SAMPLE_BYTES
    if len(rest) <= size:
        return bytes(rest)
    lines = bytes(rest[: size * 8]).splitlines(keepends=True)
    sample = b"".join(line for line in lines if not line.isascii())
    return sample[: sample.rfind(b"\n", 0, size) + 1 or size]


def mostly_utf8(multibyte: int, stray: int) -> bool:
    """Whether a file that is not valid UTF-8 is UTF-8 with a few stray bytes: a
    legacy code page makes well-formed sequences only by chance, far fewer than its
    bytes that are none, though short runs of Shift-JIS half-width katakana make one
    for every stray byte (bench/encodings.py measures the line)."""
    return multibyte >= 2 * stray


def _escaped(view: memoryview, mark: bytes, escapes: bool, hz_shifts: bool) -> Decoding:
    """7-bit text that shifts into another character set: ISO-2022 by the escape
    sequence that designates the set, HZ by its "~{"; ASCII when neither decodes."""
    data = bytes(view[len(mark) :])
    names = next((names for sequence, names in _ESCAPES if sequence in data), None) if escapes else None
    if names == ():
        return Decoding(None, UNSURE)
    for name in names or (("hz",) if hz_shifts else ()):
        if _decodes(data, name):
            return _checked(view, name, mark, GUESSED if name == "hz" else CERTAIN)
    return Decoding("utf-8", CERTAIN, "utf-8", mark)


def _by_structure(view: memoryview, mark: bytes) -> Decoding | None:
    """UTF-32 or UTF-16 without a mark: the form that decodes to text with line
    breaks and no control characters, which a subtitle file in it has whatever its
    script (8-bit text has no zero bytes, and read in the wrong form a line break is
    U+0A00 or a zero)."""
    body = bytes(view[len(mark) :])
    for name in ("utf-32-le", "utf-32-be", "utf-16-le", "utf-16-be"):
        if len(body) % (4 if "32" in name else 2):
            continue
        try:
            text = body.decode(name)
        except UnicodeDecodeError:
            continue
        if "\n" in text and not any(unicodedata.category(c) in ("Cc", "Cn") for c in text if c not in "\t\r\n"):
            return _checked(view, name, mark, GUESSED)
    return None


def _python_name(answer: str) -> str | None:
    """Python's name for the detector's answer; None for none, or for UTF-8, UTF-16
    and ASCII, which a detector may answer for bytes that are none of them."""
    try:
        own = codecs.lookup(_DETECTOR_NAMES.get(answer.lower(), answer)).name
    except LookupError:
        return None
    return None if own == "ascii" or own.startswith("utf") else own


def _decoded(data: Buffer, codec: str, errors: str = "strict") -> str:
    return codecs.decode(data, codec, errors)


def _decodes(data: bytes, codec: str) -> bool:
    try:
        data.decode(codec)
    except UnicodeDecodeError:
        return False
    return True


def _in_dialogue(c: str) -> bool:
    category = unicodedata.category(c)
    if category[0] in "LM" or category in ("Nd", "Zs", "Pd", "Pi", "Pf", "Ps", "Pe"):
        return True
    if category == "No" or "\uff00" <= c <= "\uffef":  # ① ～ in CJK text; but ¹ ½, which a sister page makes of letters
        return c > "\xff"
    return (category == "Po" and c not in "§¶") or c in _TEXT_SIGNS


@functools.cache
def _one_to_one(codec: str) -> bool:
    """Whether each byte is one character of the codec and back, so that a text
    decoded in full comes back byte for byte without trying."""
    try:
        characters = bytes(range(256)).decode(codec, "surrogateescape")
    except UnicodeDecodeError:  # a stateful or double-byte codec
        return False
    return len(characters) == 256 and characters.encode(codec, "surrogateescape") == bytes(range(256))


def _checked(view: memoryview, name: str, mark: bytes, confidence: float) -> Decoding:
    codec = codecs.lookup(name).name
    body = view[len(mark) :]
    try:
        text = _decoded(body, codec)
    except UnicodeDecodeError:
        confidence = UNSURE
        try:
            text = _decoded(body, codec, "surrogateescape")
        except UnicodeError:  # UTF-16 and UTF-32 escape no byte below 0x80
            return Decoding(None, UNSURE)
    if codec == "utf-8":
        return Decoding(codec, confidence, codec, mark)
    native = text.encode("utf-8", "surrogateescape")
    decoding = Decoding(codec, confidence, codec, mark, native)
    if confidence != UNSURE and _one_to_one(codec):
        return decoding
    # Escaped bytes can meet as UTF-8 on the way, or a codec map two byte strings to one text.
    try:
        faithful = decoding.from_native(native) == view
    except UnicodeError:
        faithful = False
    return decoding if faithful else Decoding(None, UNSURE)
