"""--in-place over the accidents of a real library: other runs, edits, links, owners,
reruns and stops. Each case compares the whole folder before and after."""

import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from typing import NamedTuple
from unittest.mock import ANY

import pytest

SRT = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san.\n"
REWRITTEN = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi.\n"
EDITED = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san, edited.\n"
# A rule that backtracks for a while on this file: long enough to edit it under a running pass.
SLOW = f"1\n00:00:01,000 --> 00:00:02,000\n{'a' * 30} b Aoi-san\n"
WORDS = {"(\\w+)-san": "$1", "(a|aa)*b": "b"}
ANOTHER_USER = 1000
# As an ordinary user is: root's uid, but none of its powers over other users' files.
NO_CAPABILITIES = ["setpriv", "--inh-caps=-all", "--ambient-caps=-all", "--bounding-set=-all", "--"]
DAY = 24 * 60 * 60


class Entry(NamedTuple):
    content: str  # the bytes' SHA-256, "folder", or "-> target" for a link
    inode: object
    mode: int
    owner: tuple[int, int]


def sha256(text):
    return hashlib.sha256(text.encode()).hexdigest()


def entries(root):
    """Every entry below `root`, hidden ones included, links not followed."""
    found = {}
    for folder, subfolders, names in os.walk(root):
        for name in subfolders + names:
            path = os.path.join(folder, name)
            status = os.lstat(path)
            if os.path.islink(path):
                content = f"-> {os.readlink(path)}"
            elif os.path.isdir(path):
                content = "folder"
            else:
                with open(path, "rb") as file:
                    content = hashlib.sha256(file.read()).hexdigest()
            found[os.path.relpath(path, root)] = Entry(
                content, status.st_ino, status.st_mode & 0o7777, (status.st_uid, status.st_gid)
            )
    return found


def expected(before, changes):
    """`before` with `changes` (name -> what became of it) made; the rest as it was."""
    after = dict(before)
    for name, (kind, *detail) in changes.items():
        if kind == "gone":
            after.pop(name)
        elif kind == "rewritten":  # by the run: a new file, of the old one's mode and owner unless said
            old = before[name]
            after[name] = old._replace(content=sha256(REWRITTEN), inode=ANY, owner=detail[0] if detail else old.owner)
        elif kind == "edited":  # by the test, while the run worked
            after[name] = before[name]._replace(content=sha256(EDITED), inode=ANY)
        elif kind == "same file as":  # a hard link to the file as it was
            after[name] = before[detail[0]]
        elif kind == "copy of":
            after[name] = before[detail[0]]._replace(inode=ANY, owner=detail[1])
    return after


def make(area, files):
    """name -> content, or (content, mode, owner), or ("link", target), or ("stale", days)."""
    for name, shape in files.items():
        path = area / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(shape, str):
            shape = (shape, 0o644, (0, 0))
        if shape[0] == "link":
            os.symlink(shape[1], path)
        elif shape[0] == "stale":
            path.mkdir()
            (path / "[Group] ep 3.srt").write_text(REWRITTEN, encoding="utf-8")
            then = time.time() - shape[1] * DAY
            os.utime(path, (then, then))
        elif shape[0] == "folder":
            path.mkdir(exist_ok=True)
            path.chmod(shape[1])
            os.chown(path, *shape[2])
        else:
            path.write_text(shape[0], encoding="utf-8")
            path.chmod(shape[1])
            os.chown(path, *shape[2])


def start(area, args, runner=()):
    return subprocess.Popen(
        [*runner, sys.executable, "-m", "c_quorvant", "rewrite", *args, "-w", "../words.json"],
        cwd=area,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        start_new_session=True,
    )


def finished(process):
    process.communicate(timeout=120)
    return process.returncode


def while_the_pass_runs(area, change):
    """Calls `change` once the run has chosen the file and its pass has begun."""
    deadline = time.monotonic() + 60
    while not any(name.startswith(".quorvant-") for name in os.listdir(area / "lib")):
        assert time.monotonic() < deadline
        time.sleep(0.005)
    change()


