"""`quorvant review`: the changes in a browser page, served until the page is finished."""

import argparse
import sys
import webbrowser
from typing import TYPE_CHECKING

from c_quorvant.cli import STDIN
from c_quorvant.cli.arguments import PROGRAM
from c_quorvant.cli.errors import CliError, UsageError

if TYPE_CHECKING:
    from c_quorvant.cli.batch import Settings

EXTRA = 'quorvant review needs the review extra: pip install "c_quorvant[review]"'


def run_review(args: argparse.Namespace, settings: "Settings") -> int:
    if STDIN in args.files or args.format or STDIN in args.words:
        raise UsageError("review reads files and word lists named on the command line: it takes no -")
    for given, name in ((args.diff, "--diff"), (args.json, "--json"), (args.scheduler, "--scheduler")):
        if given:
            raise UsageError(f"review shows the changes in a page: it takes no {name}")
    try:
        from c_quorvant.review.server import ReviewServer, is_loopback
        from c_quorvant.review.session import Session
    except ImportError as error:
        if error.name not in ("starlette", "uvicorn") and not str(error.name).startswith(("starlette.", "uvicorn.")):
            raise
        raise CliError(EXTRA) from None

    session = Session(settings, reading_threads=args.jobs)
    # Told here as the other commands tell them; the page shows them too.
    for line in session.problem.splitlines():
        print(f"{PROGRAM}: {line}", file=sys.stderr)
    for warning in session.warnings:
        print(f"{PROGRAM}: warning: {warning}", file=sys.stderr)
    if not is_loopback(args.host):
        print(
            f"{PROGRAM}: warning: serving on {args.host}, not loopback: anyone who can reach it and learns the "
            "token can read these files' dialogue and write them",
            file=sys.stderr,
        )
    with ReviewServer(session, args.host, args.port) as server:
        print(f"Review at {server.url}", flush=True)
        if not args.no_browser:
            webbrowser.open(server.url)
        # Ctrl-C lands here, in the main thread, and leaves through the server's stop.
        server.finished.wait()
    print(f"{PROGRAM}: the review is finished", file=sys.stderr)
    return 0
