"""Jobs run as tasks on a Dask distributed cluster whose workers see the same files.

A task that has started can't be stopped: cancelling its future only drops its
result. A pass that outlives its time limit or a Ctrl-C keeps its worker thread
until it ends, and finds its staging folder gone by then."""

import queue
import time
from collections import deque
from collections.abc import Callable
from dataclasses import dataclass
from types import ModuleType
from typing import Any

from c_quorvant.cli.errors import CliError, UsageError, one_line
from c_quorvant.cli.worker import Job, Result, run_job

# distributed is typed only in part: its client and futures are taken as they come.
Client = Any
Future = Any

# Long enough for a scheduler across a network, short enough for a mistyped one.
CONNECT_SECONDS = 10

Group = deque[Job]


@dataclass(frozen=True)
class _Task:
    job: Job
    group: Group  # what follows it in its group, sent once it is settled
    deadline: float


def run_on_cluster(
    address: str,
    groups: list[list[Job]],
    timeout: float | None,
    prepare: Callable[[Job], Job | Result],
    finish: Callable[[Job, Result], None],
) -> None:
    """As `pool.run_in_workers`, with the cluster's threads for workers. No more tasks
    are out at once than it has threads, so a file's time limit counts from when it
    is sent, not while it waits behind the others."""
    waiting: deque[Group] = deque(deque(group) for group in groups if group)
    if not waiting:
        return
    client = _connect(_distributed(), address)
    batch = _Batch(client, timeout, prepare, finish)
    try:
        batch.run(waiting)
    finally:
        batch.cancel()
        client.close(timeout=CONNECT_SECONDS)


class _Batch:
    def __init__(
        self,
        client: Client,
        timeout: float | None,
        prepare: Callable[[Job], Job | Result],
        finish: Callable[[Job, Result], None],
    ) -> None:
        self._client = client
        self._timeout = timeout
        self._prepare = prepare
        self._finish = finish
        self._threads: dict[str, int] = client.nthreads()
        # Workers that had a pass run out of time. The scheduler still sees them as
        # free while that pass holds their thread, and would queue more behind it.
        self._avoided: set[str] = set()
        self._running: dict[Future, _Task] = {}
        # Filled from the client's own thread; a timed wait on it still lets Ctrl-C in.
        self._settled: queue.SimpleQueue[Future] = queue.SimpleQueue()

    def run(self, waiting: deque[Group]) -> None:
        while True:
            while waiting and len(self._running) < self._capacity():
                self._send_next(waiting)
            if not self._running:
                break
            done = self._wait()
            now = time.monotonic()
            for future, task in list(self._running.items()):
                if future in done:
                    result = _result(future, task.job)
                elif now >= task.deadline:
                    self._avoid(future)
                    future.cancel()
                    result = Result(task.job.index, problem=f"timed out after {self._timeout:g} s")
                else:
                    continue
                del self._running[future]
                self._finish(task.job, result)
                if task.group:
                    waiting.appendleft(task.group)
        stranded = "not run: every worker of the cluster is held by a file that timed out"
        for group in waiting:
            for job in group:
                self._finish(job, Result(job.index, problem=stranded))

    def cancel(self) -> None:
        if self._running:
            self._client.cancel(list(self._running))

    def _send_next(self, waiting: deque[Group]) -> None:
        group = waiting.popleft()
        job = group.popleft()
        prepared = self._prepare(job)
        if isinstance(prepared, Result):
            self._finish(job, prepared)
            if group:
                waiting.appendleft(group)
            return
        allowed = [worker for worker in self._threads if worker not in self._avoided] if self._avoided else None
        future = self._client.submit(run_job, prepared, pure=False, workers=allowed, allow_other_workers=False)
        future.add_done_callback(self._settled.put)
        deadline = time.monotonic() + self._timeout if self._timeout else float("inf")
        self._running[future] = _Task(prepared, group, deadline)

    def _capacity(self) -> int:
        if not self._avoided:
            return max(1, sum(self._threads.values()))  # an adaptive cluster may start empty
        return sum(count for worker, count in self._threads.items() if worker not in self._avoided)

    def _avoid(self, future: Future) -> None:
        for worker, keys in self._client.processing().items():
            if future.key in keys:
                self._avoided.add(worker)

    def _wait(self) -> set[Future]:
        """The futures settled by the nearest deadline, at least one if any is."""
        nearest = min(task.deadline for task in self._running.values())
        left = None if nearest == float("inf") else max(0.0, nearest - time.monotonic())
        done = set()
        try:
            done.add(self._settled.get(timeout=left))
            while not self._settled.empty():
                done.add(self._settled.get())
        except queue.Empty:
            pass
        return done


def _result(future: Future, job: Job) -> Result:
    # run_job reports its own failures; what is raised here comes from the cluster
    # (a worker that died too often, a worker without this package).
    try:
        result: Result = future.result()
    except Exception as error:
        return Result(job.index, problem=one_line(f"the cluster could not run it: {type(error).__name__}: {error}"))
    return result


def _distributed() -> ModuleType:
    try:
        import distributed
    except ImportError as error:
        raise CliError(f"--scheduler needs the Dask client: pip install 'c_quorvant[dask]' ({error})") from error
    return distributed


def _connect(distributed: ModuleType, address: str) -> Client:
    # Checked first: a client refused its address takes seconds to tidy up after itself.
    try:
        distributed.comm.get_address_host_port(address)
    except ValueError as error:
        raise UsageError(f"--scheduler {address}: {one_line(str(error))}") from error
    try:
        client: Client = distributed.Client(address, timeout=CONNECT_SECONDS, set_as_default=False)
    except OSError as error:
        raise CliError(f"cannot reach the Dask scheduler at {address}: {one_line(str(error))}") from error
    return client