@pytest.fixture
def area(tmp_path):
    (tmp_path / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")
    (tmp_path / "area").mkdir()
    return tmp_path / "area"


OTHERS = (ANOTHER_USER, ANOTHER_USER)
REWRITTEN_WITH_BACKUP = {"lib/a.srt": ("rewritten",), "lib/a.srt.orig": ("same file as", "lib/a.srt")}
A_SLOW_FILE = {"lib/slow.srt": SLOW}


def edit(area):
    (area / "lib/slow.srt").write_text(EDITED, encoding="utf-8")


def delete(area):
    (area / "lib/slow.srt").unlink()


# id: (files, arguments after --in-place, how it is run or what happens meanwhile, status, message, changes)
SHAPES = {
    "rewritten-and-unchanged": (
        {"lib/a.srt": SRT, "lib/b.srt": REWRITTEN},
        ["lib"],
        None,
        0,
        "1 rewritten, 1 unchanged, 0 failed, 0 skipped",
        REWRITTEN_WITH_BACKUP,
    ),
    "unchanged-in-json": ({"lib/b.srt": REWRITTEN}, ["lib", "--json"], None, 0, '"status": "unchanged"', {}),
    "rerun": (
        {"lib/a.srt": REWRITTEN, "lib/a.srt.orig": SRT},
        ["lib"],
        None,
        0,
        "quorvant: 1 file already rewritten skipped",
        {},
    ),
    "rerun-over-an-edit": (
        {"lib/a.srt": EDITED, "lib/a.srt.orig": SRT},
        ["lib"],
        None,
        1,
        "its backup lib/a.srt.orig exists, and the file is not its rewrite: compare the two, or move",
        {},
    ),
    "read-only": ({"lib/a.srt": (SRT, 0o444, (0, 0))}, ["lib"], None, 0, "(mode 0444); --force replaces it", {}),
    "read-only-forced": ({"lib/a.srt": (SRT, 0o444, (0, 0))}, ["lib", "--force"], None, 0, "", REWRITTEN_WITH_BACKUP),
    "link-out-of-the-tree": (
        {"lib/s/link.srt": ("link", "../../outside/shared.srt"), "outside/shared.srt": SRT},
        ["lib", "-r"],
        None,
        0,
        "skipped lib/s/link.srt: a link to {area}/outside/shared.srt, outside the folder searched",
        {},
    ),
    "link-followed": (
        {"lib/s/link.srt": ("link", "../../outside/shared.srt"), "outside/shared.srt": SRT},
        ["lib", "-r", "--follow-links"],
        None,
        0,
        "lib/s/link.srt -> {area}/outside/shared.srt",
        {"outside/shared.srt": ("rewritten",), "outside/shared.srt.orig": ("same file as", "outside/shared.srt")},
    ),
    "link-loop": (
        {"lib/loop.srt": ("link", "loop2.srt"), "lib/loop2.srt": ("link", "loop.srt")},
        ["lib/loop.srt"],
        None,
        1,
        "quorvant: lib/loop.srt: a link in a loop",
        {},
    ),
    "long-name": (
        {"lib/" + "x" * 251 + ".srt": SRT},
        ["lib"],
        None,
        1,
        "its backup's name is 260 bytes; the limit is 255 (--no-backup keeps none)",
        {},
    ),
    "newline-name": (
        {"lib/a\nb.srt": SRT},
        ["lib"],
        None,
        0,
        "lib/a\\nb.srt -> lib/a\\nb.srt\n",
        {"lib/a\nb.srt": ("rewritten",), "lib/a\nb.srt.orig": ("same file as", "lib/a\nb.srt")},
    ),
    "stale-leftovers": (
        {"lib/a.srt": SRT, "lib/.quorvant-0123-old": ("stale", 2), "lib/.quorvant-4567-new": ("stale", 0)},
        ["lib"],
        None,
        0,
        "",
        REWRITTEN_WITH_BACKUP
        | {"lib/.quorvant-0123-old": ("gone",), "lib/.quorvant-0123-old/[Group] ep 3.srt": ("gone",)},
    ),
    "another-users-file-by-root": ({"lib/a.srt": (SRT, 0o640, OTHERS)}, ["lib"], None, 0, "", REWRITTEN_WITH_BACKUP),
    "another-users-file": (
        {"lib/a.srt": (SRT, 0o644, OTHERS)},
        ["lib"],
        NO_CAPABILITIES,
        0,
        "linking it was refused (Operation not permitted); the new file and the backup belong to root:root, not ",
        {"lib/a.srt": ("rewritten", (0, 0)), "lib/a.srt.orig": ("copy of", "lib/a.srt", (0, 0))},
    ),
    "sticky-folder": (
        {"lib": ("folder", 0o1777, OTHERS), "lib/a.srt": (SRT, 0o666, OTHERS)},
        ["lib"],
        NO_CAPABILITIES,
        1,
        "lib is a shared folder (sticky bit) and the file belongs to ",
        {},
    ),
    "file-size-limit": (
        {"lib/[Group] Show - 30 [1080p].srt": SRT * 300},
        ["lib"],
        ["prlimit", "--fsize=4000", "--"],
        1,
        "quorvant: lib/[Group] Show - 30 [1080p].srt: File too large: lib/[Group] Show - 30 [1080p].srt\n",
        {},
    ),
    "edited-meanwhile": (
        A_SLOW_FILE,
        ["lib"],
        edit,
        1,
        "quorvant: lib/slow.srt: changed while it was being rewritten; not replaced",
        {"lib/slow.srt": ("edited",)},
    ),
    "edited-meanwhile-without-backup": (
        A_SLOW_FILE,
        ["lib", "--no-backup"],
        edit,
        1,
        "quorvant: lib/slow.srt: changed while it was being rewritten; not replaced",
        {"lib/slow.srt": ("edited",)},
    ),
    "deleted-meanwhile": (
        A_SLOW_FILE,
        ["lib", "--no-backup"],
        delete,
        1,
        "quorvant: lib/slow.srt: deleted while it was being rewritten; not brought back",
        {"lib/slow.srt": ("gone",)},
    ),
}


@pytest.mark.parametrize("files, args, how, status, message, changes", SHAPES.values(), ids=SHAPES.keys())
def test_in_place_shapes(area, files, args, how, status, message, changes):
    if how == NO_CAPABILITIES and (os.geteuid() != 0 or not shutil.which("setpriv")):
        pytest.skip("needs root and setpriv to act as another user")
    make(area, files)
    before = entries(area)

    process = start(area, ["--in-place", *args], how if isinstance(how, list) else ())
    if callable(how):
        while_the_pass_runs(area, lambda: how(area))
    stdout, stderr = process.communicate(timeout=120)

    assert process.returncode == status, stderr
    assert message.format(area=area) in stdout + stderr
    assert entries(area) == expected(before, changes)


@pytest.mark.parametrize("wait", [False, True])
def test_two_runs_started_together_keep_every_original_once(area, wait):
    names = [f"lib/Show - {number:03} [1080p].srt" for number in range(300)]
    make(area, {name: SRT.replace("Aoi", f"Aoi {number}") for number, name in enumerate(names)})
    before = entries(area)

    runs = [start(area, ["lib", "--in-place", "-q", *(["--wait"] if wait else [])]) for _ in range(2)]
    results = sorted((run.communicate(timeout=300)[1], run.returncode)[::-1] for run in runs)

    # The second finds the work done, or without --wait, a run at work.
    refused = "quorvant: another quorvant run is working in lib (--wait waits for it)\n"
    assert results[0] == (0, "")
    assert results[1] in ([(0, "")] if wait else [(0, ""), (1, refused)])
    after = entries(area)
    for number, name in enumerate(names):
        assert after[name + ".orig"] == before[name]
        assert after[name].content == sha256(REWRITTEN.replace("Aoi", f"Aoi {number}"))
    assert len(after) == 2 * len(names) + 1  # and lib/ itself: nothing hidden


def test_the_log_names_each_file_replaced_with_its_hashes(area):
    make(area, {"lib/a.srt": SRT, "lib/b.srt": REWRITTEN})
    log = area.parent / "replaced.jsonl"

    for _ in range(2):  # the rerun replaces nothing and adds nothing
        assert finished(start(area, ["lib", "--in-place", "--log", str(log)])) == 0
    make(area, {"lib/c.srt": SRT})
    assert finished(start(area, ["lib/c.srt", "--in-place", "--no-backup", "--log", str(log)])) == 0

    lines = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
    assert lines == [
        {"file": file, "backup": backup, "old_sha256": sha256(SRT), "new_sha256": sha256(REWRITTEN)}
        for file, backup in (("lib/a.srt", "lib/a.srt.orig"), ("lib/c.srt", None))
    ]


@pytest.mark.parametrize("json_document", [False, True])
def test_a_stop_at_any_moment_is_one_line_and_loses_nothing(area, json_document):
    names = [f"lib/ep{number:02}.srt" for number in range(40)]
    make(area, dict.fromkeys(names, SRT))
    # From the interpreter's first instants to the middle of the work.
    for moment in (0.1, 0.2, 0.4, 0.8, 1.6):
        for name in os.listdir(area / "lib"):
            if name.endswith(".orig"):
                os.replace(area / "lib" / name, area / "lib" / name.removesuffix(".orig"))
        run = start(area, ["lib", "--in-place", "-j", "2", *(["--json"] if json_document else [])])
        time.sleep(moment)
        os.killpg(run.pid, signal.SIGINT)  # as Ctrl-C does: the whole group
        stdout, stderr = run.communicate(timeout=60)

        if run.returncode == 0:
            assert moment > 0.1, stderr  # done before the stop: only possible late
            continue
        assert (run.returncode, stderr) == (130, "quorvant: interrupted\n"), moment
        if json_document and stdout:
            assert json.loads(stdout)["exit_status"] == 130
        after = entries(area)
        assert not [name for name in after if "/." in name]
        for name in names:
            backup = after.get(name + ".orig")
            assert after[name].content == sha256(REWRITTEN if backup else SRT)
            assert backup is None or backup.content == sha256(SRT)


def test_an_output_name_too_long_is_told_in_bytes(area):
    name = "é" * 120 + ".srt"  # 244 bytes, and 13 more with the outputs' prefix
    make(area, {f"lib/{name}": SRT})
    before = entries(area)

    process = start(area, ["lib"])
    _, stderr = process.communicate(timeout=120)

    assert (process.returncode, stderr) == (
        1,
        f"quorvant: lib/{name}: the output name is 257 bytes; the limit is 255\n",
    )
    assert entries(area) == before


def test_a_stop_that_lands_in_a_finalizer_still_stops_the_run():
    from c_quorvant.cli import Interrupted, _StopOnSignals

    class Finalized:
        def __del__(self):
            os.kill(os.getpid(), signal.SIGINT)
            sum(range(10))  # the handler runs here, where Python drops what it raises

    with pytest.raises(Interrupted), _StopOnSignals():
        Finalized()
        time.sleep(5)
