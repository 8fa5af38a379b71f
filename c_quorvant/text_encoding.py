"""Which encoding a subtitle file is in, and the way between its bytes and the
UTF-8 the native passes read. Every caller decides here, once per file; the
native passes take what this hands them and never look at the encoding again.

Bytes that the encoding can't decode travel as surrogate escapes, so a file comes
back byte for byte; one whose round trip would not is read byte-wise, as UTF-8 is."""

from __future__ import annotations

import codecs
import functools
import unicodedata
from collections.abc import Buffer, Callable, Sequence
from dataclasses import dataclass, field

AUTO = "auto"

# What `confidence` says (docs/encodings.md explains the choice):
CERTAIN = 1.0  # the caller, a byte-order mark, escape sequences or valid UTF-8 decided, and every byte decodes
GUESSED = 0.5  # a guess decided (UTF-32/16's zero bytes, HZ, the detector), and every byte decodes
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

# The detector's answer -> the code pages it may stand for. Pages of one script
# read each other's letters as letters, so the detector's statistics decide among
# them; but where its page makes symbols or control characters of bytes that a
# sister page reads as letters (cp1250's "ą" is cp1252's "¹", KOI8-U's "і" is
# KOI8-R's "╕", and only the Windows pages have text in 0x80-0x9F), the sister is
# read. Of the double-byte pages the first that decodes every byte is read: the
# Windows supersets.
_LATIN = ("cp1252", "cp1250", "iso8859-2", "iso8859-15", "cp1257", "iso8859-13", "cp1254", "iso8859-9")
_CYRILLIC = ("cp1251", "koi8-r", "koi8-u", "iso8859-5", "cp866", "mac-cyrillic")
# fmt: off
_SCRIPTS: dict[str, tuple[str, ...]] = {
    **dict.fromkeys(_LATIN + ("iso8859-1", "iso8859-4", "iso8859-3", "iso8859-10", "iso8859-16", "mac-roman",
                              "mac-latin2", "cp1258", "cp852", "cp850", "cp437"), _LATIN),
    **dict.fromkeys(_CYRILLIC + ("cp855",), _CYRILLIC),
    "cp1253": ("cp1253", "iso8859-7"), "iso8859-7": ("cp1253", "iso8859-7"),
    "cp1255": ("cp1255", "iso8859-8"), "iso8859-8": ("cp1255", "iso8859-8"),
    "cp1256": ("cp1256", "iso8859-6"), "iso8859-6": ("cp1256", "iso8859-6"),
    "tis-620": ("cp874",), "iso8859-11": ("cp874",), "cp874": ("cp874",),
    "shift_jis": ("cp932", "shift_jis_2004"), "cp932": ("cp932", "shift_jis_2004"),
    "euc_jp": ("euc_jp", "euc_jis_2004"), "big5": ("cp950", "big5hkscs"), "cp950": ("cp950", "big5hkscs"),
    "gb2312": ("gbk", "gb18030"), "gbk": ("gbk", "gb18030"), "gb18030": ("gbk", "gb18030"),
    "euc_kr": ("cp949",), "cp949": ("cp949",),
}
# fmt: on
_SUPERSETS = {"iso8859-1": "cp1252", "iso8859-9": "cp1254", "iso8859-13": "cp1257"}
# The detector's names that Python's codecs don't know.
_DETECTOR_NAMES = {"mac-centraleurope": "mac-latin2", "windows-874": "cp874"}
_WINDOWS_PUNCTUATION = bytes(range(0x80, 0xA0))
# ISO-2022 by the escape sequence that designates its character set.
_ESCAPES = (
    (b"\x1b$)C", ("iso2022_kr",)),
    (b"\x1b$)A", ()),  # ISO-2022-CN, which Python has no codec for
    (b"\x1b$)G", ()),
    (b"\x1b$", ("iso2022_jp", "iso2022_jp_ext", "iso2022_jp_2", "iso2022_jp_2004", "iso2022_jp_3")),
)
# Punctuation and signs that dialogue holds besides letters, digits and blanks.
_TEXT_SIGNS = frozenset("’‘‚“”„…–—«»‹›¡¿·•€₪£№°\u00a0")
# The detector sees this much of a file's text lines: a couple of hundred cues.
SAMPLE_BYTES = 2 << 10
# Below this many bytes from 0x80 up, a second detector helps choose among sister pages.
FEW_LETTERS = 16
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
        return self.mark + native.decode("utf-8", "surrogateescape").encode(self.codec, errors)

    def converted(self, native: bytes, codec: str) -> bytes:
        """The native text in `codec`, whose own codec writes a mark if it has one
        (utf-8-sig, utf-16); raises UnicodeEncodeError as from_native."""
        text = native.decode("utf-8", "surrogateescape")
        if self.codec == "utf-8" and self.mark:
            text = text.removeprefix("\ufeff")
        return text.encode(codec)


