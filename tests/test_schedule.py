"""The loop under the local pool and the cluster, with an executor that runs nothing."""

import pytest

from c_quorvant.cli.schedule import Stranded, run_jobs
from c_quorvant.cli.worker import Job, Result


class Scripted:
    """Takes `slots` batches of `files` jobs at once; `events` says what each settling
    does: "ok" settles the oldest batch, "refuse" makes the next submit fail, and an
    exception is raised there."""

    batch_bytes = float("inf")

    def __init__(self, events, slots=2, files=1):
        self.events = list(events)
        self.slots = slots
        self.files = files
        self.out = []
        self.closed = False
        self.refuse = False

    def batch_files(self, files_left):
        return self.files

    def free(self):
        return self.slots - len(self.out)

    def submit(self, batch):
        if self.refuse:
            self.refuse = False
            return False
        self.out.append(batch)
        return True

    def running(self):
        return bool(self.out)

    def settled(self):
        event = self.events.pop(0) if self.events else "ok"
        if isinstance(event, BaseException):
            raise event
        if event == "refuse":
            self.refuse = True
        batch = self.out.pop(0)
        yield batch, [Result(job.index, output_name=f"done {job.index}") for job, _ in batch]

    def abandon(self):
        out, self.out = self.out, []
        return out

    def stranded_by(self, error):
        return error.why if isinstance(error, Stranded) else None

    def close(self):
        self.closed = True


def jobs(*groups):
    return [[Job(index, "rewrite", f"/nowhere/{index}", {}) for index in group] for group in groups]


@pytest.mark.parametrize(
    "groups, events, settled_at_once, slots, files, finished, raised",
    [
        # A group's jobs run in order, one after the other; every job once.
        ([[0, 1, 2], [3], [4]], [], {}, 2, 1, "0 3 1 4 2", None),
        ([[0, 1, 2], [3], [4]], [], {}, 1, 3, "0 3 4 1 2", None),
        # Settled by its preparation: the group goes on without sending it.
        ([[0, 1], [2]], [], {0: "no folder"}, 2, 1, "0:no folder 1 2", None),
        # A refused submit puts the batch back: it runs later, once.
        ([[0], [1], [2]], ["refuse"], {}, 2, 1, "0 1 2", None),
        # Stranded: what runs and what waits, every job of a group once and in order.
        (
            [[0, 1, 2], [3], [4, 5]],
            ["ok", Stranded("gone")],
            {},
            2,
            1,
            "0 3:not run: gone 1:not run: gone 2:not run: gone 4:not run: gone 5:not run: gone",
            None,
        ),
        # Anything else goes through, with the executor closed.
        ([[0], [1], [2]], ["ok", RuntimeError("a bug")], {}, 2, 1, "0", RuntimeError),
        ([[0], [1]], [KeyboardInterrupt()], {}, 2, 1, "", KeyboardInterrupt),
        ([[], []], [], {}, 2, 1, "", None),
    ],
)
def test_each_job_is_settled_once_and_a_groups_in_order(
    groups, events, settled_at_once, slots, files, finished, raised
):
    executor = Scripted(events, slots, files)
    seen = []

    def prepare(job):
        return Result(job.index, problem=settled_at_once[job.index]) if job.index in settled_at_once else job

    def finish(job, result):
        assert result.index == job.index
        seen.append(f"{job.index}:{result.problem}" if result.problem else str(job.index))

    if raised:
        with pytest.raises(raised):
            run_jobs(jobs(*groups), executor, prepare, finish)
    else:
        run_jobs(jobs(*groups), executor, prepare, finish)

    assert " ".join(seen) == finished
    assert executor.closed


class Partial(Scripted):
    """Settles only the first job of each batch; the others never ran."""

    def settled(self):
        batch = self.out.pop(0)
        job = batch[0][0]
        yield batch, [Result(job.index, output_name=f"done {job.index}")]


@pytest.mark.parametrize(
    "groups, files, finished",
    [
        ([[0], [1], [2], [3]], 3, "0 1 2 3"),
        # A group's later jobs still wait for the earlier ones that went back.
        ([[0, 1], [2, 3]], 2, "0 2 1 3"),
    ],
)
def test_jobs_a_batch_never_ran_wait_again_and_run_once(groups, files, finished):
    executor = Partial([], slots=1, files=files)
    seen = []

    run_jobs(jobs(*groups), executor, lambda job: job, lambda job, result: seen.append(str(job.index)))

    assert " ".join(seen) == finished
