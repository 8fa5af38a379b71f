"""mkvmerge, mkvextract and mkvinfo, run as programs: identify a Matroska file,
extract its text tracks, and mux a copy with some of them replaced.

Every tool gets an argument list (no shell) and absolute paths, so a name that
starts with '-' or '@', or holds spaces, brackets or newlines, stays a file name."""

import ctypes
import functools
import json
import os
import re
import selectors
import shutil
import signal
import subprocess
import tempfile
import time
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import Any
from xml.etree import ElementTree

PACKAGE = "mkvtoolnix"
MISSING = f"needs {PACKAGE} (mkvmerge, mkvextract): apt-get install {PACKAGE}"
# The hearing-impaired, visual-impaired, original, commentary and text-description
# flags came with 54.0; an older mkvmerge would drop them silently.
OLDEST = (54, 0)
# mkvmerge's own messages, in English whatever the user's locale, for the reasons we quote.
_ENGLISH = ("--ui-language", "en_US")
_PR_SET_PDEATHSIG = 1
_PROGRESS = re.compile(rb"#GUI#progress (\d+)%")
_TIMESTAMP_SCALE = re.compile(r"^\|\s*\+ Timestamp scale: (\d+)\s*$", re.MULTILINE)

Progress = Callable[[float], None]


class ToolError(RuntimeError):
    """mkvtoolnix is missing, too old, or one of its programs failed."""


@dataclass(frozen=True)
class Tools:
    mkvmerge: str
    mkvextract: str
    mkvinfo: str


def tools() -> Tools:
    """The programs found on PATH, mkvmerge's version checked. ToolError otherwise."""
    found = [shutil.which(name) for name in ("mkvmerge", "mkvextract", "mkvinfo")]
    if None in found:
        raise ToolError(MISSING)
    mkvmerge, mkvextract, mkvinfo = (str(path) for path in found)
    _require_version(os.path.realpath(mkvmerge))
    return Tools(mkvmerge, mkvextract, mkvinfo)


@functools.cache
def _require_version(mkvmerge: str) -> None:
    # Once per program: a run over a thousand files asks it once.
    completed = subprocess.run(
        [mkvmerge, "--version"], capture_output=True, stdin=subprocess.DEVNULL, timeout=30, check=False
    )
    output = completed.stdout.decode(errors="replace")
    found = re.search(r"v(\d+)\.(\d+)", output)
    if found is None:
        raise ToolError(f"{mkvmerge} --version says {output.strip()!r}, not a version; {MISSING}")
    version = (int(found[1]), int(found[2]))
    if version < OLDEST:
        raise ToolError(
            f"mkvmerge {found[1]}.{found[2]} is too old: the track flags need {OLDEST[0]}.{OLDEST[1]} or later "
            f"({PACKAGE} from a newer release)"
        )


