"""The text subtitle tracks inside Matroska files (.mkv, .mka, .mks), rewritten as
loose files are: each chosen track is extracted with mkvextract, goes through the
same passes as the bytes of a loose file, and only a track the rules change is
put back, by mkvmerge, in its place and with its properties. Everything else in
the file stays as it was, and the video is never read into memory.

    from c_quorvant import WordList, matroska
    words = WordList.load("words.json")
    for result in matroska.rewrite("Show - 01.mkv", words, tracks="eng"):
        print(result.track.id, result.changed, result.output)

Needs mkvtoolnix on PATH (ToolError otherwise). Raises as the loose-file calls
do; SubtitleFileError names the file and, for one track's text, the track."""

from __future__ import annotations

import codecs
import contextlib
import json
import os
import pathlib
import shutil
import stat
import tempfile
from collections.abc import Callable, Iterator
from dataclasses import dataclass, field, replace
from typing import Any

from c_quorvant import _api
from c_quorvant.api import (
    Preview,
    ProtectTags,
    StrPath,
    WordList,
    _previewed,
    _refuse_writing_over_the_input,
    _require_word_list,
    _rewritten,
    _tags_protected,
    default_output,
)
from c_quorvant.containers import mkvtoolnix
from c_quorvant.containers.mkvtoolnix import ToolError
from c_quorvant.containers.tracks import ALL, Track, chosen, sidecar_names, text_tracks
from c_quorvant.errors import SubtitleFileError, UnrepresentableTextError
from c_quorvant.text_encoding import choose

__all__ = [
    "ALL",
    "ToolError",
    "Track",
    "TrackPreview",
    "TrackResult",
    "export",
    "extracted",
    "preview",
    "rewrite",
    "tracks",
]

# mkvextract hands over a track's bytes that are not UTF-8 as U+FFFD: what they were
# is lost on the way, so such a track is left in the file as it is.
REPLACED = "\ufffd".encode()
MENDED = "not UTF-8, and mkvextract gives its other bytes only as U+FFFD"
# Room left beside the copy for the file system's own needs.
SPACE_MARGIN = 16 << 20
Progress = Callable[[float], None]


@dataclass(frozen=True)
class TrackResult:
    """What a call did with one track: `output` is where its text went (the
    remuxed file, its sidecar file or the export), None when nothing was
    written for it; the counts are PassResult's for the track's text, read as
    UTF-8."""

    track: Track
    output: pathlib.Path | None
    texts: int
    changed: int
    format: str = ""
    rules: dict[str, int] = field(default_factory=dict)
    left: str = ""  # why rewrite left the track as it is without reading it; "" when it read it


@dataclass(frozen=True)
class TrackPreview:
    track: Track
    preview: Preview


def tracks(path: StrPath, *, timeout: float | None = None) -> list[Track]:
    """The text subtitle tracks of the Matroska file at `path`, in the file's order."""
    return text_tracks(_identified(path, timeout)[1])


def rewrite(
    path: StrPath,
    words: WordList,
    output: StrPath | None = None,
    *,
    tracks: str = ALL,
    sidecar: bool = False,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    timeout: float | None = None,
    progress: Progress | None = None,
) -> list[TrackResult]:
    """Rewrites the chosen text tracks (`tracks`: ids, language codes or "all",
    separated by commas) of the Matroska file at `path`; one result per chosen
    track, none when no track is chosen.

    The copy goes to `output`, by default "[Quorvanted] <name>" beside the input:
    the input with each changed track swapped in, every other track, attachment,
    chapter, tag and property kept. With sidecar=True each changed track is
    written instead as a loose file in the folder `output` (the input's by
    default), named as media servers look for them ("Show.en.ass"). Nothing is
    written when no rule changes a track. The tracks are read as UTF-8, which is
    all mkvextract gives: a track holding other bytes is left as it is, its
    result saying why in `left`. `progress` gets the remux's share done (0 to
    1); `timeout` limits each mkvtoolnix program's run."""
    _require_word_list(words)
    source = os.fspath(path)
    if sidecar:
        target = os.fspath(output) if output is not None else os.path.dirname(source) or os.curdir
    else:
        target = os.fspath(output if output is not None else default_output(source, False))
        _refuse_writing_over_the_input(source, target)
    work_in = target if sidecar else os.path.dirname(os.path.abspath(target))
    with _Session(source, tracks, work_in, timeout) as session:
        results: list[TrackResult] = []
        replaced: list[tuple[Track, bytes]] = []
        for track, data in session.extract():
            if REPLACED in data:
                results.append(TrackResult(track, None, 0, 0, track.format, left=MENDED))
                continue
            with _for_track(source, track):
                tags = _tags_protected(protect_tags, track.format, source)
                # Matroska text is UTF-8 by definition, and mkvextract hands it over so.
                decoding = choose(data, "utf-8")
                rewritten, count, changed, read, rules = _rewritten(
                    data, track.format, words, tags, unicode, decoding, None, source
                )
            results.append(TrackResult(track, None, count, changed, read, rules))
            if changed:
                replaced.append((track, rewritten))
        if not replaced:
            return results
        written = session.write_sidecars(replaced, target) if sidecar else session.remux(replaced, target, progress)
        return [replace(result, output=written.get(result.track.id)) for result in results]


