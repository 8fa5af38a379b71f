"""The `quorvant` command: batch export and rewrite, word-list check, preview."""

import argparse
import os
import sys
import traceback

from c_quorvant import __version__
from c_quorvant.cli.errors import CliError

PROGRAM = "quorvant"


def main(argv: list[str] | None = None) -> int:
    # File names that aren't UTF-8 reach us as surrogates; show them, don't crash.
    sys.stdout.reconfigure(errors="backslashreplace")
    args = _parser().parse_args(argv)
    args.debug = getattr(args, "debug", False)
    try:
        return _dispatch(args)
    except CliError as error:
        if args.debug:
            traceback.print_exc()
        for line in str(error).splitlines():
            print(f"{PROGRAM}: {line}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"{PROGRAM}: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (`| head`); nothing left to tell anyone.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except Exception as error:
        if args.debug:
            raise
        print(f"{PROGRAM}: unexpected {type(error).__name__}: {error} (run with --debug for details)",
              file=sys.stderr)
        return 1


def _dispatch(args: argparse.Namespace) -> int:
    # Imported here so `--help` stays quick and works without the native modules.
    if args.command in ("export", "rewrite"):
        from c_quorvant.cli.batch import run_batch

        return run_batch(args.command, args.files, args.words, args.jobs, args.debug)
    if args.command == "check":
        from c_quorvant.cli.check import run_check

        return run_check(args.words_file)
    from c_quorvant.cli.preview import run_preview

    return run_preview(args.file, args.words, _use_colour(args.color))


def _use_colour(choice: str) -> bool:
    if choice != "auto":
        return choice == "always"
    return sys.stdout.isatty() and "NO_COLOR" not in os.environ and os.environ.get("TERM") != "dumb"


def _positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"expected a whole number of at least 1, got {text!r}")
    return value


def _parser() -> argparse.ArgumentParser:
    # --debug is accepted before or after the subcommand; the parsers share the
    # action, so its default must stay "absent" for neither to overwrite the other.
    debug = argparse.ArgumentParser(add_help=False)
    debug.add_argument("--debug", action="store_true", default=argparse.SUPPRESS,
                       help="show tracebacks instead of one-line messages")

    parser = argparse.ArgumentParser(
        prog=PROGRAM, parents=[debug],
        description="Rewrite the dialogue of .ass and .srt subtitle files with a replacement word list.")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    for name, summary in (
        ("export", "write each file's rewritten dialogue into a JSON document beside it"),
        ("rewrite", "write a rewritten copy of each file beside it"),
    ):
        command = commands.add_parser(name, parents=[debug], help=summary, description=summary)
        command.add_argument("files", nargs="+", metavar="FILE", help=".ass or .srt subtitle files")
        command.add_argument("--words", required=True, metavar="WORDS.json", help="the replacement word list")
        command.add_argument("-j", "--jobs", type=_positive, default=_default_jobs(), metavar="N",
                             help="files processed at once (default: the number of cores, %(default)s)")

    check = commands.add_parser("check", parents=[debug], help="check a word list and show its rules in order",
                                description="Load a word list as the passes do, compile every pattern, "
                                            "and list the rules in the order they are applied.")
    check.add_argument("words_file", metavar="WORDS.json")

    preview = commands.add_parser("preview", parents=[debug], help="show what the rules would change in a file",
                                  description="Show every text the rules would change, before and after; "
                                              "nothing is written.")
    preview.add_argument("file", metavar="FILE", help="an .ass or .srt subtitle file")
    preview.add_argument("--words", required=True, metavar="WORDS.json", help="the replacement word list")
    preview.add_argument("--color", choices=("auto", "always", "never"), default="auto",
                         help="highlight changed spans (default: auto, on a colour terminal)")
    return parser


def _default_jobs() -> int:
    return len(os.sched_getaffinity(0)) or 1
