"""Local worker processes that run jobs under a time limit each, and that all end at
once when the run stops for any reason (Ctrl-C included); or, for a run too small
to be worth them, a thread of this process."""

import contextlib
import os
import signal
import threading
import time
from collections.abc import Callable, Iterator, Sequence
from dataclasses import replace
from typing import TYPE_CHECKING

from c_quorvant.cli.errors import CliError
from c_quorvant.cli.schedule import Batch, Finish, Prepare, run_jobs
from c_quorvant.cli.worker import Job, Result, hold_word_list, serve, timed
from c_quorvant.formats import is_matroska

if TYPE_CHECKING:
    from multiprocessing.context import SpawnContext

    from c_quorvant.api import WordList

_STOP_SIGNALS = {signal.SIGINT, signal.SIGTERM}
SignalHold = Callable[[], contextlib.AbstractContextManager[None]]
Progress = Callable[[int, float], None]
# Small files travel to a worker together, so that it never waits on the parent
# between them; each result still comes back as its file is done.
BATCH_BYTES = 1 << 20
BATCH_FILES = 16
# A run this small is done sooner than a worker process starts.
IN_PARENT_FILES = 4
IN_PARENT_BYTES = 4 << 20
# The name of a thread that runs a pass in this process (see passes_left_running).
PASS_THREAD = "quorvant pass"
# How long a wait for a pass in this process lasts before the loop looks again.
_TICK_SECONDS = 0.5


class _Worker:
    def __init__(self, context: "SpawnContext") -> None:
        self.connection, child_end = context.Pipe()
        self.process = context.Process(target=serve, args=(child_end, os.getpid()), daemon=True)
        try:
            self.process.start()
        finally:
            child_end.close()
        self.ready = False
        self.broken = False
        self.batch: Batch = []  # the jobs sent and not yet answered, the running one first
        self.deadline = float("inf")
        self.words_key = ""  # the word list it was sent
        self.limit: float | None = None  # the running job's time limit
        self._timeout: float | None = None

    @property
    def idle(self) -> bool:
        return self.ready and not self.broken and not self.batch

    def give(self, batch: Batch, timeout: float | None) -> bool:
        try:
            self.connection.send([self._lean(job) for job, _ in batch])
        except OSError:
            # It just died; its sentinel tells the loop, which replaces it.
            self.broken = True
            return False
        self.batch = batch
        self._timeout = timeout
        self._start_clock()
        return True

    def _lean(self, job: Job) -> Job:
        """The job without its rules when this worker has them already."""
        if job.words_key and job.words_key == self.words_key:
            return replace(job, words=(), words_held=True)
        self.words_key = job.words_key
        return job

    def _start_clock(self) -> None:
        self.limit = self.batch[0][0].time_limit(self._timeout) if self.batch else None
        self.deadline = time.monotonic() + self.limit if self.limit else float("inf")

    def settle(self, result: Result) -> tuple[Batch, list[Result]]:
        """The running job with its result; the next one's clock starts."""
        done, self.batch = self.batch[:1], self.batch[1:]
        self._start_clock()
        return done, [result]

    def give_up(self, problem: str) -> tuple[Batch, list[Result]]:
        """The running job fails with `problem`; the ones after it go back to wait."""
        batch, self.batch, self.deadline = self.batch, [], float("inf")
        return batch, [Result(batch[0][0].index, problem=problem)]

    def kill(self) -> None:
        self.process.kill()
        self.process.join()
        self.connection.close()


