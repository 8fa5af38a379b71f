"""The `quorvant` command: batch export, rewrite and preview, word-list check, review page."""

import argparse
import contextlib
import io
import os
import signal
import sys
import threading
import traceback
from collections.abc import Callable, Iterator
from types import FrameType
from typing import TYPE_CHECKING

from c_quorvant.cli.arguments import PROGRAM, build_parser
from c_quorvant.cli.errors import CliError, UsageError
from c_quorvant.formats import DEFAULT_NAME, LABELS

if TYPE_CHECKING:
    from c_quorvant.cli.batch import Settings

STDIN = "-"
_AGAIN_AFTER = 0.01  # seconds
_IN_PLACE_ONLY = (("--wait", "wait"), ("--force", "force"), ("--log", "log"))


class Interrupted(BaseException):
    """Ctrl-C or a termination request: the run stops where it is."""

    def __init__(self, number: int) -> None:
        super().__init__(number)
        self.exit_status = 128 + number


class _StopOnSignals:
    """Turns the first SIGINT or SIGTERM into Interrupted and ignores the rest, so
    pressing Ctrl-C again can't break off the cleaning up."""

    _NUMBERS = (signal.SIGINT, signal.SIGTERM)

    def __init__(self) -> None:
        self._stopping = False
        self._holding = 0
        self._held: int | None = None

    def __enter__(self) -> "_StopOnSignals":
        self._previous = {number: signal.signal(number, self._handle) for number in self._NUMBERS}
        self._previous_hook = sys.unraisablehook
        sys.unraisablehook = self._swallowed
        return self

    @contextlib.contextmanager
    def held(self) -> Iterator[None]:
        """A stop asked for inside waits for the block's end, so a file moved into
        place is always reported with it."""
        self._holding += 1
        try:
            yield
        finally:
            self._holding -= 1
        if not self._holding and self._held is not None:
            self._stop(self._held)

    def __exit__(self, *_exception: object) -> None:
        sys.unraisablehook = self._previous_hook
        # Once stopping, the process is on its way out: a further Ctrl-C stays ignored.
        if not self._stopping:
            for number, handler in self._previous.items():
                signal.signal(number, handler)

    def _handle(self, number: int, _frame: FrameType | None) -> None:
        if self._stopping or self._held is not None:
            return
        if self._holding:
            self._held = number
            return
        self._stop(number)

    def _swallowed(self, unraisable: "sys.UnraisableHookArgs") -> None:
        """Python drops what a finalizer raises, a stop that lands in one included
        (and prints it): the stop is asked for again a moment later, from a thread,
        so that it lands in the run once the finalizer is done (or is dropped again,
        and asked for again)."""
        if not isinstance(unraisable.exc_value, Interrupted):
            self._previous_hook(unraisable)
            return
        self._stopping = False
        for number in self._NUMBERS:
            signal.signal(number, self._handle)
        again = threading.Timer(_AGAIN_AFTER, os.kill, (os.getpid(), unraisable.exc_value.args[0]))
        again.daemon = True
        again.start()

    def _stop(self, number: int) -> None:
        self._stopping = True
        for other in self._NUMBERS:
            signal.signal(other, signal.SIG_IGN)
        raise Interrupted(number)


def main(argv: list[str] | None = None) -> int:
    status = _main(argv)
    pool = sys.modules.get("c_quorvant.cli.pool")
    if pool is not None and pool.passes_left_running():
        # A pass given up on runs on in native code: the interpreter's shutdown
        # must not free what it still reads.
        sys.stdout.flush()
        sys.stderr.flush()
        os._exit(status)
    return status


def _main(argv: list[str] | None) -> int:
    # File names that aren't UTF-8 reach us as surrogates; show them, don't crash.
    if isinstance(sys.stdout, io.TextIOWrapper):
        sys.stdout.reconfigure(errors="backslashreplace")
    args = build_parser().parse_args(argv)
    args.debug = getattr(args, "debug", False)
    args.verbosity = getattr(args, "verbosity", 0)
    try:
        with _StopOnSignals() as signals:
            return _dispatch(args, signals.held)
    except CliError as error:
        if args.debug:
            traceback.print_exc()
        for line in str(error).splitlines():
            print(f"{PROGRAM}: {line}", file=sys.stderr)
        return error.exit_status
    except Interrupted as interrupt:
        print(f"{PROGRAM}: interrupted", file=sys.stderr)
        return interrupt.exit_status
    except BrokenPipeError:
        # The reader went away (`| head`) having read what it wanted, as grep's does;
        # nothing is left to tell anyone.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except Exception as error:
        if args.debug:
            raise
        print(f"{PROGRAM}: unexpected {type(error).__name__}: {error} (run with --debug for details)", file=sys.stderr)
        return 1


