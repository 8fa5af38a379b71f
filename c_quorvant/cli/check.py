"""check: the word list as the passes will read and apply it."""

import sys

from c_quorvant.cli.words import invalid_rule_lines, load_rules, shown


def run_check(words_path: str) -> int:
    rules = load_rules(words_path)
    if not rules:
        print(f"{words_path}: no rules; every text stays as it is")
        return 0
    print(f"{words_path}: {len(rules)} rules, applied to each text in this order:")
    width = len(str(len(rules)))
    for number, rule in enumerate(rules, start=1):
        mark = "  INVALID" if rule.problem else ""
        print(f"{number:>{width}}. {shown(rule.pattern)} -> {shown(rule.replacement)}{mark}")
    problems = invalid_rule_lines(words_path, rules)
    for line in problems:
        print(f"quorvant: {line}", file=sys.stderr)
    if problems:
        print(f"{len(problems)} of {len(rules)} patterns are invalid")
        return 1
    print("all patterns are valid")
    return 0
