"""`--scheduler`: a batch sent to a Dask cluster does what a local run does."""

import asyncio
import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys

import pytest
from conftest import DATA_DIR, quorvant

distributed = pytest.importorskip("distributed")

SAMPLES = (
    "y_haruhi-01-pt.ass",
    "y_onegai-teacher-01-utf16le.ass",
    "y_db10-bom-but-cp1252.ssa",
    "y_tenshi-no-tamago-en-italics-crlf.srt",
    "y_danish-bom.srt",
)
WORDS = {"(\\w+)-san": "$1", "\\bthe\\b": "THE", "(a|aa)*b": "X"}
# The last rule backtracks for hours on this cue.
RUNAWAY = ("1\n00:00:01,000 --> 00:00:02,000\n" + "a" * 40 + " b\n").encode()
BROKEN = {"broken.ass": b"\x00\x01 not subtitles \xff"}
SAME_OUTPUT = {f"{folder}/x.srt": (DATA_DIR / "y_monsters-win-crlf.srt").read_bytes() for folder in "bcd"}


@contextlib.contextmanager
def running_cluster():
    # The scheduler's HTTP endpoint is always there: on a free port, or a second
    # cluster on the machine would make it warn.
    cluster = distributed.LocalCluster(
        n_workers=2,
        processes=True,
        threads_per_worker=1,
        host="127.0.0.1",
        dashboard_address=None,
        scheduler_kwargs={"dashboard_address": "127.0.0.1:0"},
    )
    try:
        yield cluster
    finally:
        # A runaway pass holds its worker, which would take seconds to give up waiting.
        cluster.sync(end_workers, cluster)
        cluster.close()


async def end_workers(cluster):
    await asyncio.gather(*(nanny.close(timeout=0.2) for nanny in cluster.workers.values()))


@pytest.fixture(scope="module")
def scheduler():
    with running_cluster() as cluster:
        yield cluster.scheduler_address


def make_folder(folder, extra):
    folder.mkdir()
    for name in SAMPLES:
        shutil.copy(DATA_DIR / name, folder / name)
    for name, data in extra.items():
        (folder / name).parent.mkdir(exist_ok=True)
        (folder / name).write_bytes(data)
    (folder / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")


def tree(folder):
    """Every file below `folder`, hidden leftovers included, with its bytes."""
    return {str(p.relative_to(folder)): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


@pytest.mark.parametrize(
    "command, extra, args, earlier_words, statuses",
    [
        # The workers outlive a run, and must not keep what they read of an edited list.
        ("rewrite", {}, [], {"(\\w+)-san": "$1-sama"}, {"written": 5, "skipped": 5}),
        ("export", BROKEN, ["-o", "out"], None, {"written": 5, "failed": 1}),
        ("preview", BROKEN, [], None, {"changed": 5, "failed": 1}),
        # An output in the way, and a file that timed out: the rest goes on. The files
        # with its output are sent after it, and must not queue behind its pass, which
        # holds its worker until the cluster stops: this case comes last.
        (
            "rewrite",
            {"out/[Quorvanted] y_danish-bom.srt": b"old", "a/x.srt": RUNAWAY, **SAME_OUTPUT},
            ["a", "b", "c", "d", "-o", "out", "--skip-existing", "--timeout", "2"],
            None,
            {"written": 5, "overwritten": 2, "skipped": 1, "failed": 1},
        ),
    ],
)
def test_a_cluster_run_matches_a_local_run(tmp_path, scheduler, command, extra, args, earlier_words, statuses):
    runs = {}
    for where, more in (("local", ["-j", "2"]), ("cluster", ["--scheduler", scheduler])):
        folder = tmp_path / where
        make_folder(folder, extra)
        if earlier_words:
            (folder / "words.json").write_text(json.dumps(earlier_words), encoding="utf-8")
            assert quorvant(command, ".", "-w", "words.json", *more, cwd=folder).returncode == 0
            (folder / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")
        result = quorvant(command, ".", *args, "-w", "words.json", "--json", *more, cwd=folder)
        runs[where] = (result.returncode, json.loads(result.stdout), tree(folder))

    assert runs["cluster"] == runs["local"]
    status, report, _ = runs["cluster"]
    found = [entry["status"] for entry in report["files"]]
    assert {name: found.count(name) for name in set(found)} == statuses
    assert status == (1 if "failed" in statuses else 0)


def test_ctrl_c_cancels_the_tasks(tmp_path):
    make_folder(tmp_path / "season", {"slow1.srt": RUNAWAY, "slow2.srt": RUNAWAY})
    with running_cluster() as cluster:
        process = subprocess.Popen(
            [sys.executable, "-m", "c_quorvant", "rewrite", "y_danish-bom.srt", "slow1.srt", "slow2.srt"]
            + ["-w", "words.json", "--timeout", "0", "--scheduler", cluster.scheduler_address],
            cwd=tmp_path / "season",
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        try:
            # Written while the slow files are out on the cluster.
            assert process.stdout.readline().startswith("y_danish-bom.srt -> ")
            process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()

    assert (process.returncode, stdout, stderr) == (130, "", "quorvant: interrupted\n")
    left = sorted(os.listdir(tmp_path / "season"))
    assert [name for name in left if name.startswith((".", "["))] == ["[Quorvanted] y_danish-bom.srt"]


def test_an_unusable_scheduler_is_one_line(tmp_path):
    make_folder(tmp_path / "season", {})
    result = quorvant("rewrite", ".", "-w", "words.json", "--scheduler", "localhost", cwd=tmp_path / "season")
    assert (result.returncode, result.stderr) == (
        2,
        "quorvant: --scheduler localhost: missing port number in address 'localhost'\n",
    )