def export(
    path: StrPath,
    words: WordList,
    output: StrPath | None = None,
    *,
    tracks: str = ALL,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    timeout: float | None = None,
) -> list[TrackResult]:
    """Writes the rewritten texts of the chosen tracks as one JSON document, by
    default "[Quorvanted] <stem>.json" beside the input: each track's id (as a
    string) -> that track's export object (key -> text). Nothing is written when
    no track is chosen."""
    _require_word_list(words)
    source = os.fspath(path)
    target = os.fspath(output if output is not None else default_output(source, True))
    document: dict[str, dict[str, str]] = {}
    results = []
    with _Session(source, tracks, os.path.dirname(os.path.abspath(target)), timeout) as session:
        for track, data in session.extract():
            if REPLACED in data:
                results.append(TrackResult(track, None, 0, 0, track.format, left=MENDED))
                continue
            with _for_track(source, track):
                tags = _tags_protected(protect_tags, track.format, source)
                found, texts, changed, read, rules = _api.export_texts(
                    data, track.format, words._compiled, tags, unicode, source
                )
            document[str(track.id)] = found
            results.append(TrackResult(track, pathlib.Path(target), texts, changed, read, rules))
    if results:
        content = json.dumps(document, ensure_ascii=False, indent=2).encode() + b"\n"
        _api.write_output(os.fsencode(target), content, stat.S_IMODE(os.stat(source).st_mode))
    return results


def preview(
    path: StrPath,
    words: WordList,
    *,
    tracks: str = ALL,
    protect_tags: ProtectTags = False,
    unicode: bool = False,
    timeout: float | None = None,
) -> list[TrackPreview]:
    """What rewrite would change in each chosen track; writes nothing."""
    _require_word_list(words)
    source = os.fspath(path)
    previews = []
    with _Session(source, tracks, None, timeout) as session:
        for track, data in session.extract():
            with _for_track(source, track):
                tags = _tags_protected(protect_tags, track.format, source)
                found = _previewed(data, track.format, words, tags, unicode, "utf-8", None, source)
            previews.append(TrackPreview(track, found))
    return previews


def extracted(path: StrPath, *, tracks: str = ALL, timeout: float | None = None) -> list[tuple[Track, bytes]]:
    """The chosen text tracks with the bytes of each as a loose file, as the calls
    above rewrite them (for a diff of what a rewrite changes)."""
    source = os.fspath(path)
    with _Session(source, tracks, None, timeout) as session:
        return session.extract()


def _identified(path: StrPath, timeout: float | None) -> tuple[mkvtoolnix.Tools, dict[str, Any]]:
    """The tools, and mkvmerge's description of the file; ToolError when the tools
    are missing, SubtitleFileError naming the file when mkvmerge refuses it."""
    source = os.fspath(path)
    # Any name: mkvmerge tells Matroska by its content (an --in-place backup is NAME.mkv.orig).
    if not os.path.isfile(source):
        raise SubtitleFileError(source, "no such file" if not os.path.exists(source) else "not a file")
    tools = mkvtoolnix.tools()
    try:
        return tools, mkvtoolnix.identify(tools, source, timeout)
    except ToolError as error:
        raise SubtitleFileError(source, str(error)) from None


