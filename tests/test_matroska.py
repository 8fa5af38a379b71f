"""Matroska files, made with mkvmerge as the tests run and checked with mkvmerge -J
and mkvextract: the rewritten tracks are the loose-file rewrite of each track, and
everything else comes through as it was."""

import contextlib
import json
import math
import os
import pty
import re
import shutil
import signal
import struct
import subprocess
import sys
import termios
import time
import wave
from xml.etree import ElementTree

import pytest
from conftest import DATA_DIR, quorvant

from c_quorvant import WordList, matroska, rewrite_bytes
from c_quorvant.cli.report import ALREADY_REWRITTEN
from c_quorvant.containers.tracks import Track, sidecar_names
from c_quorvant.errors import SubtitleFileError

pytestmark = pytest.mark.skipif(shutil.which("mkvmerge") is None, reason="needs mkvtoolnix")

INPUTS = DATA_DIR / "matroska"
WORDS = WordList.load(INPUTS / "words.json")
# Text that mkvmerge would mend on the way in: put into the muxed file afterwards.
# mkvextract hands it over mended, so the track is left as it is.
LEGACY = "Café crème brûlée à la française, déjà vu, Tanaka-san."
# id -> (loose file, mkvmerge's options for it); track 0 is the audio.
TRACKS = {
    1: ("episode.ass", ["--language", "0:en", "--track-name", "0:Dialogue", "--tags", "0:track-tags.xml"]),
    2: ("episode.srt", ["--language", "0:eng", "--hearing-impaired-flag", "0:1", "--compression", "0:zlib"]),
    3: ("episode.vtt", ["--language", "0:ja", "--forced-display-flag", "0:1", "--default-track-flag", "0:0"]),
    4: ("signs.ass", ["--language", "0:en", "--track-name", "0:Signs & Songs", "--commentary-flag", "0:1"]),
    5: ("legacy.srt", ["--language", "0:fr", "--compression", "0:none", "--original-flag", "0:1"]),
    6: ("image.sup", ["--language", "0:en"]),
}
CHANGED = (1, 2, 3)


def mkv(*arguments):
    return subprocess.run(["mkvmerge", *arguments], capture_output=True, text=True, timeout=60, check=False)


def identify(path):
    return json.loads(mkv("-J", str(path)).stdout)


def extract(path, mode, *specs):
    done = subprocess.run(["mkvextract", str(path), mode, *specs], capture_output=True, timeout=60, check=False)
    assert done.returncode == 0, done.stdout


def extracted(path, track, tmp_path, mode="tracks"):
    target = tmp_path / f"extracted-{abs(hash(path.name))}-{track}-{mode}"
    extract(path, mode, f"{track}:{target}")
    return target.read_bytes()


def tone(path, seconds=3):
    with wave.open(str(path), "wb") as audio:
        audio.setnchannels(1)
        audio.setsampwidth(2)
        audio.setframerate(8000)
        audio.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(i / 3))) for i in range(8000 * seconds)))


def image_track(path):
    """Two display sets of a PGS stream: mkvmerge takes it as an image subtitle track."""
    segments = b""
    for number, pts in enumerate((45000, 90000)):
        composition = struct.pack(">HHBHBBBB", 640, 360, 0x10, number, 0x80 if not number else 0, 0, 0, 0)
        window = struct.pack(">BBHHHH", 1, 0, 0, 0, 10, 10)
        for kind, data in ((0x16, composition), (0x17, window), (0x80, b"")):
            segments += b"PG" + struct.pack(">IIBH", pts, 0, kind, len(data)) + data
    path.write_bytes(segments)


