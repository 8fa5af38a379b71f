"""The command line's grammar, its help and examples."""

import argparse
import os
from collections.abc import Callable

from c_quorvant import __version__
from c_quorvant.formats import DEFAULT_NAME, INPUTS_NAMED, LABELS, check_template
from c_quorvant.text_encoding import text_codec

PROGRAM = "quorvant"
# An episode takes milliseconds and a 50 MB file with 1,000 rules under 4 s; only a
# rule that backtracks without end takes a minute, and then it would take hours.
DEFAULT_TIMEOUT = 60.0
# The longest wait poll() takes: its milliseconds are a C int.
LONGEST_TIMEOUT = 2_147_483

EXAMPLES = """\
examples:
  quorvant help word-lists                         what a word list holds, and how it applies
  quorvant check words.json                        list the rules in the order they apply
  quorvant check words.json --against season1     ... and the rules that change nothing there
  quorvant preview season1 -w words.json           what would change in each file; nothing is written
  quorvant rewrite season1 -w words.json           a rewritten copy of each file, beside it
  quorvant rewrite shows -r -o out -w words.json   every file below shows/, into out/ with the same folders
  quorvant export ep01.ass ep02.srt -w words.json  each file's rewritten texts as JSON
  quorvant preview *.srt -w words.json -q --exit-code || exit 1   guard a commit hook or CI step
  quorvant rewrite shows -r -o clean --name '{name}' -w words.json   same names, in clean/
  quorvant rewrite season1 --in-place -w words.json   each file replaced, the original kept as NAME.orig
  quorvant undo season1                            each NAME.orig put back
  quorvant rewrite "Show - 01.mkv" --tracks eng -w words.json   a Matroska file's English text tracks

Outputs are named by --name, by default the module's rule: "[Quorvanted] " before the
file's name and, for export, the ending swapped for .json (ep01.ass -> "[Quorvanted]
ep01.json"). Endings count in any letter case (EP01.SRT), and an output keeps its input's.
The outputs of an earlier run are skipped: names that start with "[Quorvanted] ", names
--name makes of another input, and under --in-place files with a NAME.orig backup.

exit status:
  0  every file was done (skipped ones included)
  1  a file or the word list failed (check: an invalid pattern)
  2  nothing to work on, or the arguments are wrong
  preview --exit-code: 0 nothing would change, 1 something would, 2 a failure
  130 Ctrl-C (128 + the signal's number): the run stopped where it was
"""


WORD_LISTS = """\
A word list is a JSON object: each member a rule, its name a pattern, its value the
replacement.

  {
    "(\\\\w+)-san": "$1",
    "\\\\bsenpai\\\\b": {"replace": "senior", "case": "preserve"},
    "Mr.": {"replace": "Mister", "literal": true}
  }

- Patterns are ECMAScript regular expressions (as in JavaScript), matched without
  regard to letter case. No lookbehind, no named groups, no inline flags like (?i).
  In JSON a backslash is written twice: "\\\\b" is the pattern \\b.
- Replacements write $1 ... $99 for the groups, $& for the whole match, $$ for a
  dollar sign. Not \\1 or \\g<1>: those are Python's, and are written as they are.
  null or "" deletes the match.
- A value may be an object of options: "replace" (required), "case" ("insensitive",
  "sensitive", or "preserve": the replacement takes the match's case), "word": true
  (whole words only), "literal": true (no regex), "enabled": false.
- The rules apply one after another, each to the text the ones before it wrote, in
  the byte order of their patterns (capitals before small letters), so a list means
  the same everywhere. --order written applies them as written: put a specific rule
  (onii-chan) before a general one ((\\w+)-chan) that would take its words first.
- Patterns match UTF-8 bytes: use --unicode for character classes, \\w and case
  folding beyond ASCII. // and /* */ comments and a comma after the last member are
  accepted.

quorvant check WORDS.json lists the rules in the order they apply and warns about the
usual mistakes, with the line and column of each. Full reference: docs/word-lists.md.
"""
HELP_TOPICS = {"word-lists": WORD_LISTS}


