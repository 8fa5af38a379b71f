"""The one loop that runs a batch's jobs, on local worker processes or on a cluster:
it hands out jobs as the executor has room, collects results as they come, keeps
the jobs of a group in order, and settles every job exactly once, however the run
ends."""

import contextlib
import os
from collections import deque
from collections.abc import Callable, Iterator
from typing import Protocol

from c_quorvant.cli.worker import Job, Result

# Jobs that write one output, run one after another in the order given.
Group = deque[Job]
# Jobs sent together, each with what is left of its group.
Batch = list[tuple[Job, Group]]
Prepare = Callable[[Job], Job | Result]
Finish = Callable[[Job, Result], None]


class Stranded(Exception):
    """The executor can run nothing more: every job not done is settled with `why`."""

    def __init__(self, why: str) -> None:
        super().__init__(why)
        self.why = why


class Executor(Protocol):
    # A batch grows until it holds this many bytes of input (or batch_files' count).
    batch_bytes: float

    def batch_files(self, files_left: int) -> int:
        """How many jobs the next batch may hold, with `files_left` not yet sent."""
        ...

    def free(self) -> int:
        """How many more batches it takes now."""
        ...

    def submit(self, batch: Batch) -> bool:
        """Starts `batch`; False when it could not, and the batch goes back."""
        ...

    def settled(self) -> Iterator[tuple[Batch, list[Result]]]:
        """Waits a while for batches to end, and gives each with its results: those
        of its first jobs, when the rest never ran and are to wait again. Raises
        Stranded when nothing more can run."""
        ...

    def running(self) -> bool: ...

    def abandon(self) -> list[Batch]:
        """Stops what runs and gives its batches, which will report nothing. Never raises."""
        ...

    def stranded_by(self, error: BaseException) -> str | None:
        """Why the jobs not done are not run when `error` ended the loop; None
        when the error goes through (a stop, or a failure the run reports)."""
        ...

    def close(self) -> None:
        """Ends whatever still runs: on the way out, however the loop ended."""
        ...


def run_jobs(groups: list[list[Job]], executor: Executor, prepare: Prepare, finish: Finish) -> None:
    """Runs every job; the jobs of a group one after another, in order.

    `prepare` turns a job into the one to send just before it goes, or settles it
    with a result; `finish` gets each job's result, or a failure when the executor
    could not run it. A stop (Ctrl-C) goes through, after the executor ended what runs."""
    loop = _Loop(groups, executor, prepare, finish)
    try:
        loop.run()
    except BaseException as error:
        why = executor.stranded_by(error)
        if why is None:
            raise
        loop.strand(why)
    finally:
        executor.close()


class _Loop:
    def __init__(self, groups: list[list[Job]], executor: Executor, prepare: Prepare, finish: Finish) -> None:
        self._waiting: deque[Group] = deque(deque(group) for group in groups if group)
        self._files_left = sum(len(group) for group in self._waiting)
        self._executor = executor
        self._prepare = prepare
        self._finish = finish

    def run(self) -> None:
        while True:
            while self._waiting and self._executor.free() > 0:
                batch = self._take()
                if batch and not self._executor.submit(batch):
                    self._put_back(batch)
            if not self._executor.running() and not self._waiting:
                return
            for batch, results in self._executor.settled():
                for (job, group), result in zip(batch, results[: len(batch)], strict=False):
                    self._finish(job, result)
                    if group:
                        self._waiting.appendleft(group)
                self._put_back(batch[len(results) :])

    def _take(self) -> Batch:
        most = self._executor.batch_files(self._files_left)
        limit = self._executor.batch_bytes
        batch: Batch = []
        size = 0
        while self._waiting and len(batch) < most and size < limit:
            group = self._waiting.popleft()
            job = group.popleft()
            self._files_left -= 1
            prepared = self._prepare(job)
            if isinstance(prepared, Result):
                self._finish(job, prepared)
                if group:
                    self._waiting.appendleft(group)
                continue
            batch.append((prepared, group))
            if limit != float("inf"):
                with contextlib.suppress(OSError):
                    size += os.path.getsize(job.source)
        return batch

    def _put_back(self, batch: Batch) -> None:
        for job, group in reversed(batch):
            group.appendleft(job)
            self._waiting.appendleft(group)
            self._files_left += 1

    def strand(self, why: str) -> None:
        """Settles every job not done with `why`."""
        left = [pair for batch in self._executor.abandon() for pair in batch]
        left += [(group.popleft(), group) for group in self._waiting]
        self._waiting.clear()
        for job, group in left:
            self._finish(job, Result(job.index, problem=f"not run: {why}"))
            for later in group:
                self._finish(later, Result(later.index, problem=f"not run: {why}"))
