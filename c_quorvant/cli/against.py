"""check --against: the rules that change no text in the files given, so that a
list's dead rules show before an archive is rewritten with it."""

import json
import sys
from typing import TYPE_CHECKING

from c_quorvant.cli.errors import one_line
from c_quorvant.cli.inputs import Options, select_inputs
from c_quorvant.formats import is_matroska

if TYPE_CHECKING:
    from c_quorvant.api import WordList


def rules_firing_nowhere(
    words: "WordList", paths: list[str], recursive: bool, unicode: bool, protect_tags: bool
) -> int:
    """Previews each file with the rules and lists, in the order the rules apply,
    those that changed no text in any of them; the exit status (1 when a file
    failed or none was read)."""
    from c_quorvant import api
    from c_quorvant.errors import SubtitleFileError

    fired: set[str] = set()
    read = failed = 0
    for item in select_inputs(paths, Options("preview", recursive)).inputs:
        if item.skipped:
            continue
        try:
            if item.problem:
                raise ValueError(item.problem)
            if is_matroska(item.path):
                from c_quorvant import matroska

                for found in matroska.preview(item.path, words, protect_tags=protect_tags, unicode=unicode):
                    fired.update(found.preview.rules)
            else:
                fired.update(api.preview(item.path, words, protect_tags=protect_tags, unicode=unicode).rules)
            read += 1
        except SubtitleFileError as error:
            failed += _failed(item.path, error.reason)
        except (ValueError, RuntimeError, OSError) as error:
            failed += _failed(item.path, str(error))
    idle = [pattern for pattern in words if pattern not in fired]
    files = "1 file" if read == 1 else f"{read} files"
    if not idle:
        print(f"every rule changes a text in the {files} read")
    else:
        print(f"{len(idle)} of {len(words)} rules change no text in the {files} read:")
        for pattern in idle:
            print(f"  {_shown(pattern)} -> {_shown(words[pattern])}")
    return 1 if failed or not read else 0


def _failed(path: str, reason: str) -> int:
    print(f"quorvant: {path}: {one_line(reason)}", file=sys.stderr)
    return 1


def _shown(text: str) -> str:
    return json.dumps(text, ensure_ascii=False)