def build_parser() -> argparse.ArgumentParser:
    # --debug, -q and -v are accepted before or after the subcommand; the parsers
    # share the actions, so their defaults must stay "absent" for neither to
    # overwrite the other.
    shared = _shared_options()
    # An abbreviation (--prot) would stop meaning the same option once another starts alike.
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        allow_abbrev=False,
        parents=[shared],
        epilog=EXAMPLES,
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description=f"Rewrite the dialogue of subtitle files ({INPUTS_NAMED} text tracks) with a "
        "replacement word list.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    for name, summary in (
        ("export", "write each file's rewritten dialogue into a JSON document"),
        ("rewrite", "write a rewritten copy of each file"),
        ("preview", "show what the rules would change in each file; nothing is written"),
    ):
        command = commands.add_parser(
            name,
            allow_abbrev=False,
            parents=[shared],
            help=summary,
            description=summary,
            epilog=EXAMPLES,
            formatter_class=argparse.RawDescriptionHelpFormatter,
        )
        _add_batch_arguments(command, writes=name != "preview", converts=name == "rewrite")

    _add_check_command(commands, shared)
    _add_review_command(commands, shared)
    _add_undo_command(commands, shared)
    _add_help_command(commands)
    for each in (parser, *commands.choices.values()):
        _in_topic_order(each)
    return parser


# Help sections, as ripgrep groups its flags; every option but --help stands in one.
TOPICS = {
    "input": "which files are read",
    "rules": "the word list and how its rules apply",
    "output": "where the outputs go and what they are called",
    "encoding": "the files' text encodings",
    "run": "how the work is run",
    "report": "what is printed, and the exit status",
}


def _topic(parser: argparse.ArgumentParser, name: str) -> "argparse._ArgumentGroup":
    """The parser's help section `name`, made the first time (a parent's comes along)."""
    for group in parser._action_groups:
        if group.title == name:
            return group
    return parser.add_argument_group(name, TOPICS[name])


def _in_topic_order(parser: argparse.ArgumentParser) -> None:
    """Shows the help's sections in TOPICS order. The shared -q and -v come from a
    parent's mutually exclusive group, which argparse files under "options"."""
    groups = {group.title: group for group in parser._action_groups}
    if "report" in groups and "options" in groups:
        shared = [action for action in groups["options"]._group_actions if action.dest == "verbosity"]
        groups["options"]._group_actions[:] = [a for a in groups["options"]._group_actions if a not in shared]
        groups["report"]._group_actions[:0] = shared
    order = ["positional arguments", "options", *TOPICS]
    parser._action_groups.sort(key=lambda group: order.index(group.title) if group.title in order else len(order))


