"""export / rewrite / preview over many files, in worker processes."""

import contextlib
import os
import shutil
import stat
import sys
import tempfile
import uuid
from collections import defaultdict
from dataclasses import dataclass, replace
from typing import TYPE_CHECKING, Any

from c_quorvant.cli import Interrupted
from c_quorvant.cli.errors import UsageError
from c_quorvant.cli.in_place import (
    DELETED,
    TEMPORARY_PREFIX,
    Backup,
    FolderLocks,
    NotReplaced,
    ReplaceLog,
    keep_original,
    keep_owner,
    owner_note,
    remove_own_backup,
    remove_stale,
    require_replaceable,
    require_unchanged,
    same_bytes,
    sha256_of,
)
from c_quorvant.cli.inputs import BACKUP_ENDING, Input, Options, RealPaths, Selection, select_inputs
from c_quorvant.cli.matroska import remux_seconds
from c_quorvant.cli.pool import SignalHold, run_in_workers
from c_quorvant.cli.report import ALREADY_REWRITTEN, Outcome, Report, Style, shown
from c_quorvant.cli.words import extension, require_valid_rules
from c_quorvant.cli.worker import Job, Result
from c_quorvant.formats import INPUTS_NAMED, NOT_AN_INPUT, is_matroska, output_name

if TYPE_CHECKING:
    from c_quorvant.api import Order


@dataclass(frozen=True)
class Settings:
    files: list[str]
    words: list[str]  # the lists, merged in this order
    jobs: int
    timeout: float | None  # seconds per file; None for no limit
    options: Options
    style: Style
    protect_tags: bool = False
    unicode: bool = False
    strict: bool = False  # the word list's warnings stop the run
    encoding: str = "auto"
    output_encoding: str | None = None
    scheduler: str | None = None  # a Dask scheduler's address; None for local workers
    fallback_encoding: str | None = None  # read in place of the detector's guess
    # Defers Ctrl-C while an output is moved into place and reported.
    hold_signals: SignalHold = contextlib.nullcontext
    order: "Order" = "sorted"  # of the rules: "sorted" or "written"
    wait: bool = False  # --in-place: wait for another run working in a folder instead of failing
    log: str | None = None  # --in-place: the JSON-lines log of the files replaced
    tracks: str = "all"  # a Matroska file's tracks (--tracks)


def run_batch(settings: Settings) -> int:
    locks = FolderLocks()
    try:
        return _run_batch(settings, locks)
    finally:
        locks.release()


def _selected(settings: Settings, locks: FolderLocks) -> Selection:
    """The files to work on; with --in-place, chosen again once every folder they
    lie in is locked if another run held one, as that run changed what is there."""
    options = settings.options
    selection = _refusing_outputs_over_inputs(select_inputs(settings.files, options), options)
    if not options.in_place:
        return selection

    def waiting(folder: str) -> None:
        if settings.style.verbosity >= 0:
            print(f"quorvant: waiting for another quorvant run working in {folder}", file=sys.stderr)

    while locks.take(_folders_of(selection), settings.wait, waiting):
        selection = select_inputs(settings.files, options)
    return selection


def _folders_of(selection: Selection) -> list[str]:
    return [os.path.dirname(item.output) for item in selection.inputs if item.runnable]


def selected_inputs(files: list[str], options: Options) -> Selection:
    """The files a run works on, with their outputs (one over another input refused);
    UsageError when none is a subtitle file."""
    _require_an_output_folder(options)
    selection = _refusing_outputs_over_inputs(select_inputs(files, options), options)
    _require_subtitles(selection)
    return selection


def _require_subtitles(selection: Selection) -> None:
    if not selection.names_subtitles:
        lines = [shown(f"skipped {item.path}: {item.skipped}") for item in selection.inputs if item.skipped]
        raise UsageError("\n".join([*lines, f"no {INPUTS_NAMED} file to work on among the arguments"]))


