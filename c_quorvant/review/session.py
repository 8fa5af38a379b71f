"""A review's files, read once, and what a word list changes in them: worked out by
the pass `preview` runs, written by the pass `rewrite` runs, so the page shows
exactly what Apply writes."""

from __future__ import annotations

import os
import re
import shutil
import stat
import sys
import tempfile
import threading
import uuid
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field, replace
from typing import TYPE_CHECKING, Any

from c_quorvant import _api, api
from c_quorvant.cli.batch import put_output, replace_input, selected_inputs
from c_quorvant.cli.errors import CliError, one_line
from c_quorvant.cli.in_place import TEMPORARY_PREFIX, FolderLocks, ReplaceLog
from c_quorvant.cli.inputs import BACKUP_ENDING
from c_quorvant.cli.words import require_valid_rules
from c_quorvant.errors import SubtitleFileError
from c_quorvant.formats import format_of, text_label
from c_quorvant.text_encoding import GUESSED, choose

if TYPE_CHECKING:
    from c_quorvant.cli.batch import Settings

# h:mm:ss.cc (ASS), hh:mm:ss,mmm (SubRip), mm:ss.ttt (WebVTT): the first two on a
# cue's timing line, or in an event's fields, are its start and end.
_STAMP = re.compile(r"(?:(\d+):)?(\d{1,2}):(\d{2})[.,](\d{1,3})")
CHANGED_ON_DISK = "changed on disk since it was read; not written (Read again to review it as it is now)"


def cue_times(heading: str) -> tuple[int, int] | None:
    """A text's start and end in milliseconds, from the bytes that time it."""
    stamps = _STAMP.findall(heading)
    if len(stamps) < 2:
        return None
    start, end = (
        ((int(hours or 0) * 60 + int(minutes)) * 60 + int(seconds)) * 1000 + int(fraction.ljust(3, "0"))
        for hours, minutes, seconds, fraction in stamps[:2]
    )
    return start, end


@dataclass
class Episode:
    """One file named on the command line, as read when the review started."""

    index: int
    path: str
    output: str = ""
    problem: str = ""  # why it is not reviewed: skipped, or a failure to read it
    data: bytes = b""  # as read: Apply writes nothing if the file no longer holds these
    native: bytes = b""  # decoded for the passes
    format: str = ""  # as the name says; `read` is what its start showed
    read: str = ""
    encoding: str | None = None
    confidence: float = 1.0
    status: os.stat_result | None = None  # with --in-place, the file as it was read
    keys: dict[str, int] = field(default_factory=dict)  # each text's export key -> its position
    times: list[tuple[int, int] | None] = field(default_factory=list)

    def summary(self) -> dict[str, Any]:
        ends = [time[1] for time in self.times if time]
        return {
            "id": self.index,
            "path": self.path,
            "output": self.output,
            "problem": self.problem,
            "format": self.read or self.format,
            "text": text_label(self.read or self.format or "srt"),
            "encoding": self.encoding or "bytes",
            "guessed": self.confidence == GUESSED,
            "unsure": self.confidence < GUESSED,
            "texts": len(self.keys),
            "duration": max(ends, default=0),
        }


@dataclass(frozen=True)
class Worked:
    """The changes of every file under one choice of rules."""

    changes: list[dict[str, Any]]
    hits: list[int]  # per rule of the full list: the texts it changed at its turn
    problems: dict[int, str]  # file -> why its changes could not be worked out


