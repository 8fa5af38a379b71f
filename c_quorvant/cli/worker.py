"""A worker process: runs one job at a time as the parent hands them over.

The parent ends a worker by killing it (Ctrl-C, a time limit), so a worker never
puts anything where the user will look: a pass writes into a private folder and
the parent moves the output into place."""

import ctypes
import os
import signal
import shutil
import tempfile
import time
import traceback
from collections.abc import Iterator
from contextlib import contextmanager
from dataclasses import dataclass, replace

from c_quorvant.cli.errors import one_line

_PR_SET_PDEATHSIG = 1


@dataclass(frozen=True)
class Job:
    index: int
    mode: str  # export, rewrite or preview
    source: str  # the input, absolute
    words: str  # the word list, absolute
    staging: str = ""  # the private folder the pass writes into (not for preview)
    count_changes: bool = False  # also find how many texts the rules change


@dataclass(frozen=True)
class Result:
    index: int
    output_name: str = ""  # what the pass wrote in the staging folder
    problem: str = ""  # one line for people; "" on success
    details: str = ""  # traceback, shown with --debug
    texts: int | None = None  # texts read, when counted
    changes: tuple[tuple[int, str, str], ...] = ()  # (key, before, after) of each text changed
    seconds: float = 0.0


def serve(connection, parent_pid: int) -> None:
    """Takes jobs from `connection` until it closes."""
    _leave_interrupts_to_parent(parent_pid)
    from c_quorvant import _rules, modify_subs

    connection.send(None)  # ready: the clock of the first job starts now
    while True:
        try:
            job = connection.recv()
        except EOFError:
            return
        started = time.monotonic()
        result = _run(job, modify_subs, _rules)
        connection.send(replace(result, seconds=time.monotonic() - started))


def _leave_interrupts_to_parent(parent_pid: int) -> None:
    # The parent started us with SIGINT and SIGTERM blocked; ignoring them drops any
    # that came meanwhile. The parent kills us when it is interrupted, and the
    # kernel does if the parent dies first.
    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, signal.SIG_IGN)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT, signal.SIGTERM})
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)
    if os.getppid() != parent_pid:
        os._exit(1)


def _run(job: Job, modify_subs, _rules) -> Result:
    try:
        if job.mode == "preview":
            return _preview(job, _rules)
        return _write(job, modify_subs, _rules)
    except UnicodeEncodeError:
        return Result(job.index, problem="the file name is not valid UTF-8")
    except (RuntimeError, ValueError) as error:
        return Result(job.index, problem=one_line(str(error)))
    except OSError as error:
        return Result(job.index, problem=one_line(f"{error.strerror or error}: {error.filename or ''}"))
    except Exception as error:
        return Result(job.index, problem=one_line(f"{type(error).__name__}: {error}"),
                      details=traceback.format_exc())


def _preview(job: Job, _rules) -> Result:
    texts, changes = _rules.preview_changes(os.fsencode(job.source), os.fsencode(job.words))
    return Result(job.index, texts=texts, changes=tuple(changes))


def _write(job: Job, modify_subs, _rules) -> Result:
    counted = _counted(job, _rules)
    run_pass = modify_subs.modify_subs_py if job.mode == "export" else modify_subs.overwrite_subs
    name = os.path.basename(job.source)
    # The output name is the input's with a prefix on the whole path, so the pass
    # gets a bare name, linked to the input inside the staging folder.
    os.chdir(job.staging)
    _link(job.source, name)
    with _captured_streams() as captured:
        written = run_pass(name, job.words)
    if not written:
        return Result(job.index, problem=_reported_problem(captured))
    return Result(job.index, output_name=written, texts=counted.texts, changes=counted.changes)


def _counted(job: Job, _rules) -> Result:
    # Counting reads the file as the export pass does; a file only the rewrite pass
    # can take is still rewritten, just without a count.
    if not job.count_changes:
        return Result(job.index)
    try:
        return _preview(job, _rules)
    except (RuntimeError, ValueError):
        return Result(job.index)


def _link(source: str, name: str) -> None:
    try:
        os.symlink(source, name)
    except OSError:
        # Some file systems (FAT on a memory card) have no links.
        shutil.copyfile(source, name)


def _reported_problem(captured: dict[str, str]) -> str:
    # The passes that fail with an empty name print the reason themselves: the ASS
    # export pass on stdout, the others on stderr (where stdout also holds progress
    # lines of the ASS rewrite pass).
    for stream in ("stderr", "stdout"):
        lines = [line.strip() for line in captured.get(stream, "").splitlines() if line.strip()]
        if lines:
            return "; ".join(lines)
    return "the pass wrote nothing and gave no reason"


@contextmanager
def _captured_streams() -> Iterator[dict[str, str]]:
    """Collects what native code writes on file descriptors 1 and 2."""
    captured: dict[str, str] = {}
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        saved = [os.dup(1), os.dup(2)]
        os.dup2(out.fileno(), 1)
        os.dup2(err.fileno(), 2)
        try:
            yield captured
        finally:
            # Whatever C stdio still buffers belongs to this file.
            ctypes.CDLL(None).fflush(None)
            os.dup2(saved[0], 1)
            os.dup2(saved[1], 2)
            for fd in saved:
                os.close(fd)
            for stream, file in (("stdout", out), ("stderr", err)):
                file.seek(0)
                captured[stream] = file.read().decode("utf-8", "replace")
