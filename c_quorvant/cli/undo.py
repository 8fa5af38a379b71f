"""undo: put back what an earlier run replaced, and remove what it wrote, unless a
file changed since."""

import json
import os
import sys
from collections.abc import Iterator
from dataclasses import dataclass

from c_quorvant.cli.errors import CliError
from c_quorvant.cli.inputs import BACKUP_ENDING, Options, select_inputs
from c_quorvant.cli.report import file_sha256


@dataclass(frozen=True)
class Step:
    """One file to put back from its backup (`backup` set) or to remove."""

    path: str
    backup: str | None  # None: remove `path`
    sha256: str | None = None  # what `path` held after the run; None when not known
    backup_sha256: str | None = None  # what the backup held; None when not known
    refused: str = ""  # why nothing can be done for it


def run_undo(paths: list[str], recursive: bool, reports: list[str], logs: list[str], verbosity: int) -> int:
    steps = [
        *_backups_below(paths, recursive),
        *(step for report in reports for step in _report_steps(report)),
        *(step for log in logs for step in _log_steps(log)),
    ]
    if not steps:
        raise CliError("nothing to undo: no NAME.orig backup among the paths, and no file in the report or log")
    done = refused = 0
    for step in steps:
        problem = step.refused or _changed(step)
        if problem:
            refused += 1
            print(f"quorvant: refused {step.path}: {problem}", file=sys.stderr)
            continue
        try:
            if step.backup is None:
                os.remove(step.path)
            else:
                # One rename: the file is never missing, and the backup becomes it.
                os.replace(step.backup, step.path)
        except OSError as error:
            refused += 1
            print(f"quorvant: {step.path}: {error.strerror or error}", file=sys.stderr)
            continue
        done += 1
        if verbosity >= 0:
            print(f"restored {step.path} from {step.backup}" if step.backup else f"removed {step.path}")
    if verbosity >= 0:
        print(f"{done} undone, {refused} refused")
    return 1 if refused else 0


def _changed(step: Step) -> str:
    if step.sha256 is not None and file_sha256(step.path) != step.sha256:
        return "it changed since the run (or is gone); left as it is"
    if step.backup is not None and not os.path.lexists(step.backup):
        return f"its backup {step.backup} is gone"
    if step.backup is not None and step.backup_sha256 is not None and file_sha256(step.backup) != step.backup_sha256:
        return f"its backup {step.backup} changed since the run; left as it is"
    return ""


def _backups_below(paths: list[str], recursive: bool) -> Iterator[Step]:
    """Each subtitle file among `paths` with the backup of an --in-place run."""
    if not paths:
        return
    selection = select_inputs(paths, Options("preview", recursive))
    for item in selection.inputs:
        backup = item.path + BACKUP_ENDING
        if item.problem:
            yield Step(item.path, None, refused=item.problem)
        elif os.path.lexists(backup):
            yield Step(item.path, backup)


def _report_steps(report: str) -> Iterator[Step]:
    """The files a run's --json report says it wrote: outputs beside their inputs are
    removed, inputs rewritten in place are put back from their backups."""
    document = _json(report, _read(report))
    files = document.get("files") if isinstance(document, dict) else None
    if not isinstance(files, list):
        raise CliError(f"report {report!r}: not a --json report of a run (no list of files)")
    for entry in files:
        if not isinstance(entry, dict) or entry.get("status") != "written" or not entry.get("output"):
            continue
        output, digest = str(entry["output"]), entry.get("sha256")
        if not isinstance(digest, str):
            yield Step(output, None, refused="the report has no sha256 for it, so a later change can't be told")
        elif entry.get("input") == output:
            yield Step(output, output + BACKUP_ENDING, digest)
        else:
            yield Step(output, None, digest)


def _log_steps(log: str) -> Iterator[Step]:
    """The files an --in-place --log run replaced, one JSON object a line."""
    for number, line in enumerate(_read(log).splitlines(), start=1):
        if not line.strip():
            continue
        entry = _json(f"{log}, line {number}", line)
        if not isinstance(entry, dict) or not isinstance(entry.get("file"), str):
            raise CliError(f"log {log!r}, line {number}: not a line of an --in-place --log run")
        path, backup = entry["file"], entry.get("backup")
        if not isinstance(backup, str):
            yield Step(path, None, refused="the run kept no backup of it (--no-backup)")
            continue
        yield Step(path, backup, entry.get("new_sha256"), entry.get("old_sha256"))


def _read(path: str) -> str:
    try:
        with open(path, encoding="utf-8") as file:
            return file.read()
    except (OSError, UnicodeDecodeError) as error:
        raise CliError(f"cannot read {path!r}: {getattr(error, 'strerror', None) or error}") from None


def _json(name: str, text: str) -> object:
    try:
        return json.loads(text)
    except json.JSONDecodeError as error:
        raise CliError(f"{name}: not JSON: {error}") from None
