"""Which encoding a subtitle file is in, and the way between its bytes and the
UTF-8 the native passes read.

Bytes that the encoding can't decode travel as surrogate escapes, so a file comes
back byte for byte; one whose round trip would not is read byte-wise, as before."""

from __future__ import annotations

import codecs
from dataclasses import dataclass

from c_quorvant import _api

AUTO = "auto"

# What `confidence` says (the README's "Text encodings" explains the choice):
CERTAIN = 1.0  # the caller, a byte-order mark or valid UTF-8 decided, and every byte decodes
GUESSED = 0.5  # a guess decided (UTF-16's zero bytes, the detector), and every byte decodes
UNSURE = 0.0  # no encoding decodes every byte: the rest pass through untouched

_MARKS = {
    "utf-32-le": codecs.BOM_UTF32_LE,
    "utf-32-be": codecs.BOM_UTF32_BE,
    "utf-8": codecs.BOM_UTF8,
    "utf-16-le": codecs.BOM_UTF16_LE,
    "utf-16-be": codecs.BOM_UTF16_BE,
}
# Names that leave the byte order, or the mark, to the file.
_FAMILIES = {"utf-8-sig": ("utf-8",), "utf-16": ("utf-16-le", "utf-16-be"), "utf-32": ("utf-32-le", "utf-32-be")}


def codec_name(name: str) -> str:
    """Python's name for the codec `name`; ValueError naming it when there is none."""
    try:
        return codecs.lookup(name).name
    except (LookupError, TypeError):
        raise ValueError(f"unknown encoding {name!r}: use a name Python's codecs know, such as cp1252") from None


@dataclass(frozen=True)
class Decoding:
    """How a file's bytes are read: `encoding` is what is reported (None when they
    are matched byte-wise), `codec` the way to the native text and back."""

    encoding: str | None
    confidence: float
    codec: str = "utf-8"
    mark: bytes = b""

    @property
    def native(self) -> bool:
        """Whether the native passes read the bytes as they are: UTF-8, and UTF-16 with its mark."""
        return self.codec == "utf-8" or (self.codec.startswith("utf-16") and self.mark != b"")

    def to_native(self, data: bytes) -> bytes:
        if self.codec == "utf-8":
            return data
        text = data[len(self.mark) :].decode(self.codec, "surrogateescape")
        return text.encode("utf-8", "surrogateescape")

    def from_native(self, native: bytes) -> bytes:
        """Raises UnicodeEncodeError for a character the file's encoding can't write."""
        if self.codec == "utf-8":
            return native
        return self.mark + native.decode("utf-8", "surrogateescape").encode(self.codec, "surrogateescape")

    def converted(self, native: bytes, codec: str) -> bytes:
        """The native text in `codec`, whose own codec writes a mark if it has one
        (utf-8-sig, utf-16); raises UnicodeEncodeError as from_native."""
        text = native.decode("utf-8", "surrogateescape")
        if self.codec == "utf-8" and self.mark:
            text = text.removeprefix("\ufeff")
        return text.encode(codec)


def choose(data: bytes, encoding: str) -> Decoding:
    """How to read `data`: in `encoding`, or with "auto" as the evidence says."""
    if encoding == AUTO:
        name, mark_length, evidence = _api.choose_encoding(data)
        if not name:
            return Decoding(None, UNSURE)
        return _checked(data, name, data[:mark_length], CERTAIN if evidence in ("mark", "utf-8") else GUESSED)
    codec = codec_name(encoding)
    for member in _FAMILIES.get(codec, (codec,)):
        mark = _MARKS.get(member, b"")
        if mark and data.startswith(mark):
            return _checked(data, member, mark, CERTAIN)
    return _checked(data, _FAMILIES.get(codec, (codec,))[0], b"", CERTAIN)


def _checked(data: bytes, name: str, mark: bytes, confidence: float) -> Decoding:
    try:
        codec = codecs.lookup(name).name
    except LookupError:
        return Decoding(None, UNSURE)
    decoding = Decoding(codec, confidence, codec, mark)
    try:
        data[len(mark) :].decode(codec)
    except UnicodeDecodeError:
        decoding = Decoding(codec, UNSURE, codec, mark)
    # Escaped bytes can meet as UTF-8 on the way, or a codec map two byte strings to one text.
    try:
        faithful = decoding.from_native(decoding.to_native(data)) == data
    except UnicodeError:
        faithful = False
    return decoding if faithful else Decoding(None, UNSURE)