def _run_batch(settings: Settings, locks: FolderLocks) -> int:
    _require_an_output_folder(settings.options)
    selection = _selected(settings, locks)
    _require_subtitles(selection)
    # Cython warns when a stop lands while a native module starts: it waits those milliseconds.
    with settings.hold_signals():
        extension("_api")
    word_list = require_valid_rules(settings.words, settings.unicode, settings.strict, settings.order)
    warnings = word_list.warnings()

    # A cluster's files land in any order; each is told as it lands.
    report = Report(settings.style, len(selection.inputs), in_order=not settings.scheduler)
    for warning in warnings:
        report.warn(warning)
    for path in selection.ignored:
        report.note(f"ignored {path}: {NOT_AN_INPUT}")
    inputs = {item.index: item for item in selection.inputs}
    for item in selection.inputs:
        if not item.runnable:
            report.add(
                Outcome(
                    item.index,
                    item.path,
                    "skipped" if item.skipped else "failed",
                    item.output,
                    item.skipped or item.problem,
                )
            )
    runnable = [item for item in selection.inputs if item.runnable]
    jobs = {
        item.index: Job(
            item.index,
            settings.options.mode,
            os.path.abspath(item.path),
            word_list.rules,
            words_order=word_list.words.order,
            words_key=word_list.key,
            output_name=os.path.basename(item.output),
            protect_tags=settings.protect_tags,
            unicode=settings.unicode,
            encoding=settings.encoding,
            output_encoding=settings.output_encoding,
            fallback_encoding=settings.fallback_encoding,
            diff=settings.style.diff,
            backup=os.path.abspath(item.backup) if item.backup else "",
            tracks=settings.tracks,
            sidecar=settings.options.sidecar,
            in_place=settings.options.in_place,
            extra_seconds=remux_seconds(item.path),
            progress=report.shows_progress and not settings.scheduler,
        )
        for item in runnable
    }
    options = settings.options
    log = ReplaceLog(settings.log) if settings.log else None
    backup = options.in_place and options.backup
    staging = _Staging(inputs, report, settings.hold_signals, backup, options.in_place, log)
    groups = _groups(runnable, jobs, report)
    try:
        if settings.scheduler:
            from c_quorvant.cli.cluster import run_on_cluster

            run_on_cluster(
                settings.scheduler,
                groups,
                settings.timeout,
                staging.prepare,
                staging.finish,
                verbose=settings.style.verbosity > 0,
            )
        else:
            run_in_workers(
                groups,
                settings.jobs,
                settings.timeout,
                staging.prepare,
                staging.finish,
                settings.hold_signals,
                report.progress,
                word_list.words,
            )
    except Interrupted as interrupt:
        # A script reading the document learns what was done before the stop.
        if settings.style.as_json:
            staging.clear()
            settled = report.settled()
            for item in runnable:
                if item.index not in settled:
                    report.add(Outcome(item.index, item.path, "failed", reason="not run: interrupted"))
            report.finish(interrupt.exit_status)
        raise
    finally:
        staging.clear()
        if log:
            log.close()
    return report.finish()


def _groups(runnable: list[Input], jobs: dict[int, Job], report: Report) -> list[list[Job]]:
    """Files that write the same output run in one group, in the order given, so the
    last one wins whatever the number of workers."""
    groups: dict[str, list[Input]] = defaultdict(list)
    real_path = RealPaths()
    for item in runnable:
        groups[real_path(item.output) if item.output else str(item.index)].append(item)
    for group in groups.values():
        if len(group) > 1:
            names = ", ".join(item.path for item in group)
            report.warn(f"{names} write the same output; the last one listed is kept")
    return [[jobs[item.index] for item in group] for group in groups.values()]


