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
