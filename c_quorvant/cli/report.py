"""What a run tells: one line per file in the order the files were named, or one
JSON document, and a summary; the exit status follows from it."""

import json
import sys
from dataclasses import dataclass, field, replace
from typing import TYPE_CHECKING, NoReturn, TextIO

from c_quorvant.cli.inputs import EARLIER_OUTPUT, OUTPUT_EXISTS
from c_quorvant.cli.preview import change_lines, rules_line
from c_quorvant.formats import text_label

# A Matroska remux's bar: the share done and the time left, as mkvmerge reports it.
_REMUX_BAR = "{desc}: {percentage:3.0f}%|{bar}| {elapsed}<{remaining}"
if TYPE_CHECKING:
    from tqdm import tqdm

# A bar for one to three files is noise.
PROGRESS_MIN_FILES = 4
ALREADY_REWRITTEN = "already rewritten: it is the rewrite of its backup NAME.orig"
# Control characters in a name would break its line or drive the terminal.
_ESCAPED = {code: ascii(chr(code))[1:-1] for code in [*range(0x20), *range(0x7F, 0xA0)]}


@dataclass(frozen=True)
class Outcome:
    index: int
    path: str
    status: str  # written, changed, unchanged (preview, or left as it was by --in-place), failed or skipped
    output: str = ""
    reason: str = ""
    details: str = ""  # traceback, shown with --debug
    texts: int | None = None
    changed: int | None = None  # texts the rules changed, when counted
    changes: tuple[tuple[str, str, str], ...] = ()  # each change by its export key ("2 event 5" for a track's)
    seconds: float = 0.0
    encoding: str | None = None  # the codec the input was read in; None: byte-wise
    confidence: float | None = None  # None when the file was not read
    alternatives: tuple[str, ...] = ()  # the encodings that fit nearly as well, when in doubt
    format: str | None = None  # one of formats.LABELS, as read
    diff: tuple[str, ...] = ()  # preview --diff: the hunks of the file's diff
    rules: tuple[tuple[str, int], ...] = ()  # (pattern, texts it changed), in the order the rules apply
    changed_by: tuple[tuple[str, ...], ...] = ()  # preview: the patterns that changed each change
    note: str = ""  # written: what was not kept as it was (an owner)
    matroska: str = ""  # what became of a Matroska file's tracks
    tracks: tuple[dict[str, object], ...] = ()  # each Matroska track's counts


@dataclass(frozen=True)
class Style:
    mode: str
    verbosity: int = 0  # -1 quiet, 0 normal, 1 verbose
    as_json: bool = False
    colour: bool = False
    exit_code: bool = False
    debug: bool = False
    diff: bool = False  # preview: a unified diff on standard output, the rest on standard error