class _Staging:
    """A private folder beside the outputs for their passes to write in; an output is
    moved into place here, in the parent, so once the run is stopped nothing new
    appears, and a killed worker leaves nothing that `clear` does not remove. The
    subtitle files written into one folder share it while any of them is on its way
    (--in-place and Matroska files get a folder each, for backups and mkvtoolnix)."""

    def __init__(
        self,
        inputs: dict[int, Input],
        report: Report,
        hold_signals: SignalHold,
        backup: bool = False,
        in_place: bool = False,
        log: ReplaceLog | None = None,
    ) -> None:
        self._inputs = inputs
        self._backup = backup
        self._in_place = in_place
        self._log = log
        self._read: dict[int, os.stat_result] = {}  # --in-place: each input as it was before its pass read it
        self._report = report
        self._hold_signals = hold_signals
        self._folders: dict[int, str] = {}
        self._shared: dict[str, str] = {}  # by the folder it is in
        self._users: dict[str, int] = {}  # by shared folder: the jobs not yet settled
        self._real_path = RealPaths()
        self._last_written: dict[str, Input] = {}  # by the output's real path
        # Ctrl-C can land between making a folder and noting it: `clear` also removes
        # every folder of this run's prefix in the places folders were made.
        self._prefix = f"{TEMPORARY_PREFIX}{uuid.uuid4().hex[:12]}-"
        self._places: set[str] = set()
        self._made: list[str] = []  # output folders this run created, removed again if left empty

    def prepare(self, job: Job) -> Job | Result:
        if job.mode == "preview":
            return job
        item = self._inputs[job.index]
        target_folder = os.path.dirname(os.path.abspath(item.output))
        if self._in_place:
            # Taken before the worker reads it: any change after this shows.
            try:
                self._read[job.index] = os.lstat(item.output)
            except OSError as error:
                return Result(job.index, problem=f"cannot read it: {error.strerror}")
        # A job whose worker died before taking it comes back here; it keeps its folder.
        if job.index not in self._folders:
            try:
                self._make_folders(target_folder)
                if target_folder not in self._places:
                    remove_stale(target_folder)
                self._places.add(target_folder)
                self._folders[job.index] = self._folder_in(target_folder, item)
            except OSError as error:
                return Result(job.index, problem=f"cannot write in {target_folder}: {error.strerror or error}")
        return replace(job, staging=self._folders[job.index])

    def _folder_in(self, target_folder: str, item: Input) -> str:
        if self._in_place or is_matroska(item.path):
            return tempfile.mkdtemp(prefix=self._prefix, dir=target_folder)
        folder = self._shared.get(target_folder)
        if folder is None:
            folder = self._shared[target_folder] = tempfile.mkdtemp(prefix=self._prefix, dir=target_folder)
        self._users[folder] = self._users.get(folder, 0) + 1
        return folder

    def finish(self, job: Job, result: Result) -> None:
        with self._hold_signals():
            self._settle(job, result)

    def _settle(self, job: Job, result: Result) -> None:
        item = self._inputs[job.index]
        common: dict[str, Any] = dict(
            texts=result.texts,
            changed=result.changed,
            changes=result.changes,
            seconds=result.seconds,
            encoding=result.encoding,
            confidence=result.confidence,
            alternatives=result.alternatives,
            format=result.format,
            diff=result.diff,
            rules=result.rules,
            changed_by=result.changed_by,
            matroska=result.note,
            tracks=result.tracks,
        )
        try:
            if result.problem:
                reason = _as_the_user_sees(result.problem, job, item.output)
                if job.index in self._read and not os.path.lexists(item.output):
                    # Gone before its pass could read it: the same accident as after.
                    reason = DELETED
                outcome = Outcome(item.index, item.path, "failed", reason=reason, details=result.details)
            elif result.status == "skipped":
                outcome = Outcome(item.index, item.path, "skipped", reason=result.note)
            elif result.outputs:
                outcome = self._commit_sidecars(item, result, common)
            elif result.status == "unchanged" and not result.output_name:
                outcome = Outcome(item.index, item.path, "unchanged", **common)
            elif job.mode == "preview":
                outcome = Outcome(item.index, item.path, "changed" if result.changes else "unchanged", **common)
            elif result.rewrites_backup is not None:
                outcome = _against_backup(item, result.rewrites_backup)
            elif self._in_place:
                outcome = self._replace(item, result, common)
            else:
                outcome = self._commit(item, result, common)
        finally:
            self._remove(job.index)
        self._report.add(outcome)

    def clear(self) -> None:
        for index in list(self._folders):
            self._remove(index)
        for place in self._places:
            with contextlib.suppress(OSError):
                for name in os.listdir(place):
                    if name.startswith(self._prefix):
                        shutil.rmtree(os.path.join(place, name), ignore_errors=True)
        for folder in reversed(self._made):
            with contextlib.suppress(OSError):
                os.rmdir(folder)

    def _make_folders(self, folder: str) -> None:
        missing = []
        while folder and not os.path.isdir(folder):
            missing.append(folder)
            folder = os.path.dirname(folder)
        for made in reversed(missing):
            os.makedirs(made, exist_ok=True)
            self._made.append(made)

    def _commit(self, item: Input, result: Result, common: dict[str, Any]) -> Outcome:
        staged = os.path.join(self._folders[item.index], result.output_name)
        output = item.output
        problem = put_output(staged, output, item.path)
        if problem:
            return Outcome(item.index, item.path, "failed", reason=problem)
        # Files with one output run one after another, so the one before is the one replaced.
        real = self._real_path(output)
        replaced = self._last_written.get(real)
        if replaced is not None:
            self._report.overwritten(replaced.index, item.path)
        self._last_written[real] = item
        return Outcome(item.index, item.path, result.status or "written", output, **common)

    def _commit_sidecars(self, item: Input, result: Result, common: dict[str, Any]) -> Outcome:
        """A Matroska file's sidecar files, each moved beside its output's name."""
        folder = os.path.dirname(item.output)
        moved = []
        for name in result.outputs:
            output = os.path.join(folder, name)
            try:
                os.replace(os.path.join(self._folders[item.index], name), output)
            except OSError as error:
                return Outcome(item.index, item.path, "failed", reason=f"cannot write {output}: {error.strerror}")
            moved.append(output)
        return Outcome(item.index, item.path, "written", ", ".join(moved), **common)

    def _replace(self, item: Input, result: Result, common: dict[str, Any]) -> Outcome:
        scratch = self._folders[item.index]
        staged = os.path.join(scratch, result.output_name)
        output = item.output
        backup = output + BACKUP_ENDING if self._backup else None
        status, told = replace_input(output, staged, self._read[item.index], backup, scratch, self._log)
        if status == "written":
            return Outcome(item.index, item.path, "written", output, note=told, **common)
        if status == "unchanged":
            return Outcome(item.index, item.path, "unchanged", output, **common)
        return Outcome(item.index, item.path, "failed", output, told)

    def _remove(self, index: int) -> None:
        folder = self._folders.pop(index, None)
        if not folder:
            return
        if folder in self._users:
            # What a failed pass left under its name goes; the folder, with the last of its files.
            with contextlib.suppress(OSError):
                os.unlink(os.path.join(folder, os.path.basename(self._inputs[index].output)))
            self._users[folder] -= 1
            if self._users[folder]:
                return
            del self._users[folder]
            self._shared = {place: shared for place, shared in self._shared.items() if shared != folder}
        shutil.rmtree(folder, ignore_errors=True)


