"""export / rewrite: one pass over many files, in parallel worker processes."""

import multiprocessing
import os
import sys
import traceback
from collections import defaultdict
from concurrent.futures import Future, ProcessPoolExecutor, as_completed

from tqdm import tqdm

from c_quorvant.cli.words import extension, require_valid_rules
from c_quorvant.cli.worker import Job, Outcome, run_jobs

# The passes choose the format by these endings, byte for byte (case counts).
SUPPORTED_ENDINGS = (".ass", ".srt")
# A bar for one to three files is noise.
PROGRESS_MIN_FILES = 4


def run_batch(mode: str, files: list[str], words_path: str, jobs: int, debug: bool) -> int:
    require_valid_rules(words_path)
    extension("modify_subs")
    words_path = os.path.abspath(words_path)

    settled, runnable = _triage(files)
    groups = _group_by_output(mode, runnable)
    report = _Report(mode, len(files), debug)
    for outcome in settled:
        report.add(outcome)
    if groups:
        _run_groups(mode, words_path, groups, jobs, report)
    return report.finish()


def _triage(files: list[str]) -> tuple[list[Outcome], list[Job]]:
    """Settles up front what no pass needs to see."""
    settled: list[Outcome] = []
    runnable: list[Job] = []
    for index, path in enumerate(files):
        if not path.endswith(SUPPORTED_ENDINGS):
            settled.append(Outcome(index, path, skipped=True))
        elif not os.path.exists(path):
            settled.append(Outcome(index, path, problem="no such file"))
        elif os.path.isdir(path):
            settled.append(Outcome(index, path, problem="is a directory"))
        else:
            directory, name = os.path.split(os.path.abspath(path))
            runnable.append(Job(index, path, directory, name))
    return settled, runnable


def _group_by_output(mode: str, jobs: list[Job]) -> list[list[Job]]:
    """Files that write the same output run in one group, in command-line order,
    so the last one wins whatever the number of workers."""
    groups: dict[tuple[str, str], list[Job]] = defaultdict(list)
    for job in jobs:
        # Both export passes write ".json", so "ep.ass" and "ep.srt" collide there.
        stem = job.name[: -len(".ass")] if mode == "export" else job.name
        groups[(os.path.realpath(job.directory), stem)].append(job)
    for group in groups.values():
        if len({os.path.realpath(os.path.join(job.directory, job.name)) for job in group}) > 1:
            names = ", ".join(job.path for job in group)
            _warn(f"{names} write the same output; the last one listed is kept")
    return list(groups.values())


def _run_groups(mode: str, words_path: str, groups: list[list[Job]], jobs: int, report: "_Report") -> None:
    # spawn: a fresh interpreter per worker, nothing inherited from this one's threads.
    context = multiprocessing.get_context("spawn")
    pool = ProcessPoolExecutor(max_workers=min(jobs, len(groups)), mp_context=context)
    try:
        futures: dict[Future, list[Job]] = {
            pool.submit(run_jobs, mode, words_path, group): group for group in groups
        }
        for future in as_completed(futures):
            for outcome in _outcomes(future, futures[future]):
                report.add(outcome)
    except BaseException:
        pool.shutdown(wait=False, cancel_futures=True)
        raise
    pool.shutdown()


def _outcomes(future: Future, group: list[Job]) -> list[Outcome]:
    try:
        return future.result()
    except Exception as error:
        # A worker that died takes its whole group with it.
        details = "".join(traceback.format_exception(error))
        return [
            Outcome(job.index, job.path, problem=f"the worker process failed: {error}", details=details)
            for job in group
        ]


def _warn(message: str) -> None:
    tqdm.write(f"quorvant: warning: {message}", file=sys.stderr)


class _Report:
    """Prints one line per file in command-line order as results come in, under a
    progress bar on a terminal."""

    def __init__(self, mode: str, total: int, debug: bool) -> None:
        self._done_word = "exported" if mode == "export" else "rewritten"
        self._debug = debug
        self._waiting: dict[int, Outcome] = {}
        self._next = 0
        self._counts = {"done": 0, "failed": 0, "skipped": 0}
        show_bar = sys.stderr.isatty() and total >= PROGRESS_MIN_FILES
        self._bar = tqdm(total=total, unit="file", file=sys.stderr, disable=not show_bar, leave=False)

    def add(self, outcome: Outcome) -> None:
        self._bar.update(1)
        self._waiting[outcome.index] = outcome
        while self._next in self._waiting:
            self._print(self._waiting.pop(self._next))
            self._next += 1

    def finish(self) -> int:
        self._bar.close()
        counts = self._counts
        print(f"{counts['done']} {self._done_word}, {counts['failed']} failed, {counts['skipped']} skipped")
        return 1 if counts["failed"] else 0

    def _print(self, outcome: Outcome) -> None:
        if outcome.skipped:
            self._counts["skipped"] += 1
            tqdm.write(f"quorvant: skipped {outcome.path}: not an .ass or .srt file", file=sys.stderr)
        elif outcome.problem:
            self._counts["failed"] += 1
            tqdm.write(f"quorvant: {outcome.path}: {outcome.problem}", file=sys.stderr)
            if self._debug and outcome.details:
                tqdm.write(outcome.details.rstrip("\n"), file=sys.stderr)
        else:
            self._counts["done"] += 1
            tqdm.write(f"{outcome.path} -> {outcome.output}", file=sys.stdout)
