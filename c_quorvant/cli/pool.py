"""Local worker processes that run jobs under a time limit each, and that all end at
once when the run stops for any reason (Ctrl-C included)."""

import contextlib
import multiprocessing
import os
import signal
import time
from collections.abc import Callable, Iterator, Sequence
from multiprocessing import resource_tracker
from multiprocessing.connection import wait
from multiprocessing.context import SpawnContext

from c_quorvant.cli.errors import CliError
from c_quorvant.cli.schedule import Batch, Finish, Prepare, run_jobs
from c_quorvant.cli.worker import Job, Result, serve

_STOP_SIGNALS = {signal.SIGINT, signal.SIGTERM}
SignalHold = Callable[[], contextlib.AbstractContextManager[None]]
Progress = Callable[[int, float], None]


class _Worker:
    def __init__(self, context: SpawnContext) -> None:
        self.connection, child_end = context.Pipe()
        self.process = context.Process(target=serve, args=(child_end, os.getpid()), daemon=True)
        try:
            self.process.start()
        finally:
            child_end.close()
        self.ready = False
        self.broken = False
        self.batch: Batch = []  # one job at most
        self.deadline = float("inf")
        self.limit: float | None = None  # the running job's time limit

    @property
    def idle(self) -> bool:
        return self.ready and not self.broken and not self.batch

    def give(self, batch: Batch, timeout: float | None) -> bool:
        timeout = batch[0][0].time_limit(timeout)
        try:
            self.connection.send(batch[0][0])
        except OSError:
            # It just died; its sentinel tells the loop, which replaces it.
            self.broken = True
            return False
        self.batch = batch
        self.deadline = time.monotonic() + timeout if timeout else float("inf")
        self.limit = timeout
        return True

    def settle(self, result: Result) -> tuple[Batch, list[Result]]:
        batch, self.batch, self.deadline = self.batch, [], float("inf")
        return batch, [result]

    def kill(self) -> None:
        self.process.kill()
        self.process.join()
        self.connection.close()


class _Workers:
    """The executor of local runs: one job at a time per worker process."""

    batch_bytes = float("inf")

    def __init__(
        self, size: int, groups: int, timeout: float | None, hold_signals: SignalHold, progress: Progress | None = None
    ) -> None:
        self._progress = progress
        self._context = multiprocessing.get_context("spawn")
        self._hold_signals = hold_signals
        # A worker that dies is replaced as long as jobs wait.
        self._size = min(size, groups)
        self._timeout = timeout
        self._workers: list[_Worker] = []

    def batch_files(self, files_left: int) -> int:
        return 1

    def free(self) -> int:
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
        nearest = min((worker.deadline for worker in self._workers), default=float("inf"))
        left = None if nearest == float("inf") else max(0.0, nearest - time.monotonic())
        watched = [handle for worker in self._workers for handle in (worker.connection, worker.process.sentinel)]
        signalled = wait(watched, timeout=left)
        for worker in list(self._workers):
            settled = self._heard(worker, signalled)
            if settled is not None:
                yield settled

    def _heard(self, worker: _Worker, signalled: Sequence[object]) -> tuple[Batch, list[Result]] | None:
        """What `worker` said or did; a worker that is gone leaves the pool."""
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
                return worker.settle(Result(worker.batch[0][0].index, problem=death(worker.process.exitcode)))
            return None
        if worker.batch and time.monotonic() >= worker.deadline:
            # Killed before its job is settled, so nothing it leaves is cleared too early.
            self._remove(worker)
            return worker.settle(Result(worker.batch[0][0].index, problem=f"timed out after {worker.limit:g} s"))
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


def run_in_workers(
    groups: list[list[Job]],
    size: int,
    timeout: float | None,
    prepare: Prepare,
    finish: Finish,
    hold_signals: SignalHold = contextlib.nullcontext,
    progress: Progress | None = None,
) -> None:
    """Runs every job in at most `size` worker processes, each job ended at `timeout`
    (see schedule.run_jobs); `progress` gets (index, share done) of a job that sends
    it. Workers are killed on the way out, however it goes."""
    workers = _Workers(size, sum(1 for group in groups if group), timeout, hold_signals, progress)
    run_jobs(groups, workers, prepare, finish)


def death(exit_code: int | None) -> str:
    if exit_code is not None and exit_code < 0:
        return f"the worker process was killed by {signal.Signals(-exit_code).name}"
    return f"the worker process ended unexpectedly (exit status {exit_code})"