def put_output(staged: str, output: str, source: str) -> str:
    """Moves `staged` to `output` in one rename, a replaced output keeping its
    permission bits less those `source` lacks; "" or why it failed."""
    try:
        _keep_mode(output, staged, source)
    except OSError as error:
        return _cannot_write(error, staged, output)
    try:
        os.replace(staged, output)
    except OSError as error:
        return f"cannot write {output}: {error.strerror}"
    return ""


def replace_input(
    output: str, staged: str, read: os.stat_result, backup: str | None, scratch: str, log: ReplaceLog | None = None
) -> tuple[str, str]:
    """--in-place: the input `output` gives way to `staged`, its rewrite, only if it is
    still the file `read`, and only after its original is kept as `backup` (None: no
    backup) under a name no one else has. ("written", a note on owners), ("unchanged",
    "") when the rewrite holds the same bytes, or ("failed", why)."""
    made: Backup | None = None
    try:
        require_unchanged(output, read)
        if same_bytes(staged, output):
            return "unchanged", ""
        require_replaceable(output, read)
        owner_kept = keep_owner(staged, read)
        _keep_mode(output, staged, output)
        old_sha256 = sha256_of(output) if log else ""
        if backup:
            made = keep_original(output, backup, read, scratch)
        # The last look: what was read is what the backup holds and what goes.
        require_unchanged(output, read)
        os.replace(staged, output)
    except NotReplaced as refusal:
        if made:
            remove_own_backup(backup or "", made.status)
        return "failed", str(refusal)
    except OSError as error:
        if made:
            remove_own_backup(backup or "", made.status)
        return "failed", _cannot_write(error, staged, output)
    if log:
        log.add(output, backup, old_sha256, sha256_of(output))
    return "written", owner_note(output, read, owner_kept, made)


