"""Jobs run as tasks on a Dask distributed cluster whose workers see the same files.

On a worker, each pass runs in a child process that the task ends at the file's
time limit, so a runaway file never holds a worker thread after it. Nothing is
pinned to a worker: the scheduler places every task on the workers there are now,
and requeues a task whose worker leaves. Whatever ends the run (a lost scheduler,
a closed client, an error of the cluster's own), the files not done are reported."""

import asyncio
import concurrent.futures
import contextlib
import logging
import os
import queue
import socket
import subprocess
import sys
import threading
import time
import uuid
import warnings
from collections.abc import Callable, Iterator
from multiprocessing.connection import Connection
from types import ModuleType
from typing import Any

from c_quorvant.cli.errors import CliError, UsageError, one_line
from c_quorvant.cli.pool import death
from c_quorvant.cli.schedule import Batch, Finish, Prepare, Stranded, run_jobs
from c_quorvant.cli.worker import Job, Result

# distributed is typed only in part: its client and futures are taken as they come.
Client = Any
Future = Any

# Long enough for a scheduler across a network, short enough for a mistyped one.
CONNECT_SECONDS = 10
# A server that isn't a scheduler (a dashboard's HTTP port) may never answer the handshake.
HANDSHAKE_SECONDS = 8
# One task runs on each worker thread while the next is on its way.
TASKS_PER_THREAD = 2
# Small files travel together, so a round trip is paid per batch, not per file.
BATCH_BYTES = 1 << 20
BATCH_FILES = 64
# How often the run looks at the cluster while it waits for results.
TICK_SECONDS = 0.5
LOST = "the scheduler was lost"


def run_on_cluster(
    address: str,
    groups: list[list[Job]],
    timeout: float | None,
    prepare: Prepare,
    finish: Finish,
    verbose: bool = False,
) -> None:
    """As `pool.run_in_workers`, with the cluster's worker threads for workers. A
    file's time limit counts from when its pass starts on a worker."""
    if not any(groups):
        return
    distributed = _distributed(verbose)
    client = _connect(distributed, address)
    run = uuid.uuid4().hex
    try:
        threads = client.nthreads()
        unusable = _check_workers(client, address, threads)
        run_jobs(groups, _Cluster(client, run, set(threads), unusable, timeout), prepare, finish)
    finally:
        _end_passes(client, run)
        # A lost scheduler leaves a client that raises on everything; nothing is left to tell it.
        with contextlib.suppress(Exception):
            client.close(timeout=2)


def _end_passes(client: Client, run: str) -> None:
    """Kills the passes this run still has on the workers (a cancelled task runs on),
    so none holds a worker after it; within a few seconds, whatever the cluster's state."""
    if client.status == "running":
        with contextlib.suppress(Exception):
            _within(5, lambda: client.run(end_run, run, on_error="ignore"))


def _within(seconds: float, call: Callable[[], Any]) -> Any:
    """call(), or TimeoutError after `seconds`: a call the client sends to the workers
    waits for every one of them, a hung one included."""
    outcome: list[Any] = []

    def calling() -> None:
        try:
            outcome.append((True, call()))
        except Exception as error:
            outcome.append((False, error))

    thread = threading.Thread(target=calling, daemon=True)
    thread.start()
    thread.join(seconds)
    if not outcome:
        raise TimeoutError(f"no answer within {seconds:g} s")
    done, value = outcome[0]
    if not done:
        raise value
    return value