class _Session:
    """One Matroska file's chosen tracks, worked on in private folders that are
    removed with everything in them on the way out, however that is: the text
    tracks in `place` (beside the output, where the command line's staging folder
    takes a killed worker's leftovers along; None: the system's temporary folder),
    a remuxed copy beside its output, for the move into place."""

    def __init__(self, source: str, choice: str, place: str | None, timeout: float | None) -> None:
        self._source = source
        self._choice = choice
        self._place = place
        self._timeout = timeout
        self._folders: list[str] = []

    def __enter__(self) -> _Session:
        self._tools, self._identified = _identified(self._source, self._timeout)
        self._tracks = chosen(text_tracks(self._identified), self._choice)
        # mkvextract refuses a destination that holds a line end: the text tracks go elsewhere.
        self._folder = self._private_folder(None if "\n" in (self._place or "") else self._place)
        return self

    def __exit__(self, *_exception: object) -> None:
        for folder in self._folders:
            shutil.rmtree(folder, ignore_errors=True)

    def _private_folder(self, place: str | None) -> str:
        folder = tempfile.mkdtemp(prefix=".quorvant-", dir=place)
        self._folders.append(folder)
        return folder

    def extract(self) -> list[tuple[Track, bytes]]:
        """Each chosen track's bytes as a loose file."""
        if not self._tracks:
            return []
        try:
            self._extracted, self._tags = mkvtoolnix.extract(
                self._tools,
                self._source,
                {track.id: "." + track.format for track in self._tracks},
                self._folder,
                self._timeout,
            )
        except ToolError as error:
            raise SubtitleFileError(self._source, str(error)) from None
        found = []
        for track in self._tracks:
            with open(self._extracted[track.id], "rb") as file:
                # mkvextract starts every text file with a UTF-8 mark, which says nothing
                # of the track's own bytes: a track that isn't UTF-8 must be detected as one.
                found.append((track, file.read().removeprefix(codecs.BOM_UTF8)))
        return found

    def write_sidecars(self, replaced: list[tuple[Track, bytes]], folder: str) -> dict[int, pathlib.Path]:
        stem = os.path.splitext(os.path.basename(self._source))[0]
        names = sidecar_names(stem, self._tracks)
        permissions = stat.S_IMODE(os.stat(self._source).st_mode)
        written = {}
        for track, data in replaced:
            target = os.path.join(folder, names[track.id])
            _api.write_output(os.fsencode(target), data, permissions)
            written[track.id] = pathlib.Path(target)
        return written

    def remux(
        self, replaced: list[tuple[Track, bytes]], target: str, progress: Progress | None
    ) -> dict[int, pathlib.Path]:
        place = os.path.dirname(os.path.abspath(target))
        self._require_space(place)
        replacements = []
        for track, data in replaced:
            text = self._extracted[track.id]
            with open(text, "wb") as file:
                file.write(data)
            tags = None
            if self._tags is not None:
                own = os.path.join(self._folder, f"track-{track.id}.tags.xml")
                tags = mkvtoolnix.track_tags(self._tags, track.uid, own)
            described = next(item for item in self._identified["tracks"] if item["id"] == track.id)
            replacements.append(mkvtoolnix.Replacement(described, text, tags))
        beside = self._folder if self._place == place else self._private_folder(place)
        staged = os.path.join(beside, "remuxed" + os.path.splitext(target)[1])
        try:
            scale = mkvtoolnix.timestamp_scale(self._tools, self._source, self._timeout)
            mkvtoolnix.mux(
                self._tools, self._source, self._identified, replacements, staged, scale, self._timeout, progress
            )
        except ToolError as error:
            raise SubtitleFileError(self._source, str(error)) from None
        # No output gets a permission bit its input lacks, as for a loose file.
        os.chmod(staged, stat.S_IMODE(os.stat(self._source).st_mode))
        os.replace(staged, target)
        return {track.id: pathlib.Path(target) for track, _data in replaced}

    def _require_space(self, place: str) -> None:
        needed = os.path.getsize(self._source) + SPACE_MARGIN
        free = shutil.disk_usage(place).free
        if free < needed:
            raise SubtitleFileError(
                self._source,
                f"not enough free space in {place} for the copy: {_megabytes(needed)} needed, {_megabytes(free)} free",
            )


@contextlib.contextmanager
def _for_track(source: str, track: Track) -> Iterator[None]:
    """A failure of one track's text names the file and the track."""
    try:
        yield
    except SubtitleFileError as error:
        raise SubtitleFileError(source, f"track {track.id}: {error.reason}") from None
    except UnrepresentableTextError as error:
        raise SubtitleFileError(source, f"track {track.id}: {error}") from None
    except ValueError as error:
        raise ValueError(f"{source}: track {track.id}: {error}") from None


def _megabytes(size: int) -> str:
    return f"{size / (1 << 20):,.0f} MB"
