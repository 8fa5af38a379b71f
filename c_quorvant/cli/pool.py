"""Worker processes that run jobs under a time limit each, and that all end at once
when the run stops for any reason (Ctrl-C included)."""

import multiprocessing
import os
import signal
import time
from collections import deque
from collections.abc import Callable, Sequence
from multiprocessing.connection import wait
from multiprocessing.context import SpawnContext

from c_quorvant.cli.errors import CliError
from c_quorvant.cli.worker import Job, Result, serve

_STOP_SIGNALS = {signal.SIGINT, signal.SIGTERM}

Group = deque[Job]


class _Worker:
    def __init__(self, context: SpawnContext) -> None:
        self.connection, child_end = context.Pipe()
        self.process = context.Process(target=serve, args=(child_end, os.getpid()), daemon=True)
        # Blocked until the worker ignores them, so a Ctrl-C while it starts up
        # can't give it a traceback to print.
        signal.pthread_sigmask(signal.SIG_BLOCK, _STOP_SIGNALS)
        try:
            self.process.start()
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, _STOP_SIGNALS)
            child_end.close()
        self.ready = False
        self.broken = False
        self.job: Job | None = None
        self.group: Group = deque()
        self.deadline = float("inf")

    def give(self, job: Job, group: Group, timeout: float | None) -> bool:
        try:
            self.connection.send(job)
        except OSError:
            # It just died; its sentinel tells the loop, which replaces it.
            self.broken = True
            return False
        self.job, self.group = job, group
        self.deadline = time.monotonic() + timeout if timeout else float("inf")
        return True

    def take_job(self) -> tuple[Job, Group]:
        job, group = self.job, self.group
        assert job is not None, "only a worker with a job settles one"
        self.job, self.group, self.deadline = None, deque(), float("inf")
        return job, group

    def kill(self) -> None:
        self.process.kill()
        self.process.join()
        self.connection.close()


def run_in_workers(
    groups: list[list[Job]],
    size: int,
    timeout: float | None,
    prepare: Callable[[Job], Job | Result],
    finish: Callable[[Job, Result], None],
) -> None:
    """Runs every job; the jobs of a group one after another, in order.

    `prepare` turns a job into the one to send just before it starts, or settles it
    with a result; `finish` gets each job's result, or a failure when it ran out of
    time or its worker died. Workers are killed on the way out, however it goes."""
    context = multiprocessing.get_context("spawn")
    waiting: deque[Group] = deque(deque(group) for group in groups if group)
    workers = [_Worker(context) for _ in range(min(size, len(waiting)))]
    try:
        while True:
            for worker in workers:
                if worker.ready and not worker.broken and worker.job is None:
                    _give_next(worker, waiting, timeout, prepare, finish)
            busy = [worker for worker in workers if worker.job is not None]
            if not busy and not waiting:
                return
            nearest = min((worker.deadline for worker in busy), default=float("inf"))
            left = None if nearest == float("inf") else max(0.0, nearest - time.monotonic())
            watched = [worker.connection for worker in workers] + [worker.process.sentinel for worker in workers]
            signalled = wait(watched, timeout=left)
            for worker in list(workers):
                if not _heard(worker, signalled, timeout, finish, waiting):
                    workers.remove(worker)
                    if waiting:
                        workers.append(_Worker(context))
    finally:
        for worker in workers:
            worker.kill()


def _give_next(
    worker: _Worker,
    waiting: deque[Group],
    timeout: float | None,
    prepare: Callable[[Job], Job | Result],
    finish: Callable[[Job, Result], None],
) -> None:
    while waiting:
        group = waiting.popleft()
        job = group.popleft()
        prepared = prepare(job)
        if isinstance(prepared, Job):
            if not worker.give(prepared, group, timeout):
                group.appendleft(job)
                waiting.appendleft(group)
            return
        finish(job, prepared)
        if group:
            waiting.appendleft(group)


def _heard(
    worker: _Worker,
    signalled: Sequence[object],
    timeout: float | None,
    finish: Callable[[Job, Result], None],
    waiting: deque[Group],
) -> bool:
    """Handles what `worker` said or did; False when it is gone and must be replaced."""
    gone = worker.process.sentinel in signalled
    if worker.connection in signalled:
        try:
            message = worker.connection.recv()
        except (EOFError, OSError):
            gone = True
        else:
            if message is None:
                worker.ready = True
            else:
                _done(worker, message, finish, waiting)
            return True
    if gone:
        worker.kill()
        if not worker.ready:
            raise CliError(f"a worker process could not start: {death(worker.process.exitcode)}")
        if worker.job is not None:
            _done(worker, Result(worker.job.index, problem=death(worker.process.exitcode)), finish, waiting)
        return False
    if worker.job is not None and time.monotonic() >= worker.deadline:
        # Killed before its job is settled, so nothing it leaves is cleared too early.
        worker.kill()
        _done(worker, Result(worker.job.index, problem=f"timed out after {timeout:g} s"), finish, waiting)
        return False
    return True


def _done(worker: _Worker, result: Result, finish: Callable[[Job, Result], None], waiting: deque[Group]) -> None:
    job, group = worker.take_job()
    finish(job, result)
    if group:
        waiting.appendleft(group)


def death(exit_code: int | None) -> str:
    if exit_code is not None and exit_code < 0:
        return f"the worker process was killed by {signal.Signals(-exit_code).name}"
    return f"the worker process ended unexpectedly (exit status {exit_code})"