class Session:
    """The files and word lists of a review; `load` reads them (again)."""

    def __init__(self, settings: Settings, reading_threads: int = 2) -> None:
        self.settings = settings
        self._threads = max(1, reading_threads)
        self._writing = threading.Lock()
        self._lists: dict[frozenset[str], api.WordList] = {}
        self.load()

    def load(self) -> None:
        settings = self.settings
        # The outputs are named as rewrite names them, with its options.
        selection = selected_inputs(settings.files, replace(settings.options, mode="rewrite"))
        self.problem = ""
        self.warnings: list[str] = []
        self.rules: tuple[api.Rule, ...] = ()
        self._lists = {}
        try:
            loaded = require_valid_rules(settings.words, settings.unicode, settings.strict, settings.order)
        except CliError as error:
            self.problem = str(error)
        else:
            self.rules = loaded.rules
            self.warnings = loaded.warnings()
        items = selection.inputs
        with ThreadPoolExecutor(self._threads) as pool:
            self.episodes = list(pool.map(self._read, items))
        self.ignored = selection.ignored
        self._base: dict[tuple[int, int], dict[str, Any]] = {}
        self._every_rule: dict[int, Any] = {}  # each file's preview with every rule on

    def _read(self, item: Any) -> Episode:
        episode = Episode(item.index, item.path, item.output, item.skipped or item.problem)
        if item.backup:
            # Never written over: Apply would have nowhere to keep this original.
            episode.problem = f"its backup {item.backup} exists (an earlier --in-place run?): move it away to review it"
        if episode.problem:
            return episode
        try:
            episode.format = format_of(item.path) or ""
            if self.settings.options.in_place:
                # Taken before reading: Apply replaces the file only if it is still this one.
                episode.status = os.lstat(item.output)
            episode.data = bytes(_api.read_file(item.path))
            decoding = choose(episode.data, self.settings.encoding, self.settings.fallback_encoding)
            episode.encoding, episode.confidence = decoding.encoding, decoding.confidence
            episode.native = decoding.to_native(episode.data)
            texts = _api.document_texts(episode.native, episode.format, item.path)
        except SubtitleFileError as error:
            episode.problem = one_line(error.reason)
        except (RuntimeError, ValueError, OSError) as error:
            episode.problem = one_line(str(error))
        else:
            episode.keys = {key: position for position, (key, _text, _heading) in enumerate(texts)}
            episode.times = [cue_times(heading) for _key, _text, heading in texts]
        return episode

    def state(self) -> dict[str, Any]:
        """Everything the page shows, with every rule on."""
        worked = self.work(frozenset())
        self._base = {(change["file"], change["position"]): change for change in worked.changes}
        files = [episode.summary() for episode in self.episodes]
        for file in files:
            file["problem"] = file["problem"] or worked.problems.get(file["id"], "")
        return {
            "problem": self.problem,
            "warnings": self.warnings,
            "ignored": self.ignored,
            "files": files,
            "rules": [{"pattern": rule.pattern, "replacement": rule.replacement} for rule in self.rules],
            "hits": worked.hits,
            "changes": worked.changes,
            "writes": self._writes(),
        }

    def _writes(self) -> str:
        options = self.settings.options
        if options.in_place:
            return "in place" + (", each original kept as NAME.orig" if options.backup else ", with no backup")
        where = f"into {options.output_dir}" if options.output_dir is not None else "beside each file"
        return f"{where}, named {options.name!r}"

    def rework(self, disabled: frozenset[str]) -> dict[str, Any]:
        """The changes without the rules `disabled`, told against those of `state`
        (every rule on): the texts no longer changed, and the changes that are new
        or differ. A rule turned off leaves most changes alone, and the page keeps them."""
        worked = self.work(disabled)
        now = {(change["file"], change["position"]): change for change in worked.changes}
        return {
            "hits": worked.hits,
            "problems": worked.problems,
            "gone": [list(key) for key in self._base.keys() - now.keys()],
            "changed": [change for key, change in now.items() if self._base.get(key) != change],
        }

    def words(self, disabled: frozenset[str]) -> api.WordList:
        """The list without the rules `disabled`, the others in their turn."""
        words = self._lists.get(disabled)
        if words is None:
            kept = [rule for rule in self.rules if rule.pattern not in disabled]
            words = self._lists[disabled] = api.WordList(kept, order="written", validate=False)
        return words

    def work(self, disabled: frozenset[str]) -> Worked:
        """Every change the rules not `disabled` make, as preview finds them."""
        if self.problem:
            return Worked([], [0] * len(self.rules), {})
        words = self.words(disabled)
        number = {rule.pattern: index for index, rule in enumerate(self.rules)}
        readable = [episode for episode in self.episodes if not episode.problem]
        with ThreadPoolExecutor(self._threads) as pool:
            found = list(pool.map(lambda episode: self._found(episode, words, disabled), readable))
        changes: list[dict[str, Any]] = []
        hits = [0] * len(self.rules)
        problems: dict[int, str] = {}
        for episode, result in zip(readable, found, strict=True):
            if isinstance(result, str):
                problems[episode.index] = result
                continue
            _texts, found_changes, _read, changed_by, by_rule, export_keys = result
            for pattern, count in by_rule.items():
                hits[number[pattern]] += count
            for export_key, (key, before, after), patterns in zip(export_keys, found_changes, changed_by, strict=True):
                position = episode.keys[export_key]
                changes.append(
                    {
                        "file": episode.index,
                        "position": position,
                        "key": str(key),
                        "time": episode.times[position],
                        "before": before,
                        "after": after,
                        "rules": [number[pattern] for pattern in patterns],
                    }
                )
        return Worked(changes, hits, problems)

    def _found(self, episode: Episode, words: api.WordList, disabled: frozenset[str]) -> Any:
        """The file's preview without the rules `disabled`. A rule that changed no
        text of the file with every rule on left each text as it found it, so the
        file's changes are the same without it."""
        every = self._every_rule.get(episode.index)
        if every is None:
            every = self._every_rule[episode.index] = self._preview(episode, self.words(frozenset()))
        if isinstance(every, str) or disabled.isdisjoint(every[4]):
            return every
        return self._preview(episode, words)

    def _preview(self, episode: Episode, words: api.WordList) -> Any:
        try:
            found = _api.preview_bytes(
                episode.native,
                episode.format,
                words._compiled,
                self.settings.protect_tags,
                self.settings.unicode,
                episode.path,
            )
        except SubtitleFileError as error:
            return one_line(error.reason)
        except (RuntimeError, ValueError) as error:
            return one_line(str(error))
        if episode.read == "":
            episode.read = found[2]
        return found

    def apply(self, disabled: frozenset[str], rejected: dict[int, set[int]]) -> list[dict[str, Any]]:
        """Writes each file with the rules not `disabled`, its texts at the positions
        `rejected` left as they are; what became of each file, in order."""
        if self.problem:
            raise CliError(self.problem)
        words = self.words(disabled)
        settings = self.settings
        with self._writing:
            locks = FolderLocks()
            log = None
            try:
                if settings.options.in_place:
                    # As a rewrite --in-place does: no other run works in these folders meanwhile.
                    locks.take(
                        [os.path.dirname(episode.output) for episode in self.episodes if not episode.problem],
                        settings.wait,
                        _waiting,
                    )
                    log = ReplaceLog(settings.log) if settings.log else None
                return [
                    self._write(episode, words, rejected.get(episode.index, set()), log) for episode in self.episodes
                ]
            finally:
                if log:
                    log.close()
                locks.release()

    def _write(self, episode: Episode, words: api.WordList, kept: set[int], log: ReplaceLog | None) -> dict[str, Any]:
        told: dict[str, Any] = {"id": episode.index, "path": episode.path, "output": episode.output}
        if episode.problem:
            return told | {"status": "skipped", "reason": episode.problem}
        settings = self.settings
        try:
            if bytes(_api.read_file(episode.path)) != episode.data:
                return told | {"status": "failed", "reason": CHANGED_ON_DISK}
            content = api.rewrite_bytes(
                episode.data,
                episode.format,  # type: ignore[arg-type]
                words,
                protect_tags=settings.protect_tags,
                unicode=settings.unicode,
                encoding=settings.encoding,
                fallback_encoding=settings.fallback_encoding,
                output_encoding=settings.output_encoding,
                keep=kept,
            )
            status, told_more = self._put(episode, content, log)
        except SubtitleFileError as error:
            return told | {"status": "failed", "reason": one_line(error.reason)}
        except OSError as error:
            return told | {"status": "failed", "reason": f"cannot write {error.filename}: {error.strerror or error}"}
        except (RuntimeError, ValueError) as error:
            return told | {"status": "failed", "reason": one_line(str(error))}
        return told | {"status": status, "reason": told_more}

    def _put(self, episode: Episode, content: bytes, log: ReplaceLog | None) -> tuple[str, str]:
        """Puts the output in place as rewrite does: made in a private folder beside
        it and moved in one rename, with --in-place only over the file as it was read
        and after its original is kept. (status, why or a note)."""
        output = episode.output
        folder = os.path.dirname(os.path.abspath(output))
        os.makedirs(folder, exist_ok=True)
        scratch = tempfile.mkdtemp(prefix=f"{TEMPORARY_PREFIX}{uuid.uuid4().hex[:12]}-", dir=folder)
        try:
            staged = os.path.join(scratch, os.path.basename(output))
            # No output gets a permission bit its input lacks.
            _api.write_output(os.fsencode(staged), content, stat.S_IMODE(os.stat(episode.path).st_mode))
            options = self.settings.options
            if options.in_place and episode.status is not None:
                backup = output + BACKUP_ENDING if options.backup else None
                return replace_input(output, staged, episode.status, backup, scratch, log)
            problem = put_output(staged, output, episode.path)
            return ("failed", problem) if problem else ("written", "")
        finally:
            shutil.rmtree(scratch, ignore_errors=True)


def _waiting(folder: str) -> None:
    print(f"quorvant: waiting for another quorvant run working in {folder}", file=sys.stderr)