def choose(data: Buffer, encoding: str = AUTO, fallback: str | None = None, detect: Detector | None = None) -> Decoding:
    """How to read `data`: a byte-order mark first, always; then `encoding`, unless
    it is "auto"; then escape sequences, UTF-32/16 by zero bytes, UTF-8 (valid, or
    but for a few stray bytes), and only then `fallback` or the detector. `detect`
    stands in for the detectors (bench/encodings.py compares them so)."""
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
            return _unmarked(view, mark, forced, fallback, detect)
    return _unmarked(view, b"", forced, fallback, detect)


def _unmarked(
    view: memoryview, mark: bytes, forced: str | None, fallback: str | None, detect: Detector | None
) -> Decoding:
    if forced is not None:
        return _checked(view, forced, mark, CERTAIN)
    from c_quorvant import _api

    rest = view[len(mark) :]
    multibyte, stray, escapes, hz_shifts, even_zeros, odd_zeros, high = _api.byte_census(rest)
    if multibyte == stray == 0 and (escapes or hz_shifts):
        return _escaped(view, mark, escapes > 0, hz_shifts > 0)
    if even_zeros + odd_zeros:
        found = _by_zeros(view, mark, len(rest), even_zeros, odd_zeros)
        if found is not None:
            return found
    if stray == 0:
        return Decoding("utf-8", CERTAIN, "utf-8", mark)
    if mostly_utf8(multibyte, stray):
        return Decoding("utf-8", UNSURE, "utf-8", mark)
    if fallback is not None:
        return _checked(view, fallback, mark, CERTAIN)
    return _detected(view, mark, high, detect)


def _detected(view: memoryview, mark: bytes, high: Sequence[int], detect: Detector | None) -> Decoding:
    """The detector's guess, read as the page of its script that fits the bytes."""
    from c_quorvant import _api

    rest = view[len(mark) :]
    sample = _sample(rest)
    answer = (detect or _api.detect_charset)(sample)
    page = None if answer is None else _page_of(answer)
    if page is not None and _single_byte(page):
        # The Windows pages' punctuation in 0x80-0x9F (“ ” … –) is the same in most of
        # them and misleads the detector about the letters; the sisters are judged on it.
        calm = sample.translate(None, _WINDOWS_PUNCTUATION)
        if calm != sample and not calm.isascii():
            second = (detect or _api.detect_charset)(calm)
            answer = second if second is not None and _page_of(second) is not None else answer
    codec, rivals = (None, ()) if answer is None else _sister(answer, high, rest)
    if detect is None and codec is None:
        # None that uchardet knows: chardet's, if it reads every byte.
        other = _chardet(sample)
        decoding = Decoding(None, UNSURE) if other is None else _guessed(view, mark, _sister(other, high, rest)[0])
        return decoding if decoding.confidence == GUESSED else Decoding(None, UNSURE)
    if detect is None and rivals and sum(high) < FEW_LETTERS:
        # Too few letters for uchardet to tell sister pages apart: chardet's statistics,
        # which miss more than uchardet's on longer files, choose among those that fit.
        other = _chardet(sample)
        sister = None if other is None else _own_page(other)
        codec = sister if sister in rivals else codec
    return _guessed(view, mark, codec)


def _guessed(view: memoryview, mark: bytes, codec: str | None) -> Decoding:
    return _checked(view, codec, mark, GUESSED) if codec else Decoding(None, UNSURE)