class _Cluster:
    """The executor of cluster runs: batches of jobs as tasks, as many as the workers
    that can run the package have threads for, twice over."""

    batch_bytes = float(BATCH_BYTES)

    def __init__(self, client: Client, run: str, known: set[str], unusable: set[str], timeout: float | None) -> None:
        self._client = client
        self._key = run
        self._unusable = unusable
        self._known = known  # workers asked whether they can run the package
        self._timeout = timeout
        self._running: dict[Future, Batch] = {}
        # Filled from the client's own thread; a timed wait on it still lets Ctrl-C in.
        self._settled: queue.SimpleQueue[Future] = queue.SimpleQueue()
        self._empty_since: float | None = None
        self._threads = 0
        self._asked = -TICK_SECONDS
        self._slots = 1

    def batch_files(self, files_left: int) -> int:
        # Short of work, each batch gets a fair share, so no worker waits on another's long one.
        return min(BATCH_FILES, max(1, -(-files_left // self._slots)))

    def free(self) -> int:
        """Tasks to keep out: follows the workers the scheduler has now."""
        now = time.monotonic()
        # Asked while connected only: a call waits out the client's reconnection.
        if now - self._asked >= TICK_SECONDS and self._client.status == "running":
            self._asked = now
            threads = self._client.nthreads()
            joined = set(threads) - self._known
            if joined:
                self._known |= joined
                self._unusable |= _check_workers(self._client, "", threads, joined)
            self._threads = sum(count for worker, count in threads.items() if worker not in self._unusable)
            if self._threads:
                self._empty_since = None
            elif self._empty_since is None:
                self._empty_since = now
        # Tasks sent while there is no worker wait at the scheduler for the next one.
        self._slots = max(1, TASKS_PER_THREAD * self._threads)
        return self._slots - len(self._running)

    def submit(self, batch: Batch) -> bool:
        jobs = [job for job, _ in batch]
        # A preference, not a pin: with none of them left, any worker takes it.
        preferred = {"workers": sorted(self._known - self._unusable), "allow_other_workers": True}
        future = self._client.submit(
            run_batch, jobs, self._timeout, self._key, pure=False, **(preferred if self._unusable else {})
        )
        self._running[future] = batch
        future.add_done_callback(self._settled.put)
        return True

    def running(self) -> bool:
        return bool(self._running)

    def settled(self) -> Iterator[tuple[Batch, list[Result]]]:
        # No worker left: what is waiting has nowhere to go.
        if time.monotonic() - (self._empty_since or time.monotonic()) >= CONNECT_SECONDS:
            raise Stranded(f"no worker of the cluster could run c_quorvant for {CONNECT_SECONDS} s")
        for future in self._wait():
            batch = self._running.pop(future, None)
            if batch is None:
                continue
            results = None if future.status == "cancelled" else _results(future, batch)
            if results is None:
                # Only a lost scheduler cancels a future of this run, or breaks the
                # connection that brings its result.
                self._running[future] = batch
                raise Stranded(LOST)
            yield batch, results
        if self._client.status not in ("running", "connecting"):
            raise Stranded(LOST)

    def _wait(self) -> set[Future]:
        done = set()
        try:
            done.add(self._settled.get(timeout=TICK_SECONDS))
            while not self._settled.empty():
                done.add(self._settled.get())
        except queue.Empty:
            pass
        return done

    def abandon(self) -> list[Batch]:
        with contextlib.suppress(Exception):
            self._client.cancel(list(self._running), force=True)
        batches = list(self._running.values())
        self._running.clear()
        return batches

    def stranded_by(self, error: BaseException) -> str | None:
        if isinstance(error, Stranded):
            return error.why
        if not isinstance(error, (Exception, asyncio.CancelledError)):
            return None
        # A client that lost its scheduler raises whatever call it was in.
        if self._client.status in ("running", "connecting") and not isinstance(error, OSError):
            return one_line(f"the cluster failed: {type(error).__name__}: {error}")
        return LOST

    def close(self) -> None:
        # A stop leaves tasks out: a cancelled one runs on, until end_run ends its pass.
        if self._running:
            self.abandon()


def _results(future: Future, batch: Batch) -> list[Result] | None:
    """The batch's results; None when the connection to the cluster broke."""
    # run_batch reports each file's own failure; what is raised here comes from the
    # cluster (a worker that died too often, a worker that can't load this package).
    try:
        results: list[Result] = future.result()
    except (OSError, concurrent.futures.CancelledError):
        # The scheduler can go between the settled future's status and its result.
        return None
    except Exception as error:
        problem = one_line(f"the cluster could not run it: {type(error).__name__}: {error}")
        return [Result(job.index, problem=problem) for job, _ in batch]
    return results


def _distributed(verbose: bool) -> ModuleType:
    try:
        import distributed
    except ImportError as error:
        raise CliError(f"--scheduler needs the Dask client: pip install 'c_quorvant[dask]' ({error})") from error
    if not verbose:
        # Its reconnection attempts and version warnings are for -v; the run reports what they mean.
        # (The command logs nothing of its own; the client's loggers set their own levels.)
        logging.disable(logging.CRITICAL)
        warnings.filterwarnings("ignore", module="distributed")
    return distributed


def _connect(distributed: ModuleType, address: str) -> Client:
    # Checked first: a client refused its address takes seconds to tidy up after itself.
    try:
        distributed.comm.get_address_host_port(address)
    except ValueError as error:
        raise UsageError(f"--scheduler {address}: {one_line(str(error))}") from error
    _handshake(distributed, address)
    try:
        client: Client = distributed.Client(address, timeout=CONNECT_SECONDS, set_as_default=False)
    except (OSError, TimeoutError) as error:
        raise CliError(f"cannot reach the Dask scheduler at {address}: {one_line(str(error))}") from error
    return client


def _handshake(distributed: ModuleType, address: str) -> None:
    """Asks whoever listens at `address` who it is, within HANDSHAKE_SECONDS: the
    client's own handshake waits without end on a server that never answers it."""

    async def identity() -> object:
        comm = await distributed.comm.connect(address, timeout=HANDSHAKE_SECONDS)
        try:
            await comm.write({"op": "identity", "reply": True})
            return await comm.read()
        finally:
            comm.abort()

    if address.startswith(("tcp://", "tls://")) or "://" not in address:
        try:
            socket.create_connection(distributed.comm.get_address_host_port(address), HANDSHAKE_SECONDS).close()
        except OSError as error:
            raise CliError(f"cannot reach the Dask scheduler at {address}: {error.strerror or error}") from error
    try:
        answer = asyncio.run(asyncio.wait_for(identity(), HANDSHAKE_SECONDS))
    except Exception as error:
        raise CliError(f"not a Dask scheduler at {address}") from error
    if not isinstance(answer, dict) or answer.get("type") != "Scheduler":
        raise CliError(f"not a Dask scheduler at {address}")


# Evaluated on each worker: a function of this package could not even be unpickled
# where the package is missing, and the reason would be lost.
_PROBE = "__import__('c_quorvant.api').__version__"


def _check_workers(client: Client, address: str, threads: dict[str, int], asked: set[str] | None = None) -> set[str]:
    """The workers among `asked` (all by default) that can't run this version of the
    package, each named on standard error; raises when no worker of `threads` can."""
    from c_quorvant import __version__

    if not threads:
        raise CliError(f"no worker of the cluster can run c_quorvant: the scheduler at {address} has no workers")
    try:
        answers = _within(
            CONNECT_SECONDS, lambda: client.run(eval, _PROBE, workers=sorted(asked or threads), on_error="return")
        )
    except TimeoutError as error:
        # Each worker that answered would do; telling which did not is not worth a second wait.
        answers = {worker: error for worker in asked or threads}
    except OSError as error:
        if asked is not None:
            raise  # mid-run: the run tells what is not done
        raise CliError(f"the Dask scheduler at {address} was lost: {one_line(str(error))}") from error
    unusable = {}
    for worker, answer in sorted(answers.items()):
        if isinstance(answer, BaseException):
            unusable[worker] = one_line(f"{type(answer).__name__}: {answer}")
        elif answer != __version__:
            unusable[worker] = f"it has c_quorvant {answer}, this command {__version__}"
    if asked is None and len(unusable) == len(threads):
        named = "; ".join(f"{worker}: {why}" for worker, why in unusable.items())
        raise CliError(f"no worker of the cluster can run c_quorvant: {named}")
    for worker, why in unusable.items():
        print(f"quorvant: warning: worker {worker} can't run c_quorvant: {why}", file=sys.stderr)
    return set(unusable)


# On a worker: the task and the child processes that run its passes.


def run_batch(jobs: list[Job], timeout: float | None, run: str) -> list[Result]:
    """Runs `jobs` one after another in a child process of this worker, each ended
    at `timeout` or when `end_run(run)` is called; what they ran into is in the
    results, never raised."""
    results = []
    for job in jobs:
        if _idle.ended(run):
            results.append(Result(job.index, problem="not run: its run ended"))
            continue
        try:
            child = _idle.take(run)
        except OSError as error:
            # Raised, it would read as the client's broken connection.
            problem = f"cannot start a process on worker {socket.gethostname()}: {error.strerror or error}"
            results.append(Result(job.index, problem=problem))
            continue
        try:
            results.append(child.run(job, job.time_limit(timeout)))
        finally:
            # A child ended at a time limit is not given back: the next job gets another.
            _idle.give_back(child, run)
    return results


class _Child:
    """A process that runs passes (worker.serve) for the task that holds it."""

    def __init__(self) -> None:
        ours, theirs = socket.socketpair()
        with theirs:
            command = "from c_quorvant.cli.worker import serve_socket; serve_socket()"
            self.process = subprocess.Popen(
                [sys.executable, "-P", "-c", command, str(theirs.fileno()), str(os.getpid())],
                pass_fds=[theirs.fileno()],
                stdin=subprocess.DEVNULL,
            )
        self.connection = Connection(ours.detach())
        self.ready = False

    def alive(self) -> bool:
        return self.process.poll() is None

    def run(self, job: Job, timeout: float | None) -> Result:
        missing = _invisible(job)
        if missing:
            return Result(job.index, problem=missing)
        try:
            if not self.ready:
                # Its import is not the file's time.
                if not self.connection.poll(60) or self.connection.recv() is not None:
                    raise EOFError
                self.ready = True
            self.connection.send(job)
            if not self.connection.poll(timeout):
                self.end()
                return Result(job.index, problem=f"timed out after {timeout:g} s")
            result: Result = self.connection.recv()
            return result
        except (EOFError, OSError):
            self.end()
            return Result(job.index, problem=death(self.process.returncode))

    def end(self) -> None:
        self.process.kill()
        self.process.wait()
        self.connection.close()


class _Idle:
    """The worker's children not running a task; a task takes one or starts one."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._children: list[_Child] = []
        self._busy: dict[str, set[_Child]] = {}  # by run
        self._ended: set[str] = set()

    def take(self, run: str) -> _Child:
        with self._lock:
            while self._children:
                child = self._children.pop()
                if child.alive():
                    break
                child.end()
            else:
                child = _Child()
            self._busy.setdefault(run, set()).add(child)
        return child

    def give_back(self, child: _Child, run: str) -> None:
        with self._lock:
            self._busy.get(run, set()).discard(child)
            if not self._busy.get(run, True):
                del self._busy[run]
            if child.alive() and not child.connection.closed:
                self._children.append(child)

    def ended(self, run: str) -> bool:
        return run in self._ended

    def end_run(self, run: str) -> None:
        with self._lock:
            self._ended.add(run)
            for child in self._busy.pop(run, set()):
                # The task's own thread sees it die, and settles what it held.
                child.process.kill()


_idle = _Idle()


def end_run(run: str) -> None:
    """On a worker: kills the passes of `run` in progress."""
    _idle.end_run(run)


def _invisible(job: Job) -> str:
    # The client saw these paths; a worker that doesn't has other storage mounted.
    for path in (job.source, job.staging):
        if path and not os.path.exists(path):
            return f"not visible on worker {socket.gethostname()}: {path}"
    return ""