def _add_batch_arguments(command: argparse.ArgumentParser, writes: bool, converts: bool) -> None:
    _topic(command, "input").add_argument(
        "files",
        nargs="+",
        metavar="PATH",
        type=_path,
        help=f"{INPUTS_NAMED} files, or folders to search for them; - alone reads one file "
        "from standard input (its format named by --format) and writes its output to standard output",
    )
    _topic(command, "input").add_argument(
        "--format", choices=LABELS, help="the format of the file read from standard input (-)"
    )
    _topic(command, "rules").add_argument(
        "-w",
        "--words",
        required=True,
        action="append",
        metavar="WORDS.json",
        type=_path,
        help="the replacement word list; - reads it from standard input. Given again, the lists merge "
        "in order, a later list's rule for the same pattern winning",
    )
    _topic(command, "rules").add_argument(
        "--order",
        choices=("sorted", "written"),
        default="sorted",
        help="the order the rules apply in: sorted, the byte order of the patterns (default), or "
        "written, as in the file (merged lists one after another)",
    )
    _topic(command, "input").add_argument(
        "-r", "--recursive", action="store_true", help="search the folders' subfolders too"
    )
    _topic(command, "input").add_argument(
        "--tracks",
        default="all",
        metavar="CHOICE",
        type=_tracks,
        help="the text tracks of Matroska files (.mkv, .mka, .mks) to work on: track ids as mkvmerge -J "
        "numbers them, language codes (eng, ja) or all (the default), separated by commas; a file with "
        "no track matching is skipped",
    )
    _topic(command, "input").add_argument(
        "--follow-links",
        action="store_true",
        help="with -r, also search subfolders reached through a link (a link back to a folder "
        "already searched is reported, not followed)",
    )
    _topic(command, "input").add_argument(
        "--include-outputs",
        action="store_true",
        help="also work on the outputs of an earlier run: names that start with "
        '"[Quorvanted] ", or that --name makes of another input',
    )
    _topic(command, "rules").add_argument(
        "--protect-tags",
        action="store_true",
        help="leave the format's tags alone (ASS override blocks, drawings, \\N \\n \\h; SubRip "
        "<i>, <font ...> and {...}): the rules see only the visible text between them",
    )
    _topic(command, "rules").add_argument(
        "--unicode",
        action="store_true",
        help="match characters, not UTF-8 bytes: '.', classes, \\w, \\b, \\s and case folding "
        "work on whole characters (a text that is not valid UTF-8 is still matched byte-wise)",
    )
    _topic(command, "encoding").add_argument(
        "--encoding",
        type=_encoding,
        default="auto",
        metavar="NAME",
        help="the files' text encoding, a Python codec name such as cp1252 or shift_jis (default: auto, "
        "from a byte-order mark, escape sequences, UTF-16's zero bytes, UTF-8, or else a detector's guess); "
        "a byte-order mark still decides",
    )
    _topic(command, "encoding").add_argument(
        "--fallback-encoding",
        type=_encoding,
        metavar="NAME",
        help="the encoding of the files that no byte-order mark, escape sequence or UTF decides, "
        "in place of the detector's guess (a one-language archive's code page)",
    )
    if writes:
        _add_output_arguments(command, converts)
    else:
        _add_preview_arguments(command)
    if converts or not writes:
        _add_diff_argument(command)
    _add_run_arguments(command)
    _topic(command, "run").add_argument(
        "--scheduler",
        metavar="ADDRESS",
        help="send each file as a task to the Dask cluster whose scheduler is at ADDRESS "
        "(tcp://HOST:PORT) instead of local workers; files, word list and outputs must be on "
        "storage every worker sees (needs c_quorvant[dask])",
    )
    _topic(command, "rules").add_argument(
        "--strict",
        action="store_true",
        help="treat the word list's warnings (see check) as errors: stop before any file is touched",
    )
    _topic(command, "report").add_argument(
        "--json",
        action="store_true",
        help="print one JSON summary (per file: input, output, status, reason, texts changed; "
        'status "overwritten" for an output a later file replaced) instead of the lines for people',
    )


def _shared_options() -> argparse.ArgumentParser:
    shared = argparse.ArgumentParser(add_help=False)
    report = _topic(shared, "report")
    report.add_argument(
        "--debug", action="store_true", default=argparse.SUPPRESS, help="show tracebacks instead of one-line messages"
    )
    loudness = report.add_mutually_exclusive_group()
    loudness.add_argument(
        "-q",
        "--quiet",
        dest="verbosity",
        action="store_const",
        const=-1,
        default=argparse.SUPPRESS,
        help="print only errors",
    )
    loudness.add_argument(
        "-v",
        "--verbose",
        dest="verbosity",
        action="store_const",
        const=1,
        default=argparse.SUPPRESS,
        help="also print the texts changed and the time per file, and the files ignored in folders",
    )
    return shared


def _add_check_command(
    commands: "argparse._SubParsersAction[argparse.ArgumentParser]", shared: argparse.ArgumentParser
) -> None:
    check = commands.add_parser(
        "check",
        allow_abbrev=False,
        parents=[shared],
        help="check a word list and show its rules in order",
        description="Load a word list as the passes do, compile every pattern, list the "
        "rules in the order they are applied, and warn about patterns given "
        "twice, rules that an earlier rule shadows, and patterns matching single "
        "bytes of a non-ASCII character.",
    )
    _topic(check, "rules").add_argument(
        "words_file", metavar="WORDS.json", type=_path, nargs="+", help="one or more lists, merged in order"
    )
    _topic(check, "rules").add_argument(
        "--order",
        choices=("sorted", "written"),
        default="sorted",
        help="the order the rules apply in: sorted, the byte order of the patterns (default), or "
        "written, as in the file (merged lists one after another)",
    )
    _topic(check, "rules").add_argument(
        "--unicode",
        action="store_true",
        help="judge the patterns as --unicode applies them, without the byte-wise warnings",
    )
    _topic(check, "input").add_argument(
        "--against",
        metavar="PATH",
        type=_path,
        nargs="+",
        help="also preview these files and folders with the list and name the rules that change no text in any",
    )
    _topic(check, "input").add_argument(
        "-r", "--recursive", action="store_true", help="with --against, search the folders' subfolders"
    )
    _topic(check, "rules").add_argument(
        "--protect-tags", action="store_true", help="with --against, apply the rules as --protect-tags does"
    )
    _add_run_arguments(check, "with --against, ")