def _chardet(sample: bytes) -> str | None:
    import chardet

    answer: str | None = chardet.detect(sample)["encoding"]
    return answer


def _sample(rest: memoryview) -> bytes:
    """What the detector sees: the lines that hold more than ASCII (numbers, time
    stamps, styles and markup only thin its evidence), SAMPLE_BYTES of them at most,
    which decide as the whole file does (bench/encodings.py)."""
    if len(rest) <= SAMPLE_BYTES:
        return bytes(rest)
    lines = bytes(rest[: SAMPLE_BYTES * 8]).splitlines(keepends=True)
    sample = b"".join(line for line in lines if not line.isascii())
    return sample[: sample.rfind(b"\n", 0, SAMPLE_BYTES) + 1 or SAMPLE_BYTES]


def mostly_utf8(multibyte: int, stray: int) -> bool:
    """Whether a file that is not valid UTF-8 is UTF-8 with a few stray bytes: a
    legacy code page makes well-formed sequences only by chance, far fewer than its
    bytes that are none (bench/encodings.py measures the line)."""
    return multibyte >= stray


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


def _by_zeros(view: memoryview, mark: bytes, size: int, even_zeros: int, odd_zeros: int) -> Decoding | None:
    """UTF-32 or UTF-16 without a mark. Subtitle files are mostly ASCII (numbers,
    time stamps, markup), which these write with zero bytes beside it; no 8-bit
    text has any."""
    if size % 4 == 0 and (even_zeros + odd_zeros) * 2 >= size:
        for name in ("utf-32-le", "utf-32-be"):
            found = _checked(view, name, mark, GUESSED)
            if found.confidence == GUESSED:
                return found
    pairs = size // 2
    # CJK characters put a zero on the other side now and then (U+4E00 is 00 4E).
    for name, zeros, others in (("utf-16-le", odd_zeros, even_zeros), ("utf-16-be", even_zeros, odd_zeros)):
        if size >= 4 and size % 2 == 0 and zeros * 4 >= pairs and others * 8 <= zeros:
            return _checked(view, name, mark, GUESSED)
    return None


def _page_of(answer: str) -> str | None:
    """The first page of the detector's answer's script (see _SCRIPTS)."""
    own = _python_name(answer)
    return None if own is None else _SCRIPTS.get(own, (own,))[0]


def _python_name(answer: str) -> str | None:
    """Python's name for the detector's answer; None for none, or for UTF-8 and
    ASCII, which it may answer for bytes that are neither."""
    try:
        own = codecs.lookup(_DETECTOR_NAMES.get(answer.lower(), answer)).name
    except LookupError:
        return None
    return None if own in ("utf-8", "ascii") else own


def _own_page(answer: str) -> str | None:
    """The detector's answer as Python names it, a superset for its ISO page."""
    own = _python_name(answer)
    return None if own is None else _SUPERSETS.get(own, own)


def _sister(answer: str, high: Sequence[int], rest: memoryview) -> tuple[str | None, tuple[str, ...]]:
    """The code page to read the detector's answer as (see _SCRIPTS), and the sister
    pages that fit the bytes as well but read them otherwise."""
    own = _python_name(answer)
    if own is None:
        return None, ()
    sisters = _SCRIPTS.get(own, (own,))
    if not _single_byte(sisters[0]):
        data = bytes(rest)
        return next((name for name in sisters if _decodes(data, name)), sisters[0]), ()
    # The detector's own page first among equals, then the Windows ones; a Mac or
    # DOS answer is a page of the script's (ISO-8859-1 is read as cp1252, its superset).
    own = _SUPERSETS.get(own, own)
    if own in sisters:
        sisters = (own, *(name for name in sisters if name != own))
    present = [(0x80 + index, count) for index, count in enumerate(high) if count]
    fits = {name: _fit(name, present) for name in sisters}
    chosen = min(sisters, key=lambda name: (*fits[name], sisters.index(name)))
    seen = bytes(byte for byte, _ in present)
    rivals = tuple(
        name
        for name in sisters
        if fits[name] == fits[chosen] and seen.decode(name, "replace") != seen.decode(chosen, "replace")
    )
    return chosen, rivals


