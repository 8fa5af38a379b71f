"""One batch job, run in a worker process: a group of files through one pass."""

import ctypes
import os
import tempfile
import traceback
from collections.abc import Iterator
from contextlib import contextmanager
from dataclasses import dataclass

from c_quorvant.cli.errors import one_line


@dataclass(frozen=True)
class Job:
    index: int  # position on the command line, for reporting in order
    path: str  # as the user gave it
    directory: str  # absolute; the pass runs there so its output lands beside the file
    name: str


@dataclass(frozen=True)
class Outcome:
    index: int
    path: str
    output: str = ""  # the written file, as a path beside `path`
    problem: str = ""  # one line for people; "" on success
    details: str = ""  # traceback, shown with --debug
    skipped: bool = False


def run_jobs(mode: str, words_path: str, jobs: list[Job]) -> list[Outcome]:
    """Runs `jobs` one after another, in order, so files that share an output name
    end as they would in a serial run."""
    from c_quorvant import modify_subs

    run_pass = modify_subs.modify_subs_py if mode == "export" else modify_subs.overwrite_subs
    return [_run_one(run_pass, words_path, job) for job in jobs]


def _run_one(run_pass, words_path: str, job: Job) -> Outcome:
    try:
        # The output name is the input's with a prefix on the whole path, so only a
        # bare name keeps the output beside its input.
        os.chdir(job.directory)
        with _captured_streams() as captured:
            result = run_pass(job.name, words_path)
    except UnicodeEncodeError:
        return Outcome(job.index, job.path, problem="the file name is not valid UTF-8")
    except RuntimeError as error:
        return Outcome(job.index, job.path, problem=one_line(str(error)))
    except Exception as error:
        return Outcome(
            job.index, job.path, problem=one_line(f"{type(error).__name__}: {error}"),
            details=traceback.format_exc(),
        )
    if not result:
        return Outcome(job.index, job.path, problem=_reported_problem(captured))
    return Outcome(job.index, job.path, output=os.path.join(os.path.dirname(job.path), result))


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