def _add_undo_command(
    commands: "argparse._SubParsersAction[argparse.ArgumentParser]", shared: argparse.ArgumentParser
) -> None:
    undo = commands.add_parser(
        "undo",
        allow_abbrev=False,
        parents=[shared],
        help="put back the files an --in-place run replaced, and remove the outputs a run wrote",
        description="Put back each NAME.orig backup of an --in-place run over NAME, and remove the outputs "
        "a run's --json report lists. A file that changed since the run (told by the report's or the "
        "log's sha256) is refused and left as it is.",
    )
    _topic(undo, "input").add_argument(
        "paths", metavar="PATH", type=_path, nargs="*", help="files, or folders to search, whose NAME.orig is put back"
    )
    _topic(undo, "input").add_argument(
        "-r", "--recursive", action="store_true", help="search the folders' subfolders too"
    )
    _topic(undo, "input").add_argument(
        "--report",
        metavar="FILE",
        type=_path,
        action="append",
        default=[],
        help="a run's --json report: remove the outputs it wrote, put back the files it rewrote in place",
    )
    _topic(undo, "input").add_argument(
        "--log",
        metavar="FILE",
        type=_path,
        action="append",
        default=[],
        help="the log of an --in-place --log run: put back each file it replaced",
    )


def _add_run_arguments(command: argparse.ArgumentParser, scope: str = "") -> None:
    _topic(command, "run").add_argument(
        "-j",
        "--jobs",
        type=_positive,
        default=_default_jobs(),
        metavar="N",
        help=scope + "files processed at once (default: the number of cores, %(default)s)",
    )
    _topic(command, "run").add_argument(
        "--timeout",
        type=_seconds,
        default=DEFAULT_TIMEOUT,
        metavar="SECONDS",
        help=scope + "give up on a file after this long, writing nothing for it; 0 for no limit "
        "(default: %(default)g, far beyond any real file, well short of a runaway rule)",
    )


def _add_help_command(commands: "argparse._SubParsersAction[argparse.ArgumentParser]") -> None:
    helper = commands.add_parser(
        "help", allow_abbrev=False, help="explain a topic: word-lists (what a word list holds and how it applies)"
    )
    helper.add_argument("topic", choices=sorted(HELP_TOPICS), help="the topic")


def _add_review_command(
    commands: "argparse._SubParsersAction[argparse.ArgumentParser]", shared: argparse.ArgumentParser
) -> None:
    summary = "show every change in a browser page, turn rules and changes off there, and write the rest"
    review = commands.add_parser(
        "review",
        allow_abbrev=False,
        parents=[shared],
        help=summary,
        description=f"{summary}. The page is served on this computer only, behind a token; "
        "Apply writes as rewrite does, with its options (needs c_quorvant[review]).",
    )
    _add_batch_arguments(review, writes=True, converts=True)
    # Parsed so that review can say why it takes them, but not offered.
    for action in review._actions:
        if action.dest in ("format", "diff", "scheduler", "json", "timeout"):
            action.help = argparse.SUPPRESS
    _topic(review, "run").add_argument(
        "--port", type=_port, default=0, metavar="N", help="the port to serve on (default: a free one)"
    )
    _topic(review, "run").add_argument(
        "--host",
        default="127.0.0.1",
        metavar="ADDRESS",
        help="the address to serve on (default: %(default)s); any but loopback lets other computers try the token",
    )
    _topic(review, "run").add_argument(
        "--no-browser", action="store_true", help="print the page's address without opening a browser"
    )


