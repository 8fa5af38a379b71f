# The command line's private helpers; paths are file-system bytes (os.fsencode).

def check_rules(words_path: bytes) -> list[tuple[str, str, str]]:
    """(pattern, replacement, problem) for every rule, in the order they are applied;
    problem is "" for a pattern the regex engine accepts."""

def preview_changes(subtitle_path: bytes, words_path: bytes) -> tuple[int, list[tuple[int, str, str]]]:
    """The number of texts the export pass would rewrite, and (key, before, after)
    for each one the rules change; writes nothing."""
