"""check: the word list as the passes will read and apply it."""

import sys
from typing import TYPE_CHECKING

from c_quorvant.cli.words import read_word_lists, shown

if TYPE_CHECKING:
    from c_quorvant.api import Order, RuleCheck


def run_check(
    words_paths: list[str],
    verbosity: int,
    unicode: bool = False,
    order: "Order" = "sorted",
    against: list[str] | None = None,
    recursive: bool = False,
    protect_tags: bool = False,
    timeout: float | None = None,
    jobs: int = 1,
) -> int:
    loaded = read_word_lists(words_paths, unicode, order)
    checks = loaded.checks
    problems = loaded.problems()
    if verbosity >= 0:
        _list_rules(loaded.path, checks, order)
        for line in loaded.warnings():
            print(f"quorvant: warning: {line}", file=sys.stderr)
    for line in problems:
        print(f"quorvant: {line}", file=sys.stderr)
    if verbosity >= 0 and checks:
        print(_verdict(len(problems), len(checks)))
    if against and not problems:
        from c_quorvant.cli.against import rules_firing_nowhere

        return rules_firing_nowhere(loaded, against, recursive, unicode, protect_tags, timeout, jobs)
    return 1 if problems else 0


def _list_rules(words_path: str, checks: "list[RuleCheck]", order: "Order") -> None:
    if not checks:
        print(f"{words_path}: no rules; every text stays as it is")
        return
    sequence = "in the byte order of their patterns" if order == "sorted" else "in the order written"
    counted = (
        "1 rule, applied to each text" if len(checks) == 1 else f"{len(checks)} rules, applied to each text {sequence}"
    )
    print(f"{words_path}: {counted}:")
    width = len(str(len(checks)))
    for number, check in enumerate(checks, start=1):
        rule = check.rule
        options = [f"case {rule.case}"] if rule.case != "insensitive" else []
        options += [name for name in ("word", "literal") if getattr(rule, name)]
        marks = (f"  ({', '.join(options)})" if options else "") + ("  INVALID" if check.problem else "")
        print(f"{number:>{width}}. {shown(rule.pattern)} -> {shown(rule.replacement)}{marks}")


def _verdict(invalid: int, total: int) -> str:
    if total == 1:
        return f"the pattern is {'invalid' if invalid else 'valid'}"
    if not invalid:
        return "all patterns are valid"
    return f"{invalid} of {total} patterns {'is' if invalid == 1 else 'are'} invalid"