def run(arguments: Sequence[str], timeout: float | None = None, progress: Progress | None = None) -> str:
    """The program's standard output. ToolError with its own reason when it fails
    (mkvmerge's exit status 1 is warnings alone: the output is complete). The
    program ends with the caller: on an exception here, or when the process that
    started it is killed."""
    name = os.path.basename(arguments[0])
    deadline = None if timeout is None else time.monotonic() + timeout
    with (
        tempfile.TemporaryFile() as errors,
        subprocess.Popen(
            arguments,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=errors,
            preexec_fn=_end_with_parent,
        ) as process,
    ):
        try:
            output = _read(process, deadline, progress)
            process.wait(timeout=None if deadline is None else max(0.0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            raise ToolError(f"{name} took longer than {timeout:g} s") from None
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        errors.seek(0)
        complaint = errors.read()
    if process.returncode not in (0, 1):
        raise ToolError(f"{name}: {_reason(output + complaint) or f'exit status {process.returncode}'}")
    return output.decode(errors="replace")


def _end_with_parent() -> None:
    # A worker killed at its time limit takes its mkvmerge along, or that would go on writing.
    ctypes.CDLL(None).prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def _read(process: "subprocess.Popen[bytes]", deadline: float | None, progress: Progress | None) -> bytes:
    assert process.stdout is not None
    chunks: list[bytes] = []
    with selectors.DefaultSelector() as selector:
        selector.register(process.stdout, selectors.EVENT_READ)
        while True:
            left = None if deadline is None else deadline - time.monotonic()
            if left is not None and left <= 0:
                raise subprocess.TimeoutExpired(process.args, 0)
            if not selector.select(left):
                continue
            chunk = os.read(process.stdout.fileno(), 1 << 16)
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)
            if progress is not None:
                for percent in _PROGRESS.findall(chunk):
                    progress(int(percent) / 100)


def _reason(output: bytes) -> str:
    """What the program said went wrong: its error lines, else its last line."""
    lines = [line.strip() for line in output.decode(errors="replace").splitlines() if line.strip()]
    errors = [line.removeprefix("#GUI#error ").removeprefix("Error: ") for line in lines if "rror" in line[:12]]
    return " ".join(errors) or (lines[-1] if lines else "")


def identify(tools: Tools, path: str, timeout: float | None = None) -> dict[str, Any]:
    """`mkvmerge -J`'s description of the file. ToolError when mkvmerge can't read
    it as Matroska, with its reason."""
    document: dict[str, Any] = json.loads(run([tools.mkvmerge, *_ENGLISH, "-J", os.path.abspath(path)], timeout))
    container = document.get("container", {})
    if document.get("errors"):
        raise ToolError("mkvmerge: " + " ".join(document["errors"]))
    if not container.get("recognized"):
        raise ToolError("mkvmerge does not recognise the file's type")
    if container.get("type") != "Matroska":
        raise ToolError(f"mkvmerge reads it as {container.get('type')}, not Matroska")
    if not document.get("tracks"):
        raise ToolError("mkvmerge finds no track in it (a damaged or truncated file?)")
    return document


def timestamp_scale(tools: Tools, path: str, timeout: float | None = None) -> int | None:
    """The file's timestamp scale in nanoseconds: a copy muxed with another would
    move every frame's time (mkvmerge -J doesn't say it)."""
    found = _TIMESTAMP_SCALE.search(run([tools.mkvinfo, *_ENGLISH, os.path.abspath(path)], timeout))
    return int(found[1]) if found else None


def extract(
    tools: Tools, path: str, tracks: dict[int, str], folder: str, timeout: float | None = None
) -> tuple[dict[int, str], str | None]:
    """Each track of `tracks` (id -> the ending of its loose file) extracted into
    `folder` as a loose file, and the file's tags (None when it has none), in one
    reading of the file."""
    extracted = {track: os.path.join(folder, f"track-{track}{ending}") for track, ending in tracks.items()}
    tags = os.path.join(folder, "tags.xml")
    run(
        [
            tools.mkvextract,
            *_ENGLISH,
            os.path.abspath(path),
            "tracks",
            *(f"{track}:{text}" for track, text in extracted.items()),
            "tags",
            tags,
        ],
        timeout,
    )
    return extracted, tags if os.path.exists(tags) else None


# mkvmerge -J's name of each flag, and the option that sets it.
FLAGS = {
    "default_track": "--default-track-flag",
    "forced_track": "--forced-display-flag",
    "enabled_track": "--track-enabled-flag",
    "flag_hearing_impaired": "--hearing-impaired-flag",
    "flag_visual_impaired": "--visual-impaired-flag",
    "flag_text_descriptions": "--text-descriptions-flag",
    "flag_original": "--original-flag",
    "flag_commentary": "--commentary-flag",
}


@dataclass(frozen=True)
class Replacement:
    track: dict[str, Any]  # the track as mkvmerge -J describes it
    text: str  # the rewritten loose file, UTF-8
    tags: str | None  # the track's own tags, or None


def mux(
    tools: Tools,
    source: str,
    identified: dict[str, Any],
    replacements: list[Replacement],
    output: str,
    scale: int | None,
    timeout: float | None = None,
    progress: Progress | None = None,
) -> None:
    """Writes `output`: `source` with each replaced track in its place, with its
    properties; everything else mkvmerge carries over from `source` as it is."""
    replaced = {replacement.track["id"]: index + 1 for index, replacement in enumerate(replacements)}
    arguments = [tools.mkvmerge, *_ENGLISH, "--gui-mode", "-o", os.path.abspath(output)]
    if scale is not None:
        arguments += ["--timestamp-scale", str(scale)]
    uid = identified["container"].get("properties", {}).get("segment_uid")
    if uid:
        # Other files' ordered chapters may point at this one by its UID.
        arguments += ["--segment-uid", "0x" + uid]
    arguments += ["--subtitle-tracks", "!" + ",".join(str(track) for track in replaced), os.path.abspath(source)]
    for replacement in replacements:
        arguments += [*_properties(replacement), os.path.abspath(replacement.text)]
    order = [
        f"{replaced[track['id']]}:0" if track["id"] in replaced else f"0:{track['id']}"
        for track in identified["tracks"]
    ]
    arguments += ["--track-order", ",".join(order)]
    run(arguments, timeout, progress)


def _properties(replacement: Replacement) -> list[str]:
    properties = replacement.track.get("properties", {})
    language = properties.get("language_ietf") or properties.get("language") or "und"
    options = ["--language", f"0:{language}", "--sub-charset", "0:UTF-8"]
    if properties.get("track_name"):
        options += ["--track-name", f"0:{properties['track_name']}"]
    for flag, option in FLAGS.items():
        # A flag the file doesn't write stays unwritten, as players tell the two apart.
        if flag in properties:
            options += [option, f"0:{int(bool(properties[flag]))}"]
    compressed = properties.get("content_encoding_algorithms") == "0"
    options += ["--compression", "0:zlib" if compressed else "0:none"]
    if replacement.tags is not None:
        options += ["--tags", f"0:{os.path.abspath(replacement.tags)}"]
    return options


# The tags mkvmerge writes for every track it muxes: the copy gets its own.
_STATISTICS = {"BPS", "DURATION", "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES"}


def track_tags(tags: str, uid: int, output: str) -> str | None:
    """Writes into `output` the tags of `tags` (mkvextract's XML) that target the
    track `uid` alone, less the statistics; `output`, or None when none is left."""
    document = ElementTree.parse(tags)
    kept = ElementTree.Element("Tags")
    for tag in document.getroot().findall("Tag"):
        targets = tag.find("Targets")
        uids = [] if targets is None else targets.findall("TrackUID")
        if [element.text for element in uids] != [str(uid)]:
            continue
        for simple in tag.findall("Simple"):
            name = (simple.findtext("Name") or "").split("-")[0]
            if name in _STATISTICS or name.startswith("_STATISTICS_"):
                tag.remove(simple)
        if tag.find("Simple") is None:
            continue
        assert targets is not None
        for element in uids:
            # mkvmerge points the tags at the track they are given with.
            targets.remove(element)
        kept.append(tag)
    if not len(kept):
        return None
    ElementTree.ElementTree(kept).write(output, encoding="utf-8", xml_declaration=True)
    return output