def _add_output_arguments(command: argparse.ArgumentParser, converts: bool) -> None:
    _topic(command, "output").add_argument(
        "-o",
        "--output-dir",
        metavar="DIR",
        type=_path,
        help="write the outputs into DIR (with -r, in the same subfolders as the inputs) instead of beside each input",
    )
    _topic(command, "output").add_argument(
        "--name",
        metavar="TEMPLATE",
        default=DEFAULT_NAME,
        type=_template,
        help="name each output by TEMPLATE: {stem} the input's name without its ending, {ext} the "
        "output's ending (the input's own, or .json for export), {name} both "
        "(default: '%(default)s'; with -o, '{name}' keeps the names players look for)",
    )
    _topic(command, "output").add_argument(
        "--skip-existing", action="store_true", help="leave files whose output exists"
    )
    if converts:
        _topic(command, "output").add_argument(
            "--in-place",
            action="store_true",
            help="replace each input with its rewritten copy (in one rename, so it is never missing "
            "or partial), keeping the original as NAME.orig; a file no rule changes, or changed by "
            "someone meanwhile, is left as it is (see docs/in-place.md)",
        )
        _topic(command, "output").add_argument(
            "--no-backup", dest="backup", action="store_false", help="with --in-place, keep no NAME.orig"
        )
        _topic(command, "run").add_argument(
            "--wait",
            action="store_true",
            help="with --in-place, wait for another run working in the same folder to end, instead of failing",
        )
        _topic(command, "output").add_argument(
            "--force", action="store_true", help="with --in-place, replace read-only files too (they stay read-only)"
        )
        _topic(command, "report").add_argument(
            "--log",
            metavar="FILE",
            type=_path,
            help="with --in-place, add a JSON line to FILE for each file replaced: its name, its backup's, "
            "and the SHA-256 of the bytes replaced and written",
        )
        _topic(command, "output").add_argument(
            "--sidecar",
            action="store_true",
            help="write each changed text track of a Matroska file as a loose file beside it "
            "(Show.en.ass, Show.en.sdh.srt, Show.ja.forced.ass) instead of a remuxed copy; the video is not touched",
        )
        _topic(command, "encoding").add_argument(
            "--output-encoding",
            type=_encoding,
            metavar="NAME",
            help="write the copies in this encoding instead of each input's own (utf-8-sig, utf-16: with a mark)",
        )


def _add_diff_argument(command: argparse.ArgumentParser) -> None:
    _topic(command, "report").add_argument(
        "--diff",
        action="store_true",
        help="print a unified diff of each file that would change, and write nothing (exit status as preview's)",
    )


def _add_preview_arguments(command: argparse.ArgumentParser) -> None:
    _topic(command, "report").add_argument(
        "--color",
        choices=("auto", "always", "never"),
        default="auto",
        help="highlight changed spans (default: auto, on a colour terminal)",
    )
    _topic(command, "report").add_argument(
        "--exit-code",
        action="store_true",
        help="exit with 1 when something would change, 2 when a file or the word list failed",
    )


def _path(text: str) -> str:
    # The module would cut the name at the NUL and work on another file.
    if "\0" in text:
        raise argparse.ArgumentTypeError(f"{text!r} holds a NUL byte, which no file name can")
    return text


def _number[N: (int, float)](parse: Callable[[str], N], text: str, accepted: Callable[[N], bool], expected: str) -> N:
    try:
        value = parse(text)
    except ValueError:
        value = None
    if value is None or not accepted(value):
        raise argparse.ArgumentTypeError(f"expected {expected}, got {text!r}")
    return value


def _encoding(text: str) -> str:
    if text == "auto":
        return text
    try:
        text_codec(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None
    return text


def _tracks(text: str) -> str:
    from c_quorvant.containers.tracks import parse_choice

    try:
        parse_choice(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None
    return text


def _template(text: str) -> str:
    try:
        check_template(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None
    return text


def _positive(text: str) -> int:
    return _number(int, text, lambda value: value >= 1, "a whole number of at least 1")


def _port(text: str) -> int:
    return _number(int, text, lambda value: 0 <= value <= 65535, "a port number from 0 to 65535")


def _seconds(text: str) -> float:
    return _number(
        float, text, lambda value: 0 <= value <= LONGEST_TIMEOUT, f"a number of seconds from 0 to {LONGEST_TIMEOUT}"
    )


def _default_jobs() -> int:
    return len(os.sched_getaffinity(0)) or 1
