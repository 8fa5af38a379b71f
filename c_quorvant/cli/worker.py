"""A worker process: runs the jobs the parent hands over, one after another.

The parent ends a worker by killing it (Ctrl-C, a time limit), so a worker never
puts anything where the user will look: a pass writes into a private folder and
the parent moves the output into place."""

import contextlib
import os
import signal
import sys
import time
import traceback
from dataclasses import dataclass, replace
from types import ModuleType
from typing import TYPE_CHECKING

from c_quorvant.cli.errors import one_line
from c_quorvant.cli.preview import edit_hunks
from c_quorvant.formats import is_matroska

if TYPE_CHECKING:
    from multiprocessing.connection import Connection

    from c_quorvant.api import Order, Rule, WordList

_PR_SET_PDEATHSIG = 1


@dataclass(frozen=True)
class Job:
    index: int
    mode: str  # export, rewrite or preview
    source: str  # the input, absolute
    words: "tuple[Rule, ...]"  # the run's rules, read once by the parent, in the order they apply
    staging: str = ""  # the private folder the pass writes into (not for preview)
    output_name: str = ""  # the name the parent gave the output, written in `staging`
    protect_tags: bool = False
    unicode: bool = False
    encoding: str = "auto"
    output_encoding: str | None = None
    fallback_encoding: str | None = None
    words_key: str = ""  # the same for every job of a run
    words_order: "Order" = "sorted"
    diff: bool = False  # preview: also the unified diff of the file a rewrite would write
    backup: str = ""  # rewrite: the input's earlier backup; the pass checks the input is its rewrite
    tracks: str = "all"  # a Matroska file's tracks to work on (--tracks)
    sidecar: bool = False  # a Matroska file's changed tracks go into loose files beside it
    in_place: bool = False  # the output replaces the input
    # Beyond the run's time limit: what mkvtoolnix takes to read and write a Matroska file.
    extra_seconds: float = 0.0
    progress: bool = False  # send (index, share done) of a long remux before the result
    # Sent without `words`: the worker has the list under `words_key` from an earlier job.
    words_held: bool = False

    def time_limit(self, timeout: float | None) -> float | None:
        return None if timeout is None else timeout + self.extra_seconds


@dataclass(frozen=True)
class Result:
    index: int
    output_name: str = ""  # what the pass wrote in the staging folder
    problem: str = ""  # one line for people; "" on success
    details: str = ""  # traceback, shown with --debug
    texts: int | None = None  # texts read
    changed: int | None = None  # how many of them the rules changed
    changes: tuple[tuple[str, str, str], ...] = ()  # (export key, before, after) of each text changed (preview)
    seconds: float = 0.0
    encoding: str | None = None  # the codec the input was read in; None: byte-wise
    confidence: float | None = None  # as the API's PassResult.confidence
    alternatives: tuple[str, ...] = ()  # as the API's PassResult.alternatives
    format: str | None = None  # one of formats.LABELS, as read
    diff: tuple[str, ...] = ()  # the diff's hunks (preview with diff)
    rules: tuple[tuple[str, int], ...] = ()  # (pattern, texts it changed), in the order the rules apply
    changed_by: tuple[tuple[str, ...], ...] = ()  # the patterns that changed each of `changes` (preview)
    status: str = ""  # "skipped" or "unchanged" when the job says so itself (a Matroska file)
    outputs: tuple[str, ...] = ()  # the sidecar files written in the staging folder
    note: str = ""  # what became of a Matroska file's tracks, or why it was skipped
    tracks: tuple[dict[str, object], ...] = ()  # each Matroska track's counts
    rewrites_backup: bool | None = None  # with Job.backup: whether the input is its backup's rewrite


def serve(connection: "Connection", parent_pid: int) -> None:
    """Takes jobs from `connection` until it closes: a job, or a list of them, each
    answered with its result as soon as it is done."""
    _leave_interrupts_to_parent(parent_pid)
    from c_quorvant import api

    # The parent gone (stopped, or done) is the end of the work, not a failure.
    with contextlib.suppress(EOFError, BrokenPipeError):
        connection.send(None)  # ready: the clock of the first job starts now
        while True:
            jobs = connection.recv()
            for job in jobs if isinstance(jobs, list) else [jobs]:
                connection.send(timed(job, api, connection))


def serve_socket() -> None:
    """`serve` for a child started by a cluster's worker: its socket's descriptor and
    the worker's process id come as arguments."""
    from multiprocessing.connection import Connection

    descriptor, parent_pid = (int(value) for value in sys.argv[1:3])
    serve(Connection(descriptor), parent_pid)


def timed(job: Job, api: ModuleType, connection: "Connection | None" = None) -> Result:
    started = time.monotonic()
    result = _run(job, api, connection)
    return replace(result, seconds=time.monotonic() - started)