def _fit(codec: str, present: list[tuple[int, int]]) -> tuple[int, int]:
    """How badly this single-byte page reads the file's bytes: how many it makes
    something that is no dialogue (control characters, symbols, nothing), then how
    few it makes letters of any one language the page is for. One language, not the
    page's: a short Czech line read in the wrong sister page still gives letters of
    the page, but one of them Polish."""
    meanings = _meanings(codec)
    misread = sum(count for byte, count in present if meanings[byte - 0x80] == 0)
    characters = bytes(byte for byte, _ in present).decode(codec, "replace")
    counts = [count for _, count in present]
    best = max(
        (sum(n for c, n in zip(characters, counts, strict=True) if c in letters) for letters in _alphabets(codec)),
        default=0,
    )
    return misread, -best


# The letters outside ASCII that each language writes, by the pages that hold them.
_WESTERN_LANGUAGES = (
    "áâãàçéêíóôõú",  # Portuguese
    "áéíóúñü",  # Spanish
    "àâæçéèêëîïôœùûüÿ",  # French
    "äöüß",  # German
    "àèéìíîòóù",  # Italian
    "àçèéíïòóú",  # Catalan
    "éèëïöü",  # Dutch
    "æøåé",  # Danish, Norwegian
    "åäöé",  # Swedish, Finnish
    # Not Icelandic: its ð þ ý are the bytes of Turkish ğ ş ı and Baltic š ž, far
    # commoner in subtitle archives, which a short file could no longer tell apart.
)
_CENTRAL_LANGUAGES = (
    "áčďéěíňóřšťúůýž",  # Czech
    "áäčďéíĺľňóôŕšťúýž",  # Slovak
    "ąćęłńóśźż",  # Polish
    "áéíóöőúüű",  # Hungarian
    "ăâîșşțţ",  # Romanian
    "čćđšž",  # Croatian, Slovene, Bosnian
    "ëç",  # Albanian
    "äöüß",  # German
)
_BALTIC_LANGUAGES = (
    "ąčęėįšųūž",  # Lithuanian
    "āčēģīķļņšūž",  # Latvian
    "äöõüšž",  # Estonian
    "ąćęłńóśźż",  # Polish
    "äöüß",  # German
    "åäöæøé",  # Nordic
)
_TURKISH_LANGUAGES = ("çğıöşüâîûİ", *_WESTERN_LANGUAGES[:7])
_LANGUAGES = {
    "cp1252": _WESTERN_LANGUAGES,
    "iso8859-15": _WESTERN_LANGUAGES,
    "cp1250": _CENTRAL_LANGUAGES,
    "iso8859-2": _CENTRAL_LANGUAGES,
    "cp1257": _BALTIC_LANGUAGES,
    "iso8859-13": _BALTIC_LANGUAGES,
    "cp1254": _TURKISH_LANGUAGES,
    "iso8859-9": _TURKISH_LANGUAGES,
}


@functools.cache
def _alphabets(codec: str) -> tuple[frozenset[str], ...]:
    return tuple(frozenset(letters + letters.upper()) for letters in _LANGUAGES.get(codec, ()))


@functools.cache
def _meanings(codec: str) -> tuple[int, ...]:
    """For each byte from 0x80 up: 1 dialogue (letters, digits, blanks, its
    punctuation), 0 anything else."""
    characters = bytes(range(0x80, 0x100)).decode(codec, "replace")
    return tuple(int(_in_dialogue(c)) for c in characters)


def _in_dialogue(c: str) -> bool:
    category = unicodedata.category(c)
    if category[0] in "LM" or category in ("Nd", "Zs", "Pd", "Pi", "Pf", "Ps", "Pe"):
        return True
    return (category == "Po" and c not in "§¶") or c in _TEXT_SIGNS


def _decoded(data: Buffer, codec: str, errors: str = "strict") -> str:
    return codecs.decode(data, codec, errors)


def _decodes(data: bytes, codec: str) -> bool:
    try:
        data.decode(codec)
    except UnicodeDecodeError:
        return False
    return True


@functools.cache
def _single_byte(codec: str) -> bool:
    try:
        return len(bytes(range(256)).decode(codec, "replace")) == 256
    except UnicodeError:
        return False


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
