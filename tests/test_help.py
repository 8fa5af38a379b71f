"""The command line's help and its documents tell of the same options."""

import argparse
import re
from pathlib import Path

import pytest
from conftest import quorvant

from c_quorvant.cli.arguments import build_parser

ROOT = Path(__file__).parent.parent
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
# Options of other programs the documents show: the benchmarks', the test runners', pip's.
OTHER_PROGRAMS = re.compile(r"bench/|gtest|mypy|pytest|pip ")
# The benchmarks' own options, mkvmerge's, and the refused abbreviation the documents give as an example.
NOT_OPTIONS = {
    *("--repeats", "--rounds", "--passes", "--corpus", "--first-call", "--half"),
    *("--gui-mode", "--track-order", "--language", "--forced-display-flag"),
    "--prot",
}


def commands() -> dict[str, argparse.ArgumentParser]:
    parser = build_parser()
    found = {"quorvant": parser}
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            found.update(action.choices)
    return found


def options_in_help() -> set[str]:
    return {
        option
        for command in commands().values()
        for action in command._actions
        for option in action.option_strings
        if option.startswith("--") and option != "--help"
    }


def options_in_documents() -> set[str]:
    found = set()
    for path in DOCUMENTS:
        for line in path.read_text(encoding="utf-8").splitlines():
            if not OTHER_PROGRAMS.search(line):
                found |= set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", line))
    return found - NOT_OPTIONS - {"--help"}


def test_every_option_in_the_help_is_documented_and_every_documented_one_exists():
    assert sorted(options_in_help() - options_in_documents()) == []
    assert sorted(options_in_documents() - options_in_help()) == []


@pytest.mark.parametrize("command", ["export", "rewrite", "preview", "check", "undo", "review"])
def test_each_commands_help_groups_its_options_by_topic(command):
    result = quorvant(command, "--help", cwd=ROOT)

    assert result.returncode == 0
    titles = [line[:-1] for line in result.stdout.splitlines() if re.fullmatch(r"[a-z][a-z ]*:", line)]
    topics = {"input", "rules", "output", "encoding", "run", "report"}
    assert set(titles) - {"positional arguments", "options", "examples", "exit status"} <= topics
    assert "report" in titles
    # Only --help is left outside the topics.
    options = result.stdout.split("\noptions:\n")[1].split("\n\n")[0]
    assert re.findall(r"^  (-\S+)", options, re.M) == ["-h,"]


def test_help_word_lists_explains_the_format_in_a_screen():
    result = quorvant("help", "word-lists", cwd=ROOT)

    assert result.returncode == 0
    assert len(result.stdout.splitlines()) <= 40
    for needed in ("JSON", "ECMAScript", "$1", "letter case", "byte order", "--order written", "quorvant check"):
        assert needed in result.stdout
