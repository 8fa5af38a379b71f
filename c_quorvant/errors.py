"""The exceptions of the public API."""

import os


class WordListError(ValueError):
    """A word list that can't be parsed, or a rule whose pattern the regex engine
    refuses; `pattern` names that rule's pattern (None for a document error)."""

    def __init__(self, message: str, *, pattern: str | None = None) -> None:
        super().__init__(message)
        self.pattern = pattern


class SubtitleFileError(Exception):
    """A subtitle file that can't be read or that its format's reader refuses:
    `path` is the file as given (os.fspath; None for bytes in memory), `reason` says what went wrong."""

    def __init__(self, path: str | bytes | os.PathLike[str] | None, reason: str) -> None:
        # Bytes in memory have no path.
        super().__init__(reason if path is None else f"{os.fsdecode(path)}: {reason}")
        self.path = None if path is None else os.fspath(path)
        self.reason = reason

    def __reduce__(self) -> tuple[object, ...]:
        # args holds the message alone, which __init__ can't be called with.
        return (type(self), (self.path, self.reason), self.__dict__)


class UnrepresentableTextError(ValueError):
    """A rewritten text holds a character that the output's encoding can't write:
    `key` is the text's export key (None when no text holds it), `character` the
    character, `encoding` the codec."""

    def __init__(self, key: str | None, label: str, character: str, encoding: str) -> None:
        code = ord(character)
        shown = (
            f"the byte 0x{code - 0xDC00:02X}, which the input's encoding left undecoded and"
            if 0xDC80 <= code <= 0xDCFF
            else f"{character!r} (U+{code:04X}), which"
        )
        where = f"{label} {key}: the rewritten text" if key is not None else "the rewritten file"
        super().__init__(
            f"{where} holds {shown} {encoding} cannot write; name another with output_encoding (--output-encoding)"
        )
        self.key = key
        self.label = label
        self.character = character
        self.encoding = encoding

    def __reduce__(self) -> tuple[object, ...]:
        return (type(self), (self.key, self.label, self.character, self.encoding), self.__dict__)


class UnwritableTextError(RuntimeError):
    """A rewritten text that its format can't write (a SubRip line that readers would
    take for the start of a cue): `key` is the text's export key. A RuntimeError, as
    this failure was before it had a type of its own."""

    def __init__(self, key: str, message: str) -> None:
        super().__init__(message)
        self.key = key

    def __reduce__(self) -> tuple[object, ...]:
        return (type(self), (self.key, str(self)), self.__dict__)
