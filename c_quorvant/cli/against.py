"""check --against: the rules that change no text in the files given, so that a
list's dead rules show before an archive is rewritten with it."""

import json
import os
import sys
from typing import TYPE_CHECKING

from c_quorvant.cli.errors import one_line
from c_quorvant.cli.inputs import Options, select_inputs

if TYPE_CHECKING:
    from c_quorvant.cli.words import LoadedLists
    from c_quorvant.cli.worker import Job, Result


def rules_firing_nowhere(
    loaded: "LoadedLists",
    paths: list[str],
    recursive: bool,
    unicode: bool,
    protect_tags: bool,
    timeout: float | None,
    jobs: int,
) -> int:
    """Previews each file with the rules and lists, in the order the rules apply,
    those that changed no text in any of them; the exit status (1 when a file
    failed or none was read). The previews run in worker processes, as a run's
    do, so Ctrl-C and the time limit end a rule that backtracks without end."""
    from c_quorvant.cli.pool import run_in_workers
    from c_quorvant.cli.worker import Job

    words = loaded.words
    items = [item for item in select_inputs(paths, Options("preview", recursive)).inputs if not item.skipped]
    failed = sum(_failed(item.path, item.problem) for item in items if item.problem)
    previews = [
        Job(
            item.index,
            "preview",
            os.path.abspath(item.path),
            words.rules,
            protect_tags=protect_tags,
            unicode=unicode,
            words_key=loaded.key,
            words_order=words.order,
        )
        for item in items
        if not item.problem
    ]
    paths_of = {item.index: item.path for item in items}
    results: list[Result] = []

    def finish(_job: "Job", result: "Result") -> None:
        results.append(result)

    run_in_workers([[job] for job in previews], jobs, timeout, lambda job: job, finish)
    fired = {pattern for result in results if not result.problem for pattern, _ in result.rules}
    failed += sum(_failed(paths_of[result.index], result.problem) for result in results if result.problem)
    read = sum(1 for result in results if not result.problem)
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