@dataclass
class Report:
    style: Style
    total: int
    in_order: bool = True  # lines in the order the files were named, else as each lands
    outcomes: list[Outcome] = field(default_factory=list)
    _waiting: dict[int, Outcome] = field(default_factory=dict)
    _overwritten: dict[int, str] = field(default_factory=dict)  # index -> the later file that replaced its output
    _earlier_outputs: int = 0  # skipped without a line of their own
    _existing_outputs: int = 0  # --skip-existing: the same
    _already_rewritten: int = 0  # --in-place reruns: the same
    _unchanged: int = 0  # --in-place: files no rule changed, left as they were
    _bar: "tqdm[NoReturn] | None" = field(init=False, default=None)  # tqdm is generic only in its stubs

    def __post_init__(self) -> None:
        show_bar = (
            sys.stderr.isatty()
            and self.total >= PROGRESS_MIN_FILES
            and self.style.verbosity >= 0
            and not self.style.as_json
        )
        if show_bar:
            # Imported only for a bar: a run without one starts that much sooner.
            from tqdm import tqdm

            self._bar = tqdm(total=self.total, unit="file", file=sys.stderr, leave=False)
        self.shows_progress = sys.stderr.isatty() and self.style.verbosity >= 0 and not self.style.as_json
        self._remuxes: dict[int, tqdm[NoReturn]] = {}  # a bar for each long Matroska remux running

    def _write(self, text: str, file: TextIO, end: str = "\n") -> None:
        """Prints `text`, a file's lines together; under bars, through them so they stay below."""
        if self._bar is None and not self._remuxes:
            file.write(text + end)
        else:
            from tqdm import tqdm

            tqdm.write(text, file=file, end=end)
        file.flush()

    def progress(self, index: int, share: float) -> None:
        """A long remux's share done, for the file `index`."""
        if not self.shows_progress:
            return
        bar = self._remuxes.get(index)
        if bar is None:
            from tqdm import tqdm

            # Updates come a few times a second: each is shown.
            bar = self._remuxes[index] = tqdm(
                total=100, file=sys.stderr, leave=False, desc="remuxing", mininterval=0, bar_format=_REMUX_BAR
            )
        bar.update(round(share * 100) - bar.n)

    def warn(self, message: str) -> None:
        if self.style.verbosity >= 0:
            self._write(f"quorvant: warning: {shown(message)}", sys.stderr)

    def note(self, message: str) -> None:
        if self.style.verbosity > 0:
            self._write(f"quorvant: {shown(message)}", sys.stderr)

    def overwritten(self, index: int, by: str) -> None:
        """The output of file `index` was replaced by that of the later file `by`."""
        self._overwritten[index] = by

    def add(self, outcome: Outcome) -> None:
        if self._bar is not None:
            self._bar.update(1)
        remux = self._remuxes.pop(outcome.index, None)
        if remux is not None:
            remux.close()
        if outcome.confidence is not None and outcome.confidence < 0.5:
            self.warn(_unsure(outcome))
        if not self.in_order:
            self.outcomes.append(outcome)
            if not self.style.as_json:
                self._print(outcome)
            return
        self._waiting[outcome.index] = outcome
        while len(self.outcomes) in self._waiting:
            shown = self._waiting.pop(len(self.outcomes))
            self.outcomes.append(shown)
            if not self.style.as_json:
                self._print(shown)

    def settled(self) -> set[int]:
        return {outcome.index for outcome in self.outcomes} | set(self._waiting)

    def finish(self, status: int | None = None) -> int:
        """Prints the summary or the document; `status` overrides the exit status
        the outcomes give (an interrupted run's)."""
        if self._bar is not None:
            self._bar.close()
        self.outcomes.sort(key=lambda outcome: outcome.index)
        if self.style.as_json:
            document = self._document()
            if status is not None:
                document["exit_status"] = status
            json.dump(document, sys.stdout, ensure_ascii=False, indent=2)
            print()
        elif self.style.verbosity >= 0:
            if self._earlier_outputs:
                self._write(f"quorvant: {_earlier_outputs_line(self._earlier_outputs)}", sys.stderr)
            if self._existing_outputs:
                self._write(f"quorvant: {_existing_outputs_line(self._existing_outputs)}", sys.stderr)
            if self._already_rewritten:
                self._write(f"quorvant: {_already_rewritten_line(self._already_rewritten)}", sys.stderr)
            # A single preview's own last line is its summary.
            if self.style.diff:
                print(self._summary(), file=sys.stderr)
            elif self.style.mode != "preview" or self.total > 1:
                print(self._summary())
            if self.style.verbosity > 0 and not self.style.diff:
                for line in self._rule_counts():
                    print(line)
            failed = [outcome.path for outcome in self.outcomes if outcome.status == "failed"]
            # One file's failure is the line just above; an archive's scrolled away.
            if len(failed) > 1:
                print("\n".join(f"failed: {shown(path)}" for path in failed))
        return self._exit_status()

    def _count(self, *statuses: str) -> int:
        return sum(outcome.status in statuses for outcome in self.outcomes)

    def _exit_status(self) -> int:
        failed = self._count("failed")
        if self.style.mode != "preview" or not self.style.exit_code:
            return 1 if failed else 0
        return 2 if failed else 1 if self._count("changed") else 0

    def _summary(self) -> str:
        failed, skipped = self._count("failed"), self._count("skipped")
        if self.style.mode != "preview":
            done_word = "exported" if self.style.mode == "export" else "rewritten"
            overwritten = f" ({len(self._overwritten)} overwritten by a later file)" if self._overwritten else ""
            unchanged = self._count("unchanged")
            left = f", {unchanged} unchanged" if unchanged else ""
            return f"{self._count('written')} {done_word}{overwritten}{left}, {failed} failed, {skipped} skipped"
        changed = self._count("changed")
        texts = sum(outcome.changed or 0 for outcome in self.outcomes)
        return (
            f"{changed} of {self._count('changed', 'unchanged')} files would change ({texts} texts), "
            f"{failed} failed, {skipped} skipped; nothing was written"
        )

    def _rule_counts(self) -> list[str]:
        """The texts each rule changed over the run, the busiest rule first."""
        totals: dict[str, int] = {}
        for outcome in self.outcomes:
            for pattern, count in outcome.rules:
                totals[pattern] = totals.get(pattern, 0) + count
        if not totals:
            return []
        width = len(str(max(totals.values())))
        ranked = sorted(totals.items(), key=lambda item: -item[1])
        return ["texts changed by each rule:"] + [f"  {count:>{width}}  {_shown(pattern)}" for pattern, count in ranked]

    def _print(self, outcome: Outcome) -> None:
        outcome = replace(outcome, path=shown(outcome.path), output=shown(outcome.output), reason=shown(outcome.reason))
        if outcome.status == "failed":
            failure = f"quorvant: {outcome.path}: {outcome.reason}"
            if self.style.debug and outcome.details:
                failure += "\n" + outcome.details.rstrip("\n")
            self._write(failure, sys.stderr)
        elif self.style.diff and outcome.diff:
            # Standard output stays a patch; -q leaves it, as it is what was asked for.
            if outcome.format == "matroska":
                # Each track's diff has its own header, which names the file by "\0".
                patch = "".join(outcome.diff).replace("\0", outcome.path)
            else:
                patch = f"--- {outcome.path}\n+++ {outcome.path}\n{''.join(outcome.diff)}"
            self._write(patch, sys.stdout, end="")
            if self.style.verbosity >= 0:
                self._write(f"{outcome.path}: {outcome.changed} of {outcome.texts} texts would change", sys.stderr)
        elif self.style.verbosity < 0 or self.style.diff:
            return
        elif outcome.status == "skipped" and outcome.reason == EARLIER_OUTPUT and self.style.verbosity == 0:
            self._earlier_outputs += 1
        elif outcome.status == "skipped" and _output_exists(outcome) and self.style.verbosity == 0:
            # A rerun over an archive skips most of it: a line each would bury the rest.
            self._existing_outputs += 1
        elif outcome.status == "skipped" and outcome.reason == ALREADY_REWRITTEN and self.style.verbosity == 0:
            self._already_rewritten += 1
        elif outcome.status == "skipped":
            self._write(f"quorvant: skipped {outcome.path}: {outcome.reason}", sys.stderr)
        elif outcome.status == "written":
            counted = f"{outcome.changed} of {outcome.texts} texts changed, " if outcome.texts is not None else ""
            counts = f" ({counted}{outcome.format}, {_read_as(outcome)}, {outcome.seconds:.2f} s)"
            told = (counts if self.style.verbosity > 0 else _guessed(outcome)) + _tracks(outcome)
            note = f"; {shown(outcome.note)}" if outcome.note else ""
            self._write(f"{outcome.path} -> {outcome.output}{told}{note}", sys.stdout)
        elif outcome.status == "unchanged" and self.style.mode != "preview":
            # Most of a library, on a rerun: the summary counts them.
            if self.style.verbosity > 0:
                # A Matroska file's output is then a plain copy of it.
                copied = f" (copied to {outcome.output})" if outcome.format == "matroska" and outcome.output else ""
                self._write(f"{outcome.path}: no rule changes it; left as it is{copied}", sys.stdout)
        else:
            self._print_preview(outcome)

    def _print_preview(self, outcome: Outcome) -> None:
        label = text_label(outcome.format or "")
        # Several files: each change says whose it is, as grep does.
        where = f"{outcome.path}: " if self.total > 1 else ""
        # A file's lines go out in one write: a file with thousands of changes is one call, not thousands.
        lines: list[str] = []
        for number, (key, before, after) in enumerate(outcome.changes):
            lines += change_lines(f"{where}{label} {key}", before, after, self.style.colour)
            if self.style.verbosity > 0 and number < len(outcome.changed_by):
                lines.append(rules_line(outcome.changed_by[number]))
        took = f" ({outcome.seconds:.2f} s)" if self.style.verbosity > 0 else ""
        ending = "" if self.total > 1 else "; nothing was written"
        read_as = f" ({outcome.format}, {_read_as(outcome)})" if self.style.verbosity > 0 else _guessed(outcome)
        read_as += _tracks(outcome)
        lines.append(f"{outcome.path}: {outcome.changed} of {outcome.texts} texts would change{read_as}{took}{ending}")
        self._write("\n".join(lines), sys.stdout)

    def _document(self) -> dict[str, object]:
        files: list[dict[str, object]] = []
        for outcome in self.outcomes:
            later = self._overwritten.get(outcome.index)
            entry: dict[str, object] = {
                "input": outcome.path,
                "output": outcome.output or None,
                "status": "overwritten" if later else outcome.status,
                "reason": f"{later} wrote the same output after it" if later else outcome.reason or None,
                "texts_changed": outcome.changed,
                "rules": dict(outcome.rules) if outcome.texts is not None else None,
                "encoding": outcome.encoding,
                "confidence": outcome.confidence,
                "alternatives": list(outcome.alternatives),
                "format": outcome.format,
                # What undo checks before it removes or puts back the file.
                "sha256": file_sha256(outcome.output) if outcome.status == "written" and not later else None,
            }
            if outcome.note:
                entry["note"] = outcome.note
            if outcome.tracks:
                entry["tracks"] = list(outcome.tracks)
            if self.style.mode == "preview" and outcome.texts is not None:
                entry["texts"] = outcome.texts
                entry["changes"] = [
                    {"key": key, "before": before, "after": after, "rules": list(rules)}
                    for (key, before, after), rules in zip(outcome.changes, outcome.changed_by, strict=True)
                ]
            files.append(entry)
        return {"command": self.style.mode, "files": files, "exit_status": self._exit_status()}