class _Workers:
    """The executor of local runs: a batch of small jobs at a time per worker process."""

    batch_bytes = float(BATCH_BYTES)

    def __init__(
        self, size: int, groups: int, timeout: float | None, hold_signals: SignalHold, progress: Progress | None = None
    ) -> None:
        import multiprocessing

        self._progress = progress
        self._context = multiprocessing.get_context("spawn")
        self._hold_signals = hold_signals
        # A worker that dies is replaced as long as jobs wait.
        self._size = min(size, groups)
        self._timeout = timeout
        self._workers: list[_Worker] = []

    def batch_files(self, files_left: int) -> int:
        # Short of work, each worker gets a fair share, so none waits on another's.
        return min(BATCH_FILES, max(1, -(-files_left // (2 * self._size))))

    def free(self) -> int:
        from multiprocessing import resource_tracker

        while len(self._workers) < self._size:
            # A stop that Python hands over in the middle of a start (it can, inside
            # the fork) would lose the child's id: it waits until the worker is listed, to be killed.
            with self._hold_signals():
                # Started first, as starting it unblocks the signals blocked below.
                resource_tracker.ensure_running()
                # Blocked until the worker ignores them, so a Ctrl-C while it
                # starts up can't give it a traceback to print.
                signal.pthread_sigmask(signal.SIG_BLOCK, _STOP_SIGNALS)
                try:
                    self._workers.append(_Worker(self._context))
                finally:
                    signal.pthread_sigmask(signal.SIG_UNBLOCK, _STOP_SIGNALS)
        return sum(worker.idle for worker in self._workers)

    def submit(self, batch: Batch) -> bool:
        worker = next(worker for worker in self._workers if worker.idle)
        return worker.give(batch, self._timeout)

    def running(self) -> bool:
        return any(worker.batch for worker in self._workers)

    def settled(self) -> Iterator[tuple[Batch, list[Result]]]:
        from multiprocessing.connection import wait

        nearest = min((worker.deadline for worker in self._workers), default=float("inf"))
        left = None if nearest == float("inf") else max(0.0, nearest - time.monotonic())
        watched = [handle for worker in self._workers for handle in (worker.connection, worker.process.sentinel)]
        signalled = wait(watched, timeout=left)
        for worker in list(self._workers):
            settled = self._heard(worker, signalled)
            if settled is not None:
                yield settled

    def _heard(self, worker: _Worker, signalled: Sequence[object]) -> tuple[Batch, list[Result]] | None:
        """What `worker` said or did; a worker that is gone leaves the pool. A result
        it sent before it died is read first: that file is done."""
        gone = worker.process.sentinel in signalled
        if worker.connection in signalled:
            try:
                message = worker.connection.recv()
            except (EOFError, OSError):
                gone = True
            else:
                if message is None:
                    worker.ready = True
                    return None
                if isinstance(message, tuple):
                    # ("progress", index, share done) of a long Matroska remux
                    if self._progress is not None:
                        self._progress(message[1], message[2])
                    return None
                return worker.settle(message)
        if gone:
            self._remove(worker)
            if not worker.ready:
                raise CliError(f"a worker process could not start: {death(worker.process.exitcode)}")
            if worker.batch:
                return worker.give_up(death(worker.process.exitcode))
            return None
        if worker.batch and time.monotonic() >= worker.deadline:
            # Killed before its job is settled, so nothing it leaves is cleared too early.
            self._remove(worker)
            return worker.give_up(f"timed out after {worker.limit:g} s")
        return None

    def _remove(self, worker: _Worker) -> None:
        worker.kill()
        self._workers.remove(worker)

    def abandon(self) -> list[Batch]:
        return []

    def stranded_by(self, error: BaseException) -> str | None:
        return None

    def close(self) -> None:
        for worker in self._workers:
            worker.kill()


class _InParent:
    """The executor of a run of a few small files: each job on a thread of this
    process, as a worker would run it, while the loop waits with Ctrl-C let in. A
    pass past its time limit is left to run on, and is reported as timed out: it
    can no longer put anything in place, as its private folder goes with it."""

    batch_bytes = float("inf")

    def __init__(self, timeout: float | None, words: "WordList | None") -> None:
        from c_quorvant import api

        self._api = api
        self._timeout = timeout
        self._words = words
        self._batch: Batch = []
        self._results: list[Result] = []
        self._done = threading.Event()
        self._deadline = float("inf")
        self._limit: float | None = None

    def batch_files(self, files_left: int) -> int:
        return 1

    def free(self) -> int:
        return 0 if self._batch else 1

    def submit(self, batch: Batch) -> bool:
        job = batch[0][0]
        if self._words is not None:
            # The run's list, compiled already: no copy from its rules.
            hold_word_list(job.words_key, self._words)
            self._words = None
        self._batch, self._results, self._done = batch, [], threading.Event()
        self._limit = job.time_limit(self._timeout)
        self._deadline = time.monotonic() + self._limit if self._limit else float("inf")
        results, done = self._results, self._done

        def run() -> None:
            results.append(timed(job, self._api))
            done.set()

        threading.Thread(target=run, name=PASS_THREAD, daemon=True).start()
        return True

    def running(self) -> bool:
        return bool(self._batch)

    def settled(self) -> Iterator[tuple[Batch, list[Result]]]:
        left = max(0.0, self._deadline - time.monotonic())
        if self._done.wait(min(left, _TICK_SECONDS)):
            batch, self._batch = self._batch, []
            yield batch, self._results
        elif time.monotonic() >= self._deadline:
            batch, self._batch = self._batch, []
            yield batch, [Result(batch[0][0].index, problem=f"timed out after {self._limit:g} s")]

    def abandon(self) -> list[Batch]:
        return []

    def stranded_by(self, error: BaseException) -> str | None:
        return None

    def close(self) -> None:
        pass


def run_in_workers(
    groups: list[list[Job]],
    size: int,
    timeout: float | None,
    prepare: Prepare,
    finish: Finish,
    hold_signals: SignalHold = contextlib.nullcontext,
    progress: Progress | None = None,
    words: "WordList | None" = None,
) -> None:
    """Runs every job in at most `size` worker processes, each job ended at `timeout`
    (see schedule.run_jobs), or, for a few small subtitle files, in this process
    (`words`: the run's word list as compiled here); `progress` gets (index, share
    done) of a job that sends it. Workers are killed on the way out, however it goes."""
    if _few_and_small(groups):
        run_jobs(groups, _InParent(timeout, words), prepare, finish)
    else:
        workers = _Workers(size, sum(1 for group in groups if group), timeout, hold_signals, progress)
        run_jobs(groups, workers, prepare, finish)


def _few_and_small(groups: list[list[Job]]) -> bool:
    jobs = [job for group in groups for job in group]
    # A Matroska file's pass runs mkvtoolnix, which only a worker's end ends.
    if len(jobs) > IN_PARENT_FILES or any(is_matroska(job.source) for job in jobs):
        return False
    size = 0
    for job in jobs:
        with contextlib.suppress(OSError):  # the pass reports it
            size += os.path.getsize(job.source)
    return size <= IN_PARENT_BYTES


def passes_left_running() -> bool:
    """Whether a pass given up on (timed out, or stopped by Ctrl-C) still runs in this process."""
    return any(thread.name == PASS_THREAD and thread.is_alive() for thread in threading.enumerate())


def death(exit_code: int | None) -> str:
    if exit_code is not None and exit_code < 0:
        return f"the worker process was killed by {signal.Signals(-exit_code).name}"
    return f"the worker process ended unexpectedly (exit status {exit_code})"
