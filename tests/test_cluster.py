"""`--scheduler`: a batch sent to a Dask cluster does what a local run does."""

import asyncio
import contextlib
import json
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time
from pathlib import Path

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
def running_cluster(n_workers=2):
    # The scheduler's HTTP endpoint is always there: on a free port, or a second
    # cluster on the machine would make it warn.
    cluster = distributed.LocalCluster(
        n_workers=n_workers,
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
        # The rules travel in their order, with their options.
        (
            "rewrite",
            {},
            ["--order", "written"],
            {"\\bthe\\b": {"replace": "da", "case": "preserve"}},
            {"written": 5, "skipped": 5},
        ),
        ("export", BROKEN, ["-o", "out"], None, {"written": 5, "failed": 1}),
        ("preview", BROKEN, [], None, {"changed": 5, "failed": 1}),
        ("rewrite", {}, ["--in-place"], None, {"written": 5}),
        ("export", {}, ["-o", "out", "--name", "{stem}.words{ext}"], None, {"written": 5}),
        # An output in the way, and a file that timed out: the rest goes on, the files
        # with its output included.
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
    folder = tmp_path / "season"
    make_folder(folder, {"slow1.srt": RUNAWAY, "slow2.srt": RUNAWAY})
    with running_cluster() as cluster:
        process = subprocess.Popen(
            [sys.executable, "-m", "c_quorvant", "rewrite", "y_danish-bom.srt", "slow1.srt", "slow2.srt", "--json"]
            + ["-w", "words.json", "--timeout", "0", "--scheduler", cluster.scheduler_address],
            cwd=folder,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        try:
            # Written while the slow files are out on the cluster.
            while not (folder / "[Quorvanted] y_danish-bom.srt").exists():
                time.sleep(0.05)
            process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()
        left = sorted(os.listdir(folder))
        # The slow passes, without a time limit, don't hold the workers after the run.
        again = quorvant("rewrite", *SAMPLES, "-w", "words.json", "--scheduler", cluster.scheduler_address, cwd=folder)
        assert (again.returncode, again.stdout.splitlines()[-1]) == (0, "5 rewritten, 0 failed, 0 skipped")

    assert (process.returncode, stderr) == (130, "quorvant: interrupted\n")
    report = json.loads(stdout)
    assert [(entry["status"], entry["reason"]) for entry in report["files"]] == [
        ("written", None),
        ("failed", "not run: interrupted"),
        ("failed", "not run: interrupted"),
    ]
    assert report["exit_status"] == 130
    assert [name for name in left if name.startswith((".", "["))] == ["[Quorvanted] y_danish-bom.srt"]


def test_an_unusable_scheduler_is_one_line(tmp_path):
    make_folder(tmp_path / "season", {})
    result = quorvant("rewrite", ".", "-w", "words.json", "--scheduler", "localhost", cwd=tmp_path / "season")
    assert (result.returncode, result.stderr) == (
        2,
        "quorvant: --scheduler localhost: missing port number in address 'localhost'\n",
    )


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@contextlib.contextmanager
def dask_processes(tmp_path, worker_envs=({},)):
    """A scheduler and a worker per environment, as `dask scheduler` / `dask worker` start them."""
    address = f"tcp://127.0.0.1:{free_port()}"
    dask = str(Path(sys.executable).parent / "dask")
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=tmp_path)
    processes = [
        subprocess.Popen(
            [dask, "scheduler", "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1], "--no-dashboard"], **quiet
        )
    ]
    for env in worker_envs:
        processes.append(
            subprocess.Popen(
                [dask, "worker", address, "--nthreads", "1", "--no-dashboard", "--host", "127.0.0.1"]
                + ["--death-timeout", "5"],
                env={**os.environ, **env},
                **quiet,
            )
        )
    try:
        with distributed.Client(address, timeout=30, set_as_default=False) as client:
            client.wait_for_workers(len(worker_envs), timeout=30)
        yield address, processes[0]
    finally:
        # A worker left without its scheduler stops by itself (--death-timeout).
        scheduler_gone = processes[0].poll() is not None
        for process in reversed(processes):
            process.kill() if scheduler_gone else process.terminate()
            try:
                process.wait(timeout=3)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


@contextlib.contextmanager
def local_cluster(tmp_path, n_workers):
    with running_cluster(n_workers) as cluster:
        yield cluster.scheduler_address, cluster


class Greeter(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.sendall(b"SSH-2.0-OpenSSH_9.2\r\n")


@contextlib.contextmanager
def other_server(tmp_path):
    # A server that greets first, as SSH does; one that waits for its client to
    # speak first (HTTP) is told apart by the handshake's time limit instead.
    with socketserver.TCPServer(("127.0.0.1", 0), Greeter) as server:
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        try:
            yield f"tcp://127.0.0.1:{server.server_address[1]}", None
        finally:
            server.shutdown()


def without_package(tmp_path, healthy=0):
    shadow = tmp_path / "shadow" / "c_quorvant"
    shadow.mkdir(parents=True)
    (shadow / "__init__.py").write_text("raise ImportError('c_quorvant is not installed here')\n")
    return dask_processes(tmp_path, [{"PYTHONPATH": str(shadow.parent)}] + [{}] * healthy)


def kill_scheduler(folder, scheduler):
    scheduler.kill()


def restart_a_worker(folder, cluster):
    with distributed.Client(cluster.scheduler_address, set_as_default=False) as client:
        client.restart_workers(list(client.nthreads())[:1])


NOT_RUN = "not run: the scheduler was lost"
TIMED_OUT = "timed out after 2 s"


@pytest.mark.parametrize(
    "cluster, slow, args, disturb, status, stderr, reason",
    [
        # The slow file comes last; what was done when the scheduler went is kept, the rest is not run.
        (dask_processes, ["z_slow.srt"], ["--timeout", "0"], kill_scheduler, 1, None, NOT_RUN),
        (other_server, [], [], None, 1, "quorvant: not a Dask scheduler at {address}\n", None),
        # The runaways end on time, the files sent with them run, and the healthy run after
        # them has every worker.
        (lambda tmp: local_cluster(tmp, 2), ["a1.srt", "a2.srt"], ["--timeout", "2"], None, 1, None, TIMED_OUT),
        (lambda tmp: local_cluster(tmp, 2), ["a1.srt"], ["--timeout", "2"], restart_a_worker, 1, None, TIMED_OUT),
        (without_package, [], [], None, 1, "quorvant: no worker of the cluster can run c_quorvant: tcp://", None),
        # The other worker does the work.
        (lambda tmp: without_package(tmp, 1), [], [], None, 0, "quorvant: warning: worker tcp://", None),
        (
            lambda tmp: local_cluster(tmp, 0),
            [],
            [],
            None,
            1,
            "quorvant: no worker of the cluster can run c_quorvant: the scheduler at {address} has no workers\n",
            None,
        ),
    ],
    ids=[
        "scheduler-lost",
        "not-dask",
        "runaway-then-healthy",
        "worker-restart",
        "worker-without-package",
        "one-worker-without-package",
        "empty",
    ],
)
def test_a_fault_ends_the_run_with_its_report(tmp_path, cluster, slow, args, disturb, status, stderr, reason):
    folder = tmp_path / "season"
    make_folder(folder, dict.fromkeys(slow, RUNAWAY))
    with cluster(tmp_path) as (address, handle):
        process = subprocess.Popen(
            [sys.executable, "-m", "c_quorvant", "rewrite", ".", "-w", "words.json", "--json", "--scheduler", address]
            + args,
            cwd=folder,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        try:
            if disturb:
                while not any(name.startswith("[") for name in os.listdir(folder)) and process.poll() is None:
                    time.sleep(0.05)
                disturb(folder, handle)
            # Each fault ends the run well within this.
            stdout, errors = process.communicate(timeout=40)
        finally:
            if process.poll() is None:
                process.kill()
        if len(slow) > 1:
            again = quorvant("rewrite", *SAMPLES, "-w", "words.json", "--scheduler", address, cwd=folder)
            assert (again.returncode, again.stdout.splitlines()[-1]) == (0, "5 rewritten, 0 failed, 0 skipped")

    assert process.returncode == status
    # Nothing of Dask's own logging without -v.
    assert errors.startswith(stderr.format(address=address)) and errors.count("\n") == 1 if stderr else errors == ""
    if not stdout:
        return
    files = {entry["input"]: entry for entry in json.loads(stdout)["files"]}
    assert {files[f"./{name}"]["reason"] for name in slow} == ({reason} if slow else set())
    written = {name for name, entry in files.items() if entry["status"] == "written"}
    # Everything else is kept only when done; hidden folders never are.
    assert {f"./{name}" for name in os.listdir(folder) if name.startswith(("[", "."))} == {
        f"./[Quorvanted] {name[2:]}" for name in written
    }
    assert all(files[name]["reason"] == NOT_RUN for name in files if name not in written and name[2:] not in slow)
    assert written if disturb is kill_scheduler else len(written) == len(SAMPLES)


def test_the_documented_dask_bag_recipe_reports_each_failing_file(tmp_path, scheduler):
    readme = (Path(__file__).parent.parent / "docs" / "cluster.md").read_text(encoding="utf-8")
    recipe = next(block for block in readme.split("```python\n") if "import dask.bag" in block).split("```")[0]
    make_folder(tmp_path / "shows", {**BROKEN, "cp1252.srt": (DATA_DIR / "y_yyh-08-pt-cp1252-gap.srt").read_bytes()})
    # A replacement cp1252 can't write.
    (tmp_path / "shows" / "words.json").write_text(json.dumps({"\\bthe\\b": "終"}), encoding="utf-8")
    # The recipe's own folder, list and client, swapped for the test's.
    for written, used in (
        ('url_to_fs(".")', f'url_to_fs("file://{tmp_path}/shows")'),
        ('"honorifics.json"', repr(str(tmp_path / "shows" / "words.json"))),
        ("Client(processes=False)", f"Client({scheduler!r})"),
    ):
        assert written in recipe
        recipe = recipe.replace(written, used)
    namespace = {}
    exec(recipe, namespace)

    failed = sorted(line.split(":")[0] for line in namespace["done"] if line.startswith("failed "))
    assert failed == [f"failed {tmp_path}/shows/{name}" for name in ("broken.ass", "cp1252.srt")]
    assert sorted(name for name in os.listdir(tmp_path / "shows") if name.startswith("[")) == sorted(
        f"[Quorvanted] {name}" for name in SAMPLES
    )
