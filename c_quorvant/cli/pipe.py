"""`-`: one subtitle file from standard input, its output on standard output.

The passes work on files, so the input is put in a private folder and the output
read back from there; a failure writes nothing to standard output."""

import os
import shutil
import sys
import tempfile
from typing import Any

from c_quorvant.cli import STDIN
from c_quorvant.cli.batch import Settings
from c_quorvant.cli.errors import CliError, one_line
from c_quorvant.cli.preview import change_lines, rules_line
from c_quorvant.cli.words import extension, require_valid_rules
from c_quorvant.formats import FORMAT_ENDINGS, text_label


def run_pipe(settings: Settings, format: str) -> int:
    word_list = require_valid_rules(settings.words, settings.unicode, settings.strict, settings.order)
    api: Any = extension("api")
    for warning in word_list.warnings() if settings.style.verbosity >= 0 else ():
        print(f"quorvant: warning: {warning}", file=sys.stderr)
    words = word_list.words
    common = dict(
        protect_tags=settings.protect_tags,
        unicode=settings.unicode,
        encoding=settings.encoding,
        fallback_encoding=settings.fallback_encoding,
    )
    mode = settings.options.mode
    with tempfile.TemporaryDirectory(prefix="quorvant-") as folder:
        source = os.path.join(folder, "stdin" + FORMAT_ENDINGS[format])
        with open(source, "wb") as file:
            shutil.copyfileobj(sys.stdin.buffer, file)
        try:
            if mode == "preview":
                found = api.preview(source, words, **common)
                return _show(found, settings)
            output = os.path.join(folder, "output")
            if mode == "export":
                api.export(source, words, output, **common)
            else:
                api.rewrite(source, words, output, output_encoding=settings.output_encoding, **common)
        except api.SubtitleFileError as error:
            raise CliError(f"{STDIN}: {one_line(error.reason)}") from None
        except (ValueError, RuntimeError, OSError) as error:
            raise CliError(f"{STDIN}: {one_line(str(error))}") from None
        with open(output, "rb") as file:
            sys.stdout.flush()
            shutil.copyfileobj(file, sys.stdout.buffer)
            sys.stdout.buffer.flush()
    return 0


def _show(found: Any, settings: Settings) -> int:
    label = text_label(found.format)
    if settings.style.verbosity >= 0:
        for key, (_, before, after), rules in zip(found.keys, found.changes, found.changed_by, strict=True):
            print("\n".join(change_lines(f"{label} {key}", before, after, settings.style.colour)))
            if settings.style.verbosity > 0:
                print(rules_line(rules))
        print(f"{STDIN}: {len(found.changes)} of {found.texts} texts would change; nothing was written")
    return 1 if settings.style.exit_code and found.changes else 0
