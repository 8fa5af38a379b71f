# The command line's private helpers.

def check_rules(rules: dict[str, str], unicode: bool = False) -> list[tuple[str, str, str, list[str]]]:
    """(pattern, replacement, problem, warnings) for every rule, in the order they are
    applied; problem is "" for a pattern the regex engine accepts, and each warning
    names a place that works on single bytes of a non-ASCII character (none with
    unicode=True, where patterns match characters)."""