def _shown(pattern: str) -> str:
    # As the list's JSON writes it, the way check lists the rules.
    return json.dumps(pattern, ensure_ascii=False)


def _earlier_outputs_line(count: int) -> str:
    if count == 1:
        return "1 output of an earlier run skipped (--include-outputs processes it; -v names it)"
    return f"{count} outputs of an earlier run skipped (--include-outputs processes them; -v names them)"


def _existing_outputs_line(count: int) -> str:
    if count == 1:
        return "1 file skipped as its output exists (--skip-existing; -v names it)"
    return f"{count} files skipped as their outputs exist (--skip-existing; -v names them)"


def _already_rewritten_line(count: int) -> str:
    if count == 1:
        return "1 file already rewritten skipped (it is the rewrite of its NAME.orig; -v names it)"
    return f"{count} files already rewritten skipped (each the rewrite of its NAME.orig; -v names them)"


def shown(text: str) -> str:
    """`text` on one line, its control characters escaped as Python writes them."""
    return text.translate(_ESCAPED)


def _output_exists(outcome: Outcome) -> bool:
    return outcome.reason == OUTPUT_EXISTS.format(outcome.output)


def _read_as(outcome: Outcome) -> str:
    return f"{outcome.encoding or 'bytes'}, confidence {outcome.confidence}"


def _tracks(outcome: Outcome) -> str:
    return f" [{outcome.matroska}]" if outcome.matroska else ""


def _guessed(outcome: Outcome) -> str:
    # A wrong guess shows without -v.
    return f" ({outcome.encoding}, guessed)" if outcome.confidence == 0.5 else ""


def _unsure(outcome: Outcome) -> str:
    if outcome.encoding is not None and outcome.confidence is not None and outcome.confidence > 0:
        runner_up = outcome.alternatives[0] if outcome.alternatives else "another encoding"
        return f"{outcome.path}: read as {outcome.encoding}; {runner_up} also fits; give --encoding"
    if outcome.encoding is None:
        how = "no encoding decodes it, so its texts were matched byte by byte"
    else:
        how = f"some of its bytes are not {outcome.encoding}; they were kept as they are (U+FFFD in an export)"
    return f"{outcome.path}: {how}; name its encoding with --encoding NAME or --fallback-encoding NAME"


def file_sha256(path: str) -> str | None:
    """The hex SHA-256 of the file's bytes; None when it can't be read."""
    # in_place reports through this module: imported when first asked.
    from c_quorvant.cli.in_place import sha256_of

    try:
        return sha256_of(path)
    except OSError:
        return None
