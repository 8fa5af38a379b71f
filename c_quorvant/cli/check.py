"""check: the word list as the passes will read and apply it."""

import sys

from c_quorvant.cli.words import Rule, read_word_list, shown


def run_check(
    words_paths: list[str],
    verbosity: int,
    unicode: bool = False,
    against: list[str] | None = None,
    recursive: bool = False,
    protect_tags: bool = False,
) -> int:
    word_list = read_word_list(words_paths, unicode)
    rules = word_list.rules
    problems = word_list.problems()
    if verbosity >= 0:
        _list_rules(word_list.path, rules)
        for line in word_list.warnings():
            print(f"quorvant: warning: {line}", file=sys.stderr)
    for line in problems:
        print(f"quorvant: {line}", file=sys.stderr)
    if verbosity >= 0 and rules:
        print(_verdict(len(problems), len(rules)))
    if against and not problems:
        from c_quorvant.cli.against import rules_firing_nowhere

        return rules_firing_nowhere(word_list.texts, against, recursive, unicode, protect_tags)
    return 1 if problems else 0


def _list_rules(words_path: str, rules: list[Rule]) -> None:
    if not rules:
        print(f"{words_path}: no rules; every text stays as it is")
        return
    counted = (
        "1 rule, applied to each text" if len(rules) == 1 else f"{len(rules)} rules, applied to each text in this order"
    )
    print(f"{words_path}: {counted}:")
    width = len(str(len(rules)))
    for number, rule in enumerate(rules, start=1):
        mark = "  INVALID" if rule.problem else ""
        print(f"{number:>{width}}. {shown(rule.pattern)} -> {shown(rule.replacement)}{mark}")


def _verdict(invalid: int, total: int) -> str:
    if total == 1:
        return f"the pattern is {'invalid' if invalid else 'valid'}"
    if not invalid:
        return "all patterns are valid"
    return f"{invalid} of {total} patterns {'is' if invalid == 1 else 'are'} invalid"