def _dispatch(args: argparse.Namespace, hold_signals: Callable[[], contextlib.AbstractContextManager[None]]) -> int:
    # Imported here so `--help` stays quick and works without the native modules.
    if args.command == "help":
        from c_quorvant.cli.arguments import HELP_TOPICS

        print(HELP_TOPICS[args.topic], end="")
        return 0
    if args.command == "undo":
        from c_quorvant.cli.undo import run_undo

        return run_undo(args.paths, args.recursive, args.report, args.log, args.verbosity)
    if args.command == "check":
        from c_quorvant.cli.check import run_check

        return run_check(
            args.words_file,
            args.verbosity,
            args.unicode,
            args.order,
            args.against,
            args.recursive,
            args.protect_tags,
            args.timeout or None,
            args.jobs,
        )
    from c_quorvant.cli.batch import Settings, run_batch
    from c_quorvant.cli.inputs import Options
    from c_quorvant.cli.report import Style

    diff = getattr(args, "diff", False)
    if diff:
        if args.json:
            raise UsageError("--diff prints a diff: it takes no --json")
        if getattr(args, "in_place", False) or getattr(args, "output_dir", None) is not None:
            raise UsageError("--diff writes nothing: it takes no -o or --in-place")
        # rewrite --diff shows what the rewrite would write, as a preview does.
        args.command = "preview"
    writes = args.command != "preview"
    in_place = getattr(args, "in_place", False)
    if in_place and (args.output_dir is not None or args.name != DEFAULT_NAME or args.skip_existing):
        raise UsageError("--in-place replaces each input: it takes no -o, --name or --skip-existing")
    if not getattr(args, "backup", True) and not in_place:
        raise UsageError("--no-backup goes with --in-place")
    given = [flag for flag, name in _IN_PLACE_ONLY if getattr(args, name, None)]
    if given and not in_place:
        raise UsageError(f"{given[0]} goes with --in-place")
    sidecar = getattr(args, "sidecar", False)
    if sidecar and (in_place or args.name != DEFAULT_NAME or args.skip_existing):
        raise UsageError(
            "--sidecar names each track's file after its video: it takes no --in-place, --name or --skip-existing"
        )
    options = Options(
        args.command,
        args.recursive,
        args.include_outputs,
        args.output_dir if writes else None,
        writes and args.skip_existing,
        args.name if writes else DEFAULT_NAME,
        in_place,
        getattr(args, "backup", True),
        args.follow_links,
        getattr(args, "force", False),
        sidecar,
    )
    style = Style(
        args.command,
        args.verbosity,
        args.json,
        not writes and _use_colour(getattr(args, "color", "never")),
        not writes and getattr(args, "exit_code", False),
        args.debug,
        diff,
    )
    settings = Settings(
        args.files,
        args.words,
        args.jobs,
        args.timeout or None,
        options,
        style,
        args.protect_tags,
        args.unicode,
        args.strict,
        args.encoding,
        getattr(args, "output_encoding", None),
        args.scheduler,
        args.fallback_encoding,
        hold_signals,
        args.order,
        getattr(args, "wait", False),
        getattr(args, "log", None),
        tracks=args.tracks,
    )
    if args.command == "review":
        from c_quorvant.cli.review import run_review

        return run_review(args, settings)
    try:
        if STDIN in args.files or args.format:
            return _run_pipe(args, settings)
        return run_batch(settings)
    except CliError as error:
        # A hook tells "would change" (1) from "could not tell" (2).
        if style.exit_code:
            error.exit_status = 2
        raise


def _run_pipe(args: argparse.Namespace, settings: "Settings") -> int:
    from c_quorvant.cli.pipe import run_pipe

    if args.files != [STDIN] or not args.format:
        raise UsageError(f"- reads one file from standard input: give it alone, with --format {' '.join(LABELS)}")
    if getattr(args, "diff", False):
        raise UsageError("--diff takes no -: rewrite - writes the rewritten file for diff to compare")
    if STDIN in args.words:
        raise UsageError("standard input holds the subtitle file: -w - can't read the word list from it too")
    if args.json or args.scheduler or getattr(args, "output_dir", None) is not None or getattr(args, "in_place", False):
        raise UsageError("- is read and written by this process: it takes no -o, --in-place, --json or --scheduler")
    return run_pipe(settings, args.format)


def _use_colour(choice: str) -> bool:
    if choice != "auto":
        return choice == "always"
    return sys.stdout.isatty() and "NO_COLOR" not in os.environ and os.environ.get("TERM") != "dumb"