def _leave_interrupts_to_parent(parent_pid: int) -> None:
    # The parent started us with SIGINT and SIGTERM blocked; ignoring them drops any
    # that came meanwhile. The parent kills us when it is interrupted, and the
    # kernel does if the parent dies first.
    import ctypes

    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, signal.SIG_IGN)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT, signal.SIGTERM})
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)
    if os.getppid() != parent_pid:
        os._exit(1)


def _run(job: Job, api: ModuleType, connection: "Connection | None" = None) -> Result:
    try:
        if is_matroska(job.source):
            from c_quorvant.cli.matroska import run_job

            return run_job(job, api, connection if job.progress else None)
        if job.mode == "preview":
            return _preview(job, api)
        return _write(job, api)
    except api.SubtitleFileError as error:
        return Result(job.index, problem=one_line(error.reason))
    except (RuntimeError, ValueError) as error:
        return Result(job.index, problem=one_line(str(error)))
    except OSError as error:
        return Result(job.index, problem=one_line(f"{error.strerror or error}: {error.filename or ''}"))
    except Exception as error:
        return Result(job.index, problem=one_line(f"{type(error).__name__}: {error}"), details=traceback.format_exc())


def _preview(job: Job, api: ModuleType) -> Result:
    options = dict(
        protect_tags=job.protect_tags,
        unicode=job.unicode,
        encoding=job.encoding,
        fallback_encoding=job.fallback_encoding,
    )
    diff: tuple[str, ...] = ()
    if job.diff:
        found, edits = api.preview_edits(job.source, _word_list(api, job), **options)
        diff = edit_hunks(edits.text, edits.replaced)
    else:
        found = api.preview(job.source, _word_list(api, job), **options)
    return Result(
        job.index,
        texts=found.texts,
        changed=len(found.changes),
        changes=tuple((key, before, after) for key, (_, before, after) in zip(found.keys, found.changes, strict=True)),
        encoding=found.encoding,
        confidence=found.confidence,
        alternatives=found.alternatives,
        format=found.format,
        diff=diff,
        rules=tuple(found.rules.items()),
        changed_by=tuple(found.changed_by),
    )


def _rewritten_bytes(job: Job, api: ModuleType, data: bytes, format: str | None) -> bytes:
    return api.rewrite_bytes(  # type: ignore[no-any-return]
        data,
        format,
        _word_list(api, job),
        protect_tags=job.protect_tags,
        unicode=job.unicode,
        encoding=job.encoding,
        fallback_encoding=job.fallback_encoding,
        output_encoding=job.output_encoding,
    )


def _write(job: Job, api: ModuleType) -> Result:
    if job.backup:
        return _compare_with_backup(job, api)
    export = job.mode == "export"
    name = job.output_name
    converted = {} if export else {"output_encoding": job.output_encoding}
    run_pass = api.export if export else api.rewrite
    result = run_pass(
        job.source,
        _word_list(api, job),
        os.path.join(job.staging, name),
        protect_tags=job.protect_tags,
        unicode=job.unicode,
        encoding=job.encoding,
        fallback_encoding=job.fallback_encoding,
        **converted,
    )
    return Result(
        job.index,
        output_name=name,
        texts=result.texts,
        changed=result.changed,
        encoding=result.encoding,
        confidence=result.confidence,
        alternatives=result.alternatives,
        format=result.format,
        rules=tuple(result.rules.items()),
    )


def _compare_with_backup(job: Job, api: ModuleType) -> Result:
    """A rerun of --in-place: the input is left alone, only told apart from its backup's rewrite."""
    from c_quorvant.formats import format_of

    with open(job.backup, "rb") as file:
        original = file.read()
    with open(job.source, "rb") as file:
        current = file.read()
    try:
        rewritten = _rewritten_bytes(job, api, original, format_of(job.source))
    except (api.SubtitleFileError, api.UnrepresentableTextError):
        # A backup that is no such file has no rewrite the input could be.
        return Result(job.index, rewrites_backup=False)
    return Result(job.index, rewrites_backup=rewritten == current)


def _word_list(api: ModuleType, job: Job) -> "WordList":
    # A run has one word list: each worker compiles it once. A cluster's workers
    # outlive the run, so another run's list replaces it.
    global _compiled
    if _compiled is None or _compiled[0] != job.words_key or not job.words_key:
        if job.words_held:
            raise RuntimeError("the run's word list never reached this worker")
        _compiled = (job.words_key, api.WordList(job.words, order=job.words_order))
    return _compiled[1]


def hold_word_list(key: str, words: "WordList") -> None:
    """Lends the run's own compiled list to passes run in this process."""
    global _compiled
    _compiled = (key, words)


_compiled: "tuple[str, WordList] | None" = None