def _against_backup(item: Input, rewrites_backup: bool) -> Outcome:
    if rewrites_backup:
        return Outcome(item.index, item.path, "skipped", item.output, ALREADY_REWRITTEN)
    return Outcome(
        item.index,
        item.path,
        "failed",
        item.output,
        f"its backup {item.backup} exists, and the file is not its rewrite: compare the two, "
        f"or move {item.backup} away to rewrite the file again",
    )


def _as_the_user_sees(problem: str, job: Job, output: str) -> str:
    """`problem` naming the output where it names the temporary file the pass wrote."""
    if not job.staging:
        return problem
    problem = problem.replace(os.path.join(job.staging, job.output_name), output)
    return problem.replace(job.staging, os.path.dirname(output) or os.curdir)


def _cannot_write(error: OSError, staged: str, output: str) -> str:
    name = output if error.filename in (None, staged) else error.filename
    return f"cannot write {name}: {error.strerror}"


def _keep_mode(existing: str, replacement: str, source: str) -> None:
    """A replaced output keeps its permission bits, less those its input lacks: the
    pass gave a new one no more than the input's."""
    try:
        status = os.lstat(existing)
        allowed = stat.S_IMODE(os.stat(source).st_mode)
    except FileNotFoundError:
        return
    if stat.S_ISREG(status.st_mode):
        os.chmod(replacement, stat.S_IMODE(status.st_mode) & allowed)


def _require_an_output_folder(options: Options) -> None:
    folder = options.output_dir
    # The folder is made as needed: what decides is the nearest part that exists.
    existing = folder
    while existing and not os.path.lexists(existing):
        existing = os.path.dirname(existing)
    if folder is not None and existing and not os.path.isdir(existing):
        raise UsageError(f"-o {folder}: {existing} is a file; -o names the folder the outputs go into")
    if (
        options.mode == "rewrite"
        and folder is None
        and not options.in_place
        and output_name("x.ass", options.name) == "x.ass"
    ):
        raise UsageError(f"--name {options.name} without -o names each file itself; give -o DIR, or --in-place")


def _refusing_outputs_over_inputs(selection: Selection, options: Options) -> Selection:
    """Refuses each output that would land on an input of the run, which a
    template such as '{stem}.srt' can make of another file's name."""
    if options.in_place or options.mode == "preview":
        return selection
    # Refused ones too: their file is as much the user's.
    real_path = RealPaths()
    inputs = {real_path(item.path): item.path for item in selection.inputs if item.runnable or item.output}
    refused = []
    for item in selection.inputs:
        overwritten = inputs.get(real_path(item.output)) if item.runnable else None
        if overwritten is not None:
            problem = f"its output {item.output} is the input {overwritten}; refusing to write over it"
            item = replace(item, problem=problem)
        refused.append(item)
    return replace(selection, inputs=refused)