@pytest.fixture
def episode(tmp_path):
    """A Matroska file with an audio track, the text tracks of TRACKS, an image
    track, a font, chapters, global and track tags and a title."""
    for name in os.listdir(INPUTS):
        shutil.copy(INPUTS / name, tmp_path / name)
    tone(tmp_path / "tone.wav")
    image_track(tmp_path / "image.sup")
    arguments = ["-o", "episode.mkv", "--timestamp-scale", "1000000", "--title", "Episode 1 [test]"]
    arguments += ["--chapters", "chapters.xml", "--global-tags", "global-tags.xml"]
    arguments += ["--attachment-mime-type", "font/ttf", "--attach-file", "font.ttf", "tone.wav"]
    for name, options in TRACKS.values():
        arguments += [*options, name]
    made = subprocess.run(["mkvmerge", *arguments], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert made.returncode == 0, made.stdout
    path = tmp_path / "episode.mkv"
    # A French track in Windows-1252, which happens in real files.
    data = path.read_bytes()
    assert data.count(LEGACY.encode()) == 1
    path.write_bytes(data.replace(LEGACY.encode(), LEGACY.encode("cp1252").ljust(len(LEGACY.encode()), b"~")))
    return path


def properties(path):
    """Each track's properties as mkvmerge -J gives them, less the ones a new mux sets itself."""
    tracks = identify(path)["tracks"]
    return [
        (track["type"], {k: v for k, v in track["properties"].items() if k not in ("uid", "number")})
        for track in tracks
    ]


def without_statistics(tags_xml):
    root = ElementTree.fromstring(tags_xml)
    kept = []
    for tag in root.findall("Tag"):
        simples = [
            (simple.findtext("Name"), simple.findtext("String"))
            for simple in tag.findall("Simple")
            if simple.findtext("Name") not in ("BPS", "DURATION", "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES")
            and not simple.findtext("Name").startswith("_STATISTICS_")
        ]
        targets = tag.find("Targets")
        target_type = None if targets is None else targets.findtext("TargetTypeValue")
        if simples:
            kept.append((target_type, simples))
    return kept


def test_a_rewrite_swaps_in_the_changed_tracks_and_keeps_everything_else(episode, tmp_path):
    done = quorvant("rewrite", episode.name, "-w", "words.json", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    output = tmp_path / "[Quorvanted] episode.mkv"
    assert done.stdout.splitlines()[0] == (
        "episode.mkv -> [Quorvanted] episode.mkv [tracks 1 (en ass), 2 (en srt), 3 (ja vtt) changed; "
        "track 5 left as it is: not UTF-8, and mkvextract gives its other bytes only as U+FFFD]"
    )
    before, after = identify(episode), identify(output)
    assert after["container"]["properties"]["title"] == "Episode 1 [test]"
    assert after["container"]["properties"]["segment_uid"] == before["container"]["properties"]["segment_uid"]
    assert properties(output) == properties(episode)
    assert after["attachments"] == before["attachments"]
    assert extracted(output, 1, tmp_path, "attachments") == (INPUTS / "font.ttf").read_bytes()
    for what in ("chapters", "tags"):
        extract(episode, what, str(tmp_path / f"before-{what}.xml"))
        extract(output, what, str(tmp_path / f"after-{what}.xml"))
    assert (tmp_path / "before-chapters.xml").read_bytes() == (tmp_path / "after-chapters.xml").read_bytes()
    kept_tags = without_statistics((tmp_path / "after-tags.xml").read_bytes())
    assert kept_tags == without_statistics((tmp_path / "before-tags.xml").read_bytes())
    assert (None, [("TRANSLATOR", "Ann Example")]) in kept_tags
    for track in range(len(TRACKS) + 1):
        times = extracted(output, track, tmp_path, "timestamps_v2")
        assert times == extracted(episode, track, tmp_path, "timestamps_v2"), track
        original = extracted(episode, track, tmp_path)
        if track not in CHANGED:
            assert extracted(output, track, tmp_path) == original, track
        else:
            fmt = {1: "ass", 2: "srt", 3: "vtt"}[track]
            assert extracted(output, track, tmp_path) == rewrite_bytes(original, fmt, WORDS), track


def test_the_api_lists_text_tracks_with_their_flags_and_chooses_by_id_or_language(episode):
    found = {track.id: track for track in matroska.tracks(episode)}
    assert sorted(found) == [1, 2, 3, 4, 5]
    assert (found[2].format, found[2].tag, found[2].hearing_impaired) == ("srt", "en", True)
    assert (found[3].forced, found[3].default, found[4].name, found[4].commentary) == (
        True,
        False,
        "Signs & Songs",
        True,
    )
    results = matroska.preview(episode, WORDS, tracks="ja, 4")
    assert [(found.track.id, len(found.preview.changes)) for found in results] == [(3, 2), (4, 0)]


@pytest.mark.parametrize(
    "tracks, expected",
    [
        # (language, hearing-impaired, forced, format, name) of each track -> its file's name
        ([("en", False, False, "ass", "")], ["Show - 01.en.ass"]),
        ([("en", True, False, "srt", "")], ["Show - 01.en.sdh.srt"]),
        ([("ja", False, True, "ass", "")], ["Show - 01.ja.forced.ass"]),
        ([("und", False, False, "vtt", "")], ["Show - 01.vtt"]),
        (
            [("en", False, False, "ass", "Dialogue"), ("en", False, False, "ass", "Signs/Songs")],
            ["Show - 01.Dialogue.en.ass", "Show - 01.Signs Songs.en.ass"],
        ),
        (
            [("en", False, False, "ass", ""), ("en", False, False, "ass", ""), ("en", True, False, "ass", "")],
            ["Show - 01.track1.en.ass", "Show - 01.track2.en.ass", "Show - 01.en.sdh.ass"],
        ),
    ],
)
def test_sidecar_names(tracks, expected):
    made = [
        Track(number, "", fmt, "", language, name, False, forced, True, impaired, False, False, False)
        for number, (language, impaired, forced, fmt, name) in enumerate(tracks, start=1)
    ]
    assert list(sidecar_names("Show - 01", made).values()) == expected


# A legacy encoding named for a run's loose files can't turn a track into mojibake.
@pytest.mark.parametrize("encoding", [[], ["--encoding", "cp1252"]])
def test_sidecar_files_leave_the_video_alone(episode, tmp_path, encoding):
    untouched = episode.read_bytes()
    arguments = ["rewrite", episode.name, "-w", "words.json", "--sidecar", "--tracks", "eng,ja", *encoding]
    done = quorvant(*arguments, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert episode.read_bytes() == untouched
    for track, name in ((1, "episode.Dialogue.en.ass"), (2, "episode.en.sdh.srt"), (3, "episode.ja.forced.vtt")):
        loose = rewrite_bytes(extracted(episode, track, tmp_path), name[-3:], WORDS)
        assert (tmp_path / name).read_bytes() == loose.removeprefix(b"\xef\xbb\xbf"), name
    # Track 4 is English too, but no rule changes it.
    assert not list(tmp_path.glob("episode.*Signs*"))


@pytest.mark.parametrize(
    "case, expected, status",
    [
        ("no mkvtoolnix", "needs mkvtoolnix (mkvmerge, mkvextract): apt-get install mkvtoolnix", 1),
        ("old mkvmerge", "mkvmerge 50.0 is too old", 1),
        ("not matroska", "mkvmerge does not recognise the file's type", 1),
        ("truncated", "mkvmerge finds no track in it", 1),
        ("no track chosen", "skipped episode.mkv: no text track matches --tracks de", 0),
    ],
)
def test_refusals_write_nothing_and_the_run_goes_on(episode, tmp_path, case, expected, status):
    tools = tmp_path / "bin"
    tools.mkdir()
    environment = {"PATH": str(tools), "HOME": str(tmp_path)}
    if case != "no mkvtoolnix":
        for name in ("mkvmerge", "mkvextract", "mkvinfo"):
            (tools / name).symlink_to(shutil.which(name))
    if case == "old mkvmerge":
        (tools / "mkvmerge").unlink()
        (tools / "mkvmerge").write_text("#!/bin/sh\necho \"mkvmerge v50.0.0 ('x') 64-bit\"\n")
        (tools / "mkvmerge").chmod(0o755)
    if case == "not matroska":
        episode.write_bytes(b"not a Matroska file at all\n" * 10)
    if case == "truncated":
        episode.write_bytes(episode.read_bytes()[:200])
    tracks = ["--tracks", "de"] if case == "no track chosen" else []
    shutil.copy(INPUTS / "episode.srt", tmp_path / "loose.srt")
    before = set(os.listdir(tmp_path))
    done = subprocess.run(
        [sys.executable, "-m", "c_quorvant", "rewrite", "episode.mkv", "loose.srt", "-w", "words.json", *tracks],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=120,
        env=environment,
    )
    assert done.returncode == status, done.stderr
    assert expected in done.stderr
    # The loose file is rewritten all the same, and nothing else is left behind.
    assert set(os.listdir(tmp_path)) - before == {"[Quorvanted] loose.srt"}


def test_short_of_space_the_remux_is_refused(episode, tmp_path, monkeypatch):
    monkeypatch.setattr(shutil, "disk_usage", lambda _path: shutil._ntuple_diskusage(1 << 30, 1 << 30, 1 << 20))
    with pytest.raises(SubtitleFileError, match=r"not enough free space .* needed, 1 MB free"):
        matroska.rewrite(episode, WORDS)
    assert not [name for name in os.listdir(tmp_path) if name.startswith((".quorvant", "[Quorvanted]"))]


@pytest.mark.parametrize(
    "name", ["-o episode.mkv", "[Group] Show (2024) {x}.mkv", "two\nlines.mks", "@list.mka", "a\nfolder/-x.mkv"]
)
def test_awkward_names_stay_file_names(episode, tmp_path, name):
    source = tmp_path / name
    source.parent.mkdir(exist_ok=True)
    episode.rename(source)
    output = source.with_name(f"out {source.name}")
    results = matroska.rewrite(source, WORDS, output, tracks="1")
    assert [result.changed for result in results] == [2]
    assert "Good morning" in extracted(output, 1, tmp_path).decode()
    assert not [left for left in os.listdir(source.parent) if left.startswith(".quorvant")]


def remuxing_then(tmp_path, commands):
    """A folder for PATH whose mkvmerge, asked for a remux, does it and then runs `commands`."""
    tools = tmp_path / "bin"
    tools.mkdir()
    for name in ("mkvextract", "mkvinfo"):
        (tools / name).symlink_to(shutil.which(name))
    mkvmerge = shutil.which("mkvmerge")
    (tools / "mkvmerge").write_text(
        f'#!/bin/sh\ncase "$*" in *--gui-mode*)\n  {mkvmerge} "$@" >/dev/null; {commands}; exit;;\nesac\n'
        f'exec {mkvmerge} "$@"\n'
    )
    (tools / "mkvmerge").chmod(0o755)
    return tools


def test_a_remux_over_a_second_shows_its_progress_on_a_terminal(episode, tmp_path):
    tools = remuxing_then(
        tmp_path, "echo '#GUI#progress 10%'; sleep 1.2; echo '#GUI#progress 60%'; sleep 0.5; echo '#GUI#progress 100%'"
    )
    terminal, errors = pty.openpty()
    # A terminal of no width would get bars of no width.
    termios.tcsetwinsize(terminal, (24, 100))
    with subprocess.Popen(
        [sys.executable, "-m", "c_quorvant", "rewrite", "episode.mkv", "-w", "words.json"],
        cwd=tmp_path,
        env={**os.environ, "PATH": f"{tools}:{os.environ['PATH']}"},
        stdout=subprocess.DEVNULL,
        stderr=errors,
    ) as run:
        os.close(errors)
        shown = b""
        with contextlib.suppress(OSError):
            while chunk := os.read(terminal, 4096):
                shown += chunk
    os.close(terminal)
    assert run.returncode == 0
    assert re.search(rb"remuxing: +60%", shown), shown


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM, "--timeout"])
def test_a_remux_stopped_midway_leaves_nothing(episode, tmp_path, stop):
    """mkvmerge is held after it has begun writing; stopped then, the run leaves no
    output, no temporary folder and no mkvmerge."""
    marker = tmp_path / "remuxing"
    tools = remuxing_then(tmp_path, f"echo $$ > '{marker}'; exec sleep 60")
    timeout = ["--timeout", "3"] if stop == "--timeout" else []
    before = set(os.listdir(tmp_path)) | {marker.name}
    with subprocess.Popen(
        [sys.executable, "-m", "c_quorvant", "rewrite", "episode.mkv", "-w", "words.json", *timeout],
        cwd=tmp_path,
        env={**os.environ, "PATH": f"{tools}:{os.environ['PATH']}"},
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
    ) as run:
        for _ in range(600):
            if marker.exists() and marker.read_text().strip():
                break
            time.sleep(0.05)
        held = int(marker.read_text())
        if stop != "--timeout":
            run.send_signal(stop)
        _, errors = run.communicate(timeout=60)
    assert run.returncode == (1 if stop == "--timeout" else 128 + stop), errors
    assert ("timed out after 3 s" if stop == "--timeout" else "interrupted") in errors
    assert set(os.listdir(tmp_path)) == before
    for _ in range(100):
        if not os.path.exists(f"/proc/{held}"):
            break
        time.sleep(0.05)
    assert not os.path.exists(f"/proc/{held}")


@pytest.mark.parametrize(
    "arguments, expected, files",
    [
        (["export", "--tracks", "1,3"], "episode.mkv -> [Quorvanted] episode.json", {"[Quorvanted] episode.json"}),
        (["preview", "--diff", "--tracks", "2"], "--- episode.mkv track 2\n+++ episode.mkv track 2\n@@", set()),
        (["preview", "--tracks", "eng"], "track 1 event 1\n  - {\\i1}Good morning{\\i0}, Tanaka-san!", set()),
        (["rewrite", "--in-place"], "episode.mkv -> episode.mkv [tracks 1 (en ass)", {"episode.mkv.orig"}),
        (["rewrite", "--tracks", "4", "--in-place", "-v"], "episode.mkv: no rule changes it; left as it is\n", set()),
        (["rewrite", "--tracks", "4"], "0 rewritten, 1 unchanged", {"[Quorvanted] episode.mkv"}),
    ],
)
def test_every_command_takes_matroska_files(episode, tmp_path, arguments, expected, files):
    original = episode.read_bytes()
    before = set(os.listdir(tmp_path))
    done = quorvant(arguments[0], episode.name, "-w", "words.json", *arguments[1:], cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert expected in done.stdout
    assert set(os.listdir(tmp_path)) - before == files
    for name in files - {"[Quorvanted] episode.json"}:
        # A copy of a file no rule changes, or the backup, is the input byte for byte.
        assert (tmp_path / name).read_bytes() == original
    if "[Quorvanted] episode.json" in files:
        document = json.loads((tmp_path / "[Quorvanted] episode.json").read_text(encoding="utf-8"))
        assert document["1"]["1"] == "{\\i1}Good morning{\\i0}, Tanaka!" and sorted(document) == ["1", "3"]


def test_a_cluster_run_treats_matroska_files_as_a_local_run_does(episode, tmp_path):
    pytest.importorskip("distributed")
    from test_cluster import running_cluster

    shutil.copy(episode, tmp_path / "again.mks")
    arguments = ["rewrite", "episode.mkv", "again.mks", "-w", "words.json", "-o", "out", "--json", "--tracks", "1"]
    reports = {}
    with running_cluster(n_workers=1) as cluster:
        for where, more in (("local", []), ("cluster", ["--scheduler", cluster.scheduler_address])):
            done = quorvant(*arguments, *more, cwd=tmp_path)
            assert done.returncode == 0, done.stderr
            reports[where] = json.loads(done.stdout)
            assert [entry["status"] for entry in reports[where]["files"]] == ["written", "written"]
            # mkvmerge stamps each file it writes with the date and new ids: only the bytes differ.
            for entry in reports[where]["files"]:
                assert len(entry.pop("sha256")) == 64
            assert extracted(tmp_path / "out/[Quorvanted] episode.mkv", 1, tmp_path) == rewrite_bytes(
                extracted(episode, 1, tmp_path), "ass", WORDS
            )
            shutil.rmtree(tmp_path / "out")
    assert reports["cluster"] == reports["local"]


def test_a_rerun_in_place_knows_a_file_it_rewrote(episode, tmp_path):
    first = quorvant("rewrite", episode.name, "-w", "words.json", "--in-place", cwd=tmp_path)
    assert first.returncode == 0, first.stderr
    again = quorvant("rewrite", episode.name, "-w", "words.json", "--in-place", "--json", cwd=tmp_path)
    assert again.returncode == 0, again.stderr
    [entry] = json.loads(again.stdout)["files"]
    assert (entry["status"], entry["reason"]) == ("skipped", ALREADY_REWRITTEN)
    # Rules that the first run didn't apply make it another file.
    (tmp_path / "words.json").write_text('{"morning": "evening"}', encoding="utf-8")
    other = quorvant("rewrite", episode.name, "-w", "words.json", "--in-place", cwd=tmp_path)
    assert other.returncode == 1 and "is not its rewrite" in other.stderr
