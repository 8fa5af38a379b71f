"""A worker's job on a Matroska file: the chosen tracks through c_quorvant.matroska,
and one Result for the file that says what happened to each track."""

import os
import shutil
import time
from types import ModuleType
from typing import TYPE_CHECKING, Any

from c_quorvant.cli.preview import diff_hunks
from c_quorvant.cli.worker import Job, Result, _word_list
from c_quorvant.formats import is_matroska, text_label

if TYPE_CHECKING:
    from multiprocessing.connection import Connection

    from c_quorvant.matroska import Track, TrackResult

# What a Matroska outcome reports as its format: its tracks have their own.
FORMAT = "matroska"
# A remux shorter than this shows no progress; a longer one, at most every PROGRESS_EVERY.
PROGRESS_AFTER = 1.0
PROGRESS_EVERY = 0.2
# Stands for the file's name in the headers of its tracks' diffs.
PATH = "\0"


# What a Matroska file's time limit grows by: mkvextract reads it and mkvmerge reads
# and writes it again, at 10 MB/s on the slowest disks still in use.
REMUX_BYTES_PER_SECOND = 10 << 20


def remux_seconds(path: str) -> float:
    """The time a Matroska file gets beyond the run's limit (0 for a loose file)."""
    if not is_matroska(path):
        return 0.0
    try:
        return float(os.path.getsize(path) // REMUX_BYTES_PER_SECOND)
    except OSError:
        return 0.0


def no_track(choice: str) -> str:
    return f"no text track matches --tracks {choice}"


def run_job(job: Job, api: ModuleType, connection: "Connection | None" = None) -> Result:
    """The job's Result; with a `connection`, a long remux's progress goes there
    first, as ("progress", index, share done) messages."""
    from c_quorvant import matroska

    words = _word_list(api, job)
    options: dict[str, Any] = dict(
        tracks=job.tracks,
        protect_tags=job.protect_tags,
        unicode=job.unicode,
    )
    if job.mode == "preview":
        return _preview(job, api, matroska, words, options)
    if job.backup:
        return Result(job.index, rewrites_backup=_rewrites_backup(job, api, matroska, words))
    staged = os.path.join(job.staging, job.output_name)
    if job.mode == "export":
        results = matroska.export(job.source, words, staged, **options)
    else:
        target = job.staging if job.sidecar else staged
        progress = None if connection is None else _Progress(job.index, connection)
        results = matroska.rewrite(job.source, words, target, sidecar=job.sidecar, progress=progress, **options)
    if not results:
        return Result(job.index, status="skipped", note=no_track(job.tracks))
    summary = _summary(job.index, results)
    if job.mode == "export":
        return Result(**summary, output_name=job.output_name)
    if job.sidecar:
        names = tuple(sorted({result.output.name for result in results if result.output is not None}))
        return Result(**summary, outputs=names, status="" if names else "unchanged")
    if any(result.changed for result in results):
        return Result(**summary, output_name=job.output_name)
    if job.in_place:
        return Result(**summary, status="unchanged")
    # An output of its own, as a loose file gets, for a file no rule changes.
    shutil.copyfile(job.source, staged)
    return Result(**summary, output_name=job.output_name, status="unchanged")


class _Progress:
    """Sends a remux's progress once it has taken a second, a few times a second."""

    def __init__(self, index: int, connection: "Connection") -> None:
        self._index = index
        self._connection = connection
        self._started: float | None = None  # when mkvmerge first reported
        self._sent = 0.0

    def __call__(self, share: float) -> None:
        now = time.monotonic()
        if self._started is None:
            self._started = now
        if now - self._started >= PROGRESS_AFTER and now - self._sent >= PROGRESS_EVERY:
            self._sent = now
            self._connection.send(("progress", self._index, share))


def _preview(job: Job, api: ModuleType, matroska: ModuleType, words: Any, options: dict[str, Any]) -> Result:
    previews = matroska.preview(job.source, words, **options)
    if not previews:
        return Result(job.index, status="skipped", note=no_track(job.tracks))
    changes = []
    changed_by: list[tuple[str, ...]] = []
    for found in previews:
        changes += [
            (_key(found.track, key), before, after)
            for key, (_, before, after) in zip(found.preview.keys, found.preview.changes, strict=True)
        ]
        changed_by += found.preview.changed_by
    summary = _summary(
        job.index,
        [
            matroska.TrackResult(
                found.track,
                None,
                found.preview.texts,
                len(found.preview.changes),
                found.preview.format,
                found.preview.rules,
            )
            for found in previews
        ],
    )
    diff = _diff(job, api, matroska, words) if job.diff and changes else ()
    return Result(**summary, changes=tuple(changes), changed_by=tuple(changed_by), diff=diff)


def _key(track: "Track", key: str) -> str:
    # Shown after the word "track": "track 2 event 15".
    return f"{track.id} {text_label(track.format)} {key}"


def _diff(job: Job, api: ModuleType, matroska: ModuleType, words: Any) -> tuple[str, ...]:
    hunks: list[str] = []
    for track, before in matroska.extracted(job.source, tracks=job.tracks):
        after = _rewritten(job, api, matroska, words, track, before)
        if after == before:
            continue
        # The report puts the file's name as the command line gave it in place of PATH.
        hunks += [f"--- {PATH} track {track.id}\n+++ {PATH} track {track.id}\n"]
        hunks += diff_hunks(before.decode("utf-8", "backslashreplace"), after.decode("utf-8", "backslashreplace"))
    return tuple(hunks)


def _rewrites_backup(job: Job, api: ModuleType, matroska: ModuleType, words: Any) -> bool:
    """A rerun of --in-place: whether the file's chosen tracks are those of its
    backup, rewritten (a remux itself differs each time, in its date and UIDs)."""
    try:
        original = matroska.extracted(job.backup, tracks=job.tracks)
    except api.SubtitleFileError:
        return False  # a backup that is no Matroska file has no rewrite the file could be
    current = matroska.extracted(job.source, tracks=job.tracks)
    return [track.id for track, _ in original] == [track.id for track, _ in current] and all(
        _rewritten(job, api, matroska, words, track, before) == after
        for (track, before), (_, after) in zip(original, current, strict=True)
    )


def _rewritten(job: Job, api: ModuleType, matroska: ModuleType, words: Any, track: "Track", data: bytes) -> bytes:
    """A track's bytes as a rewrite puts them back."""
    if matroska.REPLACED in data:
        return data  # left as it is
    return api.rewrite_bytes(  # type: ignore[no-any-return]
        data, track.format, words, protect_tags=job.protect_tags, unicode=job.unicode, encoding="utf-8"
    )


def _summary(index: int, results: "list[TrackResult]") -> dict[str, Any]:
    """The Result fields a file's tracks add up to."""
    rules: dict[str, int] = {}
    for result in results:
        for pattern, count in result.rules.items():
            rules[pattern] = rules.get(pattern, 0) + count
    return dict(
        index=index,
        texts=sum(result.texts for result in results),
        changed=sum(result.changed for result in results),
        # mkvextract hands every track over as UTF-8.
        encoding="utf-8",
        confidence=1.0,
        format=FORMAT,
        rules=tuple(rules.items()),
        note=_note(results),
        tracks=tuple(_described(result) for result in results),
    )


def _note(results: "list[TrackResult]") -> str:
    """The tracks' part of the file's line: which changed, which were left as they are."""
    changed = [
        f"{result.track.id} ({result.track.tag} {result.format or result.track.format})"
        for result in results
        if result.changed
    ]
    parts = [f"track{'s' if len(changed) > 1 else ''} {', '.join(changed)} changed" if changed else "no track changed"]
    parts += [f"track {result.track.id} left as it is: {result.left}" for result in results if result.left]
    return "; ".join(parts)


def _described(result: "TrackResult") -> dict[str, object]:
    return {
        "id": result.track.id,
        "codec": result.track.codec,
        "language": result.track.tag,
        "name": result.track.name,
        "texts": result.texts,
        "texts_changed": result.changed,
        "output": None if result.output is None else result.output.name,
    }
