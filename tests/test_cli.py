"""The `quorvant` command, run as a user runs it: in a subprocess."""

import contextlib
import hashlib
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest
from conftest import quorvant, run_python

ASS = """\
[Script Info]
ScriptType: v4.00+

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, \
Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, \
MarginV, Encoding
Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Good morning, Tanaka-san.
Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,Nothing to change here.
Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,Taro-kun, wait!
"""

SRT = """\
1
00:00:01,000 --> 00:00:02,000
Hello, Aoi-san.

2
00:00:03,000 --> 00:00:04,000
Plain text.

3
00:00:05,000 --> 00:00:06,000
Bye, Taro-kun.
"""

WORDS = {"(\\w+)-san": "$1", "kun": "KUN"}


def no_traceback(result):
    return "Traceback" not in result.stderr


@pytest.fixture
def season(tmp_path):
    """Two ASS and two SRT files, one of each in a subdirectory, and the word list."""
    (tmp_path / "sub").mkdir()
    for name, text in (("ep1.ass", ASS), ("ep2.srt", SRT), ("sub/ep3.ass", ASS), ("sub/ep4.srt", SRT)):
        (tmp_path / name).write_text(text, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")
    return tmp_path


@pytest.mark.parametrize(
    "command, ending, done_word",
    [("export", ".json", "exported"), ("rewrite", None, "rewritten")],
)
def test_batch_reports_each_file_and_fails_if_one_did(season, command, ending, done_word):
    (season / "bad.srt").write_text(SRT, encoding="utf-8")
    blocked = "[Quorvanted] bad" + (ending or ".srt")
    # A directory where the output belongs: the pass can't write it and says so.
    (season / blocked).mkdir()
    (season / "notes.txt").write_text("not subtitles", encoding="utf-8")
    files = ["ep1.ass", "ep2.srt", "bad.srt", "sub/ep3.ass", "notes.txt", "sub/ep4.srt"]

    result = quorvant(command, *files, "--words", "words.json", "--jobs", "2", cwd=season)

    assert result.returncode == 1
    expected_outputs = {
        name: name.replace("ep", "[Quorvanted] ep").removesuffix(name[-4:]) + (ending or name[-4:])
        for name in ("ep1.ass", "ep2.srt", "sub/ep3.ass", "sub/ep4.srt")
    }
    assert result.stdout.splitlines() == [f"{name} -> {output}" for name, output in expected_outputs.items()] + [
        f"4 {done_word}, 1 failed, 1 skipped"
    ]
    for output in expected_outputs.values():
        assert (season / output).is_file()
    errors = result.stderr.splitlines()
    assert errors[0].startswith("quorvant: bad.srt: ") and "[Quorvanted] bad" in errors[0]
    assert errors[1] == (
        "quorvant: skipped notes.txt: not an .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp, .sub or Matroska "
        "(.mkv, .mka, .mks) file, a TTML .xml or an MPL2 .txt"
    )
    assert len(errors) == 2


def test_more_jobs_write_the_same_files(tmp_path):
    runs = {}
    for jobs in ("1", "2"):
        root = tmp_path / jobs
        root.mkdir()
        names = []
        for number in range(6):
            # ep0.ass and ep0.srt export to the same document: the later one must win.
            name = f"ep{number // 2}.{'ass' if number % 2 == 0 else 'srt'}"
            (root / name).write_text(ASS if name.endswith(".ass") else SRT, encoding="utf-8")
            names.append(name)
        (root / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")
        result = quorvant("export", *names, "--words", "words.json", "--jobs", jobs, cwd=root)
        assert result.returncode == 0, result.stderr
        runs[jobs] = (result.stdout, {p.name: p.read_bytes() for p in root.glob("[[]Quorvanted[]]*")})

    assert runs["1"] == runs["2"]
    # The SRT cues, numbered 1..3 like the ASS events, replaced them.
    assert json.loads(runs["2"][1]["[Quorvanted] ep0.json"])["1"] == "Hello, Aoi."


PREVIEWS = {
    "ep1.ass": [
        "event 1",
        "  - Good morning, Tanaka-san.",
        "  + Good morning, Tanaka.",
        "event 3",
        "  - Taro-kun, wait!",
        "  + Taro-KUN, wait!",
        "ep1.ass: 2 of 3 texts would change; nothing was written",
    ],
    "ep2.srt": [
        "cue 1",
        "  - Hello, Aoi\x1b[1;31m-san\x1b[0m.",
        "  + Hello, Aoi.",
        "cue 3",
        "  - Bye, Taro-\x1b[1;31mkun\x1b[0m.",
        "  + Bye, Taro-\x1b[1;32mKUN\x1b[0m.",
        "ep2.srt: 2 of 3 texts would change; nothing was written",
    ],
}


@pytest.mark.parametrize("name, colour", [("ep1.ass", "never"), ("ep2.srt", "always")])
def test_preview_shows_each_changed_text_and_writes_nothing(season, name, colour):
    before = sorted(season.rglob("*"))

    result = quorvant("preview", name, "--words", "words.json", "--color", colour, cwd=season)

    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == PREVIEWS[name]
    assert sorted(season.rglob("*")) == before


@pytest.mark.parametrize(
    "words, invalid",
    [
        ({"cat": "dog", "Zebra": "z", "(\\w+)-san": "$1"}, []),
        ({"cat": "dog", "b(": "x", "[z-a]": "y", "kun": ""}, ["[z-a]", "b("]),
        ({"b(": "x"}, ["b("]),
    ],
)
def test_check_lists_rules_in_order_and_every_bad_pattern(tmp_path, words, invalid):
    (tmp_path / "words.json").write_text(json.dumps(words), encoding="utf-8")

    result = quorvant("check", "words.json", cwd=tmp_path)

    assert result.returncode == (1 if invalid else 0)
    listed = [line.split(". ", 1)[1].split(" -> ")[0] for line in result.stdout.splitlines() if ". " in line]
    assert listed == [json.dumps(pattern) for pattern in sorted(words, key=lambda p: p.encode())]
    errors = result.stderr.splitlines()
    assert len(errors) == len(invalid)
    for line, pattern in zip(errors, sorted(invalid, key=str.encode), strict=True):
        prefix = f"quorvant: word list 'words.json': invalid pattern {json.dumps(pattern)} (line 1, column "
        assert line.startswith(prefix) and len(line) > len(prefix)
    count, verdict = (result.stdout.splitlines()[i] for i in (0, -1))
    if len(words) == 1:
        assert (count, verdict) == ("words.json: 1 rule, applied to each text:", "the pattern is invalid")


@pytest.mark.parametrize(
    "args, words_text, status, message",
    [
        (["check", "absent.json"], None, 1, "quorvant: word list 'absent.json': no such file"),
        (["check", "words.json"], '{"a": ', 1, "quorvant: word list 'words.json': "),
        (
            ["check", "words.json"],
            '{"a": ["list"]}',
            1,
            "quorvant: word list 'words.json': the value of pattern \"a\" (line 1, column 2) is an array; ",
        ),
        (
            ["export", "ep1.ass", "--words", "words.json"],
            '{"b(": "x"}',
            1,
            "quorvant: word list 'words.json': invalid pattern \"b(\" (line 1, column 2): ",
        ),
        (
            ["rewrite", "ep1.ass", "-w", "words.json"],
            '{"a": "x", "b": {"c": 1}}',
            1,
            'quorvant: word list \'words.json\': the value of pattern "b" (line 1, column 12): unknown option "c"',
        ),
        (
            ["check", "words.json"],
            '{"a": "b"}\n{"c": "d"}',
            1,
            "quorvant: word list 'words.json': text follows the word list's JSON object at line 2",
        ),
        (
            ["rewrite", "ep1.ass", "-w", "words.json"],
            '["a"]',
            1,
            "quorvant: word list 'words.json': not a word list: this is a JSON array",
        ),
        (
            ["preview", "ep1.ass", "-w", "ep2.srt"],
            None,
            1,
            "quorvant: word list 'ep2.srt': not a word list: this is no JSON value",
        ),
        (["preview", "absent.srt", "--words", "words.json"], "{}", 1, "quorvant: absent.srt: no such file"),
        (
            ["preview", "words.json", "--words", "words.json"],
            "{}",
            2,
            "quorvant: skipped words.json: not an .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp, .sub or "
            "Matroska (.mkv, .mka, .mks) file, a TTML .xml or an MPL2 .txt",
        ),
        (["preview", "season2", "--words", "words.json"], "{}", 1, "quorvant: season2: no such file or folder"),
        (["rewrite", "ep1.ass", "-w", "-", "-w", "-"], None, 2, "quorvant: standard input can be read once"),
    ],
)
def test_bad_input_gives_one_clear_line(season, args, words_text, status, message):
    if words_text is not None:
        (season / "words.json").write_text(words_text, encoding="utf-8")

    result = quorvant(*args, cwd=season)

    assert result.returncode == status
    assert no_traceback(result)
    assert result.stderr.splitlines()[0].startswith(message)
    if args[0] in ("export", "rewrite"):
        # The list is refused before any file is touched.
        assert not list(season.glob("[[]Quorvanted[]]*"))


@pytest.mark.parametrize("where", ["before", "after"])
def test_debug_shows_the_traceback(tmp_path, where):
    (tmp_path / "words.json").write_text('{"a": ', encoding="utf-8")
    args = ["--debug", "check", "words.json"] if where == "before" else ["check", "--debug", "words.json"]

    result = quorvant(*args, cwd=tmp_path)

    assert result.returncode == 1
    assert "Traceback" in result.stderr


def written_files(root):
    """Every output and every hidden leftover (temporary file or folder) under `root`."""
    return {str(p.relative_to(root)) for p in root.rglob("*") if p.name.startswith(("[Quorvanted]", "."))}


@pytest.fixture
def folder(tmp_path):
    """season/ with two episodes, an earlier output, a capitalised ending, a note and a
    subfolder; word lists beside it, among them one with a rule that never finishes."""
    season = tmp_path / "season"
    (season / "s2").mkdir(parents=True)
    for name, text in (
        ("ep1.srt", SRT),
        ("ep2.ass", ASS),
        ("[Quorvanted] ep0.srt", SRT),
        ("EP3.SRT", SRT),
        ("notes.txt", "notes"),
        ("s2/ep1.srt", SRT),
    ):
        (season / name).write_text(text, encoding="utf-8")
    (tmp_path / "slow.srt").write_text(f"1\n00:00:01,000 --> 00:00:02,000\n{'a' * 40} b\n", encoding="utf-8")
    for name, rules in (("words.json", WORDS), ("none.json", {}), ("slow.json", {"(a|aa)*b": "X"})):
        (tmp_path / name).write_text(json.dumps(rules), encoding="utf-8")
    return tmp_path


EARLIER = "the output of an earlier run (--include-outputs processes it)"
EARLIER_ONE = "1 output of an earlier run skipped (--include-outputs processes it; -v names it)"


@pytest.mark.parametrize(
    "args, status, stdout, stderr, written",
    [
        pytest.param(
            ["rewrite", "season", "-w", "words.json"],
            0,
            [
                "season/EP3.SRT -> season/[Quorvanted] EP3.SRT",
                "season/ep1.srt -> season/[Quorvanted] ep1.srt",
                "season/ep2.ass -> season/[Quorvanted] ep2.ass",
                "3 rewritten, 0 failed, 1 skipped",
            ],
            [f"quorvant: {EARLIER_ONE}"],
            {"season/[Quorvanted] EP3.SRT", "season/[Quorvanted] ep1.srt", "season/[Quorvanted] ep2.ass"},
            id="folder",
        ),
        pytest.param(
            ["rewrite", "season/[Quorvanted] ep0.srt", "-w", "words.json", "-v"],
            0,
            ["0 rewritten, 0 failed, 1 skipped"],
            [f"quorvant: skipped season/[Quorvanted] ep0.srt: {EARLIER}"],
            set(),
            id="earlier-output-named",
        ),
        pytest.param(
            ["export", "season", "-r", "-o", "out", "-w", "words.json", "-q"],
            0,
            [],
            [],
            {
                "out/[Quorvanted] EP3.json",
                "out/[Quorvanted] ep1.json",
                "out/[Quorvanted] ep2.json",
                "out/s2/[Quorvanted] ep1.json",
            },
            id="recursive-into-output-dir",
        ),
        pytest.param(
            ["rewrite", "season/ep1.srt", "./season/ep1.srt", "season/../season/ep1.srt", "-w", "words.json"],
            0,
            ["season/ep1.srt -> season/[Quorvanted] ep1.srt", "1 rewritten, 0 failed, 0 skipped"],
            [],
            {"season/[Quorvanted] ep1.srt"},
            id="same-file-once",
        ),
        pytest.param(
            ["rewrite", "season/ep1.srt", "season/s2/ep1.srt", "-o", "out", "--timeout", "2147483", "-w", "words.json"],
            0,
            [
                "season/ep1.srt -> out/[Quorvanted] ep1.srt",
                "season/s2/ep1.srt -> out/[Quorvanted] ep1.srt",
                "2 rewritten (1 overwritten by a later file), 0 failed, 0 skipped",
            ],
            ["quorvant: warning: season/ep1.srt, season/s2/ep1.srt write the same output; the last one listed is kept"],
            {"out/[Quorvanted] ep1.srt"},
            id="overwritten-longest-timeout",
        ),
        pytest.param(
            ["rewrite", "season/[Quorvanted] ep0.srt", "--include-outputs", "-w", "words.json", "-q"],
            0,
            [],
            [],
            {"season/[Quorvanted] [Quorvanted] ep0.srt"},
            id="include-outputs",
        ),
        pytest.param(
            ["rewrite", "season/notes.txt", "-w", "words.json"],
            2,
            [],
            [
                "quorvant: skipped season/notes.txt: not an .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp, "
                ".sub or Matroska (.mkv, .mka, .mks) file, a TTML .xml or an MPL2 .txt",
                "quorvant: no .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp, .sub or Matroska (.mkv, .mka, .mks) "
                "file to work on "
                "among the arguments",
            ],
            set(),
            id="no-subtitle-file",
        ),
        pytest.param(
            ["rewrite", "season/ep1.srt", "season/[Quorvanted] ep0.srt", "--skip-existing", "-w", "words.json"],
            0,
            ["0 rewritten, 0 failed, 2 skipped"],
            [
                f"quorvant: {EARLIER_ONE}",
                "quorvant: 1 file skipped as its output exists (--skip-existing; -v names it)",
            ],
            {"season/[Quorvanted] ep1.srt"},
            id="skip-existing",
        ),
        pytest.param(
            ["rewrite", "slow.srt", "season/ep1.srt", "--timeout", "1", "-w", "slow.json"],
            1,
            ["season/ep1.srt -> season/[Quorvanted] ep1.srt", "1 rewritten, 1 failed, 0 skipped"],
            ["quorvant: slow.srt: timed out after 1 s"],
            {"season/[Quorvanted] ep1.srt"},
            id="timeout",
        ),
        pytest.param(
            ["rewrite", "slow.srt", "-o", "new/out", "--timeout", "1", "-w", "slow.json"],
            1,
            ["0 rewritten, 1 failed, 0 skipped"],
            ["quorvant: slow.srt: timed out after 1 s"],
            set(),
            id="no-empty-output-folder",
        ),
        pytest.param(
            ["preview", "season", "-w", "words.json", "-q", "--exit-code"], 1, [], [], set(), id="exit-code-changes"
        ),
        pytest.param(
            ["preview", "season/ep1.srt", "season/ep2.ass", "-w", "none.json", "--exit-code"],
            0,
            [
                "season/ep1.srt: 0 of 3 texts would change",
                "season/ep2.ass: 0 of 3 texts would change",
                "0 of 2 files would change (0 texts), 0 failed, 0 skipped; nothing was written",
            ],
            [],
            set(),
            id="exit-code-unchanged",
        ),
        pytest.param(
            ["preview", "season/ep1.srt", "absent.srt", "-w", "words.json", "-q", "--exit-code"],
            2,
            [],
            ["quorvant: absent.srt: no such file"],
            set(),
            id="exit-code-failure",
        ),
        pytest.param(
            ["rewrite", "season/ep1.srt", "absent.srt", "-w", "words.json", "--json"],
            1,
            {
                "command": "rewrite",
                "exit_status": 1,
                "files": [
                    {
                        "input": "season/ep1.srt",
                        "output": "season/[Quorvanted] ep1.srt",
                        "status": "written",
                        "reason": None,
                        "texts_changed": 2,
                        "rules": {"(\\w+)-san": 1, "kun": 1},
                        "encoding": "utf-8",
                        "confidence": 1.0,
                        "alternatives": [],
                        "format": "srt",
                        "sha256": "the output's",
                    },
                    {
                        "input": "absent.srt",
                        "output": None,
                        "status": "failed",
                        "reason": "no such file",
                        "texts_changed": None,
                        "rules": None,
                        "encoding": None,
                        "confidence": None,
                        "alternatives": [],
                        "format": None,
                        "sha256": None,
                    },
                ],
            },
            [],
            {"season/[Quorvanted] ep1.srt"},
            id="json",
        ),
    ],
)
def test_arguments(folder, args, status, stdout, stderr, written):
    if "--skip-existing" in args:
        (folder / "season/[Quorvanted] ep1.srt").write_text("kept", encoding="utf-8")
    before = written_files(folder)

    result = quorvant(*args, cwd=folder)

    assert result.returncode == status, result.stderr
    if isinstance(stdout, dict):
        document = json.loads(result.stdout)
        for entry in document["files"]:
            if entry["sha256"] is not None:
                written_bytes = (folder / entry["output"]).read_bytes()
                assert entry["sha256"] == hashlib.sha256(written_bytes).hexdigest()
                entry["sha256"] = "the output's"
        assert document == stdout
    else:
        assert result.stdout.splitlines() == stdout
    assert result.stderr.splitlines() == stderr
    assert written_files(folder) - before == written - before
    assert [path for path in folder.rglob("*") if path.is_dir() and not any(path.iterdir())] == []
    if "--skip-existing" in args:
        assert (folder / "season/[Quorvanted] ep1.srt").read_text(encoding="utf-8") == "kept"


@pytest.mark.parametrize("args", [["check", "w\0.json"], ["rewrite", "real\0.srt", "-w", "words.json"]])
def test_a_path_with_a_nul_byte_is_refused_up_front(tmp_path, monkeypatch, capsys, args):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "real").write_text(SRT, encoding="utf-8")
    from c_quorvant.cli import main

    with pytest.raises(SystemExit) as exit_info:
        main(args)

    assert exit_info.value.code == 2
    assert "holds a NUL byte" in capsys.readouterr().err
    assert sorted(p.name for p in tmp_path.iterdir()) == ["real"]


def group_members(group):
    found = []
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] != "Z" and int(fields[2]) == group:
            found.append(stat.parent.name)
    return found


def started(folder, *args):
    """The command line in a session of its own, for a signal to reach it and its workers."""
    return subprocess.Popen(
        [sys.executable, "-m", "c_quorvant", *args],
        cwd=folder,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        start_new_session=True,
    )


def test_ctrl_c_stops_the_batch_at_once(folder):
    # The first file is quick; the next two never finish, so the quick ones after
    # them are only ever written if the batch goes on after the signal.
    names = ["season/ep1.srt", "slow.srt", "slow2.srt", "q1.srt", "q2.srt", "q3.srt"]
    for name in ("slow2.srt",):
        (folder / name).write_text((folder / "slow.srt").read_text())
    for name in ("q1.srt", "q2.srt", "q3.srt"):
        (folder / name).write_text(SRT, encoding="utf-8")
    (folder / "both.json").write_text(json.dumps({**WORDS, "(a|aa)*b": "X"}), encoding="utf-8")
    process = started(folder, "rewrite", *names, "-w", "both.json", "-j", "2")
    try:
        assert process.stdout.readline().startswith("season/ep1.srt -> ")
        time.sleep(0.5)  # both workers well inside the slow files
        before = written_files(folder)
        signalled = time.monotonic()
        os.killpg(process.pid, signal.SIGINT)
        stdout, stderr = process.communicate(timeout=10)
        took = time.monotonic() - signalled
        while group_members(process.pid) and time.monotonic() - signalled < 2:
            time.sleep(0.05)
        survivors = group_members(process.pid)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)

    assert process.returncode == 130
    assert took < 2
    assert survivors == []
    assert (stdout, stderr) == ("", "quorvant: interrupted\n")
    assert written_files(folder) == {name for name in before if not name.startswith(("season/.", "."))}


PYTHON_GROUP = "in the replacement is Python's way to write a group, and is written as it is"
PAREN = "Invalid '(?...)' zero-width assertion in regular expression"
DIALECT = (
    'patterns are ECMAScript, matched without regard to case unless the rule says "case": "sensitive", '
    "and have no lookbehind or named groups"
)


def byte_class(character):
    return (
        f'"{character}" inside a bracket class matches any one of its 2 UTF-8 bytes, not the character; '
        f"use an alternation (?:{character}|...) instead"
    )


def byte_repeat(repeat, character):
    return (
        f'"{repeat}" after "{character}" repeats only the last of its 2 UTF-8 bytes; '
        f"group the character: (?:{character}){repeat}"
    )


def byte_dot(character):
    return (
        f'"." next to "{character}" matches a single byte, not a character, '
        "so it can match half of a non-ASCII character"
    )


@pytest.mark.parametrize(
    "words_text, status, messages",
    [
        (
            '{"a": "b",\n "a": "c", "b": 1,\n "a": null}',
            0,
            [
                'warning: pattern "a" is given 3 times (line 1, column 2; line 2, column 2; line 3, column 2); '
                "only the last one is used"
            ],
        ),
        (
            '{"[éè]": "e", "[^ü\\\\]]x": "", "[a-z]": ""}',
            0,
            [
                f'warning: pattern "[^ü\\\\]]x" (line 1, column 15): {byte_class("ü")}',
                f'warning: pattern "[éè]" (line 1, column 2): {byte_class("é")}',
                f'warning: pattern "[éè]" (line 1, column 2): {byte_class("è")}',
            ],
        ),
        (
            '{"é+": "", "caf\\\\.é": "", "(?:é)+": "", "é{2}": "", "\\\\é*?": "", "ab+": ""}',
            0,
            [
                f'warning: pattern "\\\\é*?" (line 1, column 53): {byte_repeat("*?", "é")}',
                f'warning: pattern "é+" (line 1, column 2): {byte_repeat("+", "é")}',
                f'warning: pattern "é{{2}}" (line 1, column 41): {byte_repeat("{2}", "é")}',
            ],
        ),
        (
            '{".ü": "", "é.": "", "[.]é": ""}',
            0,
            [
                f'warning: pattern ".ü" (line 1, column 2): {byte_dot("ü")}',
                f'warning: pattern "é." (line 1, column 12): {byte_dot("é")}',
            ],
        ),
        (
            '{"b": "c",\n "d": {"replace": "e", "case": "upper"}, "a": [1]}',
            1,
            [
                'the value of pattern "d" (line 2, column 2): option "case" is "upper"; '
                'it is "insensitive", "sensitive" or "preserve"'
            ],
        ),
        (
            '{"b(": "x", "[é]": "e"}',
            1,
            [
                f'warning: pattern "[é]" (line 1, column 13): {byte_class("é")}',
                "invalid pattern \"b(\" (line 1, column 2): Mismatched '(' and ')' in regular expression",
            ],
        ),
        # Habits of other dialects and mistakes that write something else than meant.
        (
            '{"(\\\\w+)-san": "\\\\1",\n"(\\\\w+)-kun": "\\\\g<1>",\n"x(y)": "\\\\g<name>"}',
            0,
            [
                f'warning: pattern "(\\\\w+)-kun" (line 2, column 1): "\\g<1>" {PYTHON_GROUP}: write $1',
                f'warning: pattern "(\\\\w+)-san" (line 1, column 2): "\\1" {PYTHON_GROUP}: write $1',
                f'warning: pattern "x(y)" (line 3, column 1): "\\g<name>" {PYTHON_GROUP}: '
                "write $1, $2... by the group's place: groups have no names",
            ],
        ),
        (
            '{"(\\\\w+)-san": "$2", "san": "[$1]", "(a)(b)": "$2$1$$3"}',
            0,
            [
                'warning: pattern "(\\\\w+)-san" (line 1, column 2): "$2" in the replacement writes nothing: '
                "the pattern has one group, $1",
                'warning: pattern "san" (line 1, column 22): "$1" in the replacement writes nothing: '
                "the pattern has no group: put the part in parentheses, or write $& for the whole match",
            ],
        ),
        (
            '{"": "x", "\\\\s*": " ", "^\\\\s*": ""}',
            0,
            [
                'warning: pattern "" (line 1, column 2): the empty pattern matches between every two characters '
                '(with "x", "Hi" becomes "xHxix"): give the rule a pattern or remove it',
                'warning: pattern "\\\\s*" (line 1, column 11): the pattern can match an empty text, so the '
                "replacement is written between every two characters where nothing else matches: make it match "
                "at least one character (+ for *, no ? or * on the whole)",
            ],
        ),
        (
            '{"(\\\\w+)-(san|chan)": "$1", "onii-chan": "big brother"}',
            0,
            [
                'warning: pattern "onii-chan" (line 1, column 29) is shadowed by the earlier rule '
                '"(\\\\w+)-(san|chan)", which rewrites every place this one could match before it runs; '
                "write it before that rule, in the order written"
            ],
        ),
        (
            '{"(?i)senpai": "x", "(?<=a)b": "", "(?P<name>x)": ""}',
            1,
            [
                f'invalid pattern "(?<=a)b" (line 1, column 21): {PAREN}; {DIALECT}: '
                "match the text before as a group and write it back with $1",
                f'invalid pattern "(?P<name>x)" (line 1, column 36): {PAREN}; {DIALECT}: '
                "use a numbered group ( ) and $1 in the replacement",
                f'invalid pattern "(?i)senpai" (line 1, column 2): {PAREN}; {DIALECT}: remove the inline flags "(?i)"',
            ],
        ),
    ],
    ids=[
        "duplicates",
        "class",
        "repeat",
        "dot",
        "not-text",
        "invalid",
        "python",
        "groups",
        "empty",
        "shadow",
        "dialect",
    ],
)
def test_check_warnings_and_errors(tmp_path, words_text, status, messages):
    (tmp_path / "words.json").write_text(words_text, encoding="utf-8")

    result = quorvant("check", "words.json", cwd=tmp_path)

    assert result.returncode == status
    expected = [
        message.replace("warning: ", "warning: word list 'words.json': ", 1)
        if message.startswith("warning")
        else f"word list 'words.json': {message}"
        for message in messages
    ]
    assert result.stderr.splitlines() == [f"quorvant: {line}" for line in expected]


TAGGED_ASS = ASS.replace("Good morning, Tanaka-san.", "{\\pos(640,60)}Tanaka-san{\\i1}pos")
KANJI_SRT = "1\n00:00:01,000 --> 00:00:02,000\n<i>田中さん</i>\n"


@pytest.mark.parametrize(
    "args, words, status, output, expected",
    [
        (
            ["rewrite", "ep.ass", "--protect-tags"],
            {"pos": "X", "(\\w+)-san": "$1"},
            0,
            "[Quorvanted] ep.ass",
            "Default,,0,0,0,,{\\pos(640,60)}Tanaka{\\i1}X\n",
        ),
        (
            ["rewrite", "ep.ass"],
            {"pos": "X"},
            0,
            "[Quorvanted] ep.ass",
            "Default,,0,0,0,,{\\X(640,60)}Tanaka-san{\\i1}X\n",
        ),
        (
            ["export", "ep.srt", "--unicode", "--protect-tags"],
            {"(\\w+)さん": "$1", "i": "I"},
            0,
            "[Quorvanted] ep.json",
            '"1" : "<i>\\u7530\\u4e2d</i>"',
        ),  # jsoncpp escapes non-ASCII
        (["preview", "ep.srt", "--unicode"], {"(\\w+)さん": "$1"}, 0, None, "+ <i>田中</i>"),
        (["preview", "ep.srt", "-v"], {"x": "y"}, 0, None, "ep.srt: 0 of 1 texts would change ("),
        (["rewrite", "ep.srt"], {"[a-é]": ""}, 1, None, "quorvant check words.json"),
        (["rewrite", "ep.srt", "--unicode"], {"[": ""}, 1, None, "quorvant check --unicode words.json"),
        (["check", "--unicode"], {"[a-é]x": "", "é.": ""}, 0, None, "all patterns are valid"),
    ],
    ids=[
        "protect-tags",
        "default",
        "unicode-and-tags",
        "preview-unicode",
        "preview-time",
        "byte-wise-invalid",
        "unicode-invalid",
        "check-unicode",
    ],
)
def test_mode_flags(tmp_path, args, words, status, output, expected):
    (tmp_path / "ep.ass").write_text(TAGGED_ASS, encoding="utf-8")
    (tmp_path / "ep.srt").write_text(KANJI_SRT, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps(words, ensure_ascii=False), encoding="utf-8")
    command = [*args, "words.json"] if args[0] == "check" else [*args, "-w", "words.json"]

    result = (
        quorvant(*command, "--color", "never", cwd=tmp_path)
        if args[0] == "preview"
        else quorvant(*command, cwd=tmp_path)
    )

    assert result.returncode == status, result.stderr
    shown = (tmp_path / output).read_text(encoding="utf-8") if output else result.stdout + result.stderr
    assert expected in shown
    # Character-wise, no pattern works on bytes: nothing to warn about.
    assert "warning" not in result.stderr


@pytest.mark.parametrize(
    "args, status, written",
    [
        (["rewrite"], 0, True),
        (["rewrite", "--strict"], 1, False),
        (["export", "--strict", "-j", "2"], 1, False),
        (["preview", "-j", "2"], 0, False),
        (["preview", "--strict", "--exit-code"], 2, False),
    ],
)
def test_word_list_warnings_come_once_before_the_work(tmp_path, args, status, written):
    for name in ("a.srt", "b.srt"):
        (tmp_path / name).write_text("1\n00:00:01,000 --> 00:00:02,000\ncafé\n", encoding="utf-8")
    # Byte-wise, the class takes é apart and leaves half of it: broken UTF-8.
    (tmp_path / "words.json").write_text('{"[éè]": "e"}', encoding="utf-8")

    result = quorvant(*args, "a.srt", "b.srt", "-w", "words.json", cwd=tmp_path)

    assert result.returncode == status, result.stderr
    warnings = [f"word list 'words.json': pattern \"[éè]\" (line 1, column 2): {byte_class(c)}" for c in "éè"]
    if "--strict" in args:
        expected = [f"{line} (an error with --strict)" for line in warnings] + [
            "check the list with: quorvant check words.json"
        ]
        assert result.stderr.splitlines() == [f"quorvant: {line}" for line in expected]
    else:
        assert result.stderr.splitlines() == [f"quorvant: warning: {line}" for line in warnings]
    assert (tmp_path / "[Quorvanted] a.srt").exists() == written


@pytest.mark.parametrize("seconds, accepted", [("0", True), ("2147483", True), ("2147484", False), ("nan", False)])
def test_the_timeout_is_one_poll_can_wait(capsys, seconds, accepted):
    from c_quorvant.cli.arguments import build_parser

    if accepted:
        assert build_parser().parse_args(["rewrite", "a.srt", "-w", "w.json", "--timeout", seconds]).timeout == float(
            seconds
        )
        return
    with pytest.raises(SystemExit) as exit_info:
        build_parser().parse_args(["rewrite", "a.srt", "-w", "w.json", "--timeout", seconds])
    assert exit_info.value.code == 2
    assert "expected a number of seconds from 0 to 2147483" in capsys.readouterr().err


@pytest.mark.parametrize("link", [os.symlink, os.link])
def test_an_output_linked_to_its_input_is_refused(tmp_path, link):
    (tmp_path / "ep.srt").write_text(SRT, encoding="utf-8")
    link("ep.srt" if link is os.symlink else tmp_path / "ep.srt", tmp_path / "[Quorvanted] ep.srt")
    (tmp_path / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")

    result = quorvant("rewrite", "ep.srt", "-w", "words.json", "--json", cwd=tmp_path)

    assert result.returncode == 1
    [entry] = json.loads(result.stdout)["files"]
    assert (entry["status"], entry["reason"]) == (
        "failed",
        "its output [Quorvanted] ep.srt is this file; refusing to write over it",
    )
    assert (tmp_path / "ep.srt").read_text(encoding="utf-8") == SRT
    assert (tmp_path / "[Quorvanted] ep.srt").is_symlink() == (link is os.symlink)


def test_json_marks_an_output_a_later_file_replaced(tmp_path):
    for name in ("ep.ass", "ep.srt"):
        (tmp_path / name).write_text(ASS if name.endswith(".ass") else SRT, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")

    result = quorvant("export", "ep.ass", "ep.srt", "-w", "words.json", "--json", cwd=tmp_path)

    files = json.loads(result.stdout)["files"]
    assert [(entry["status"], entry["reason"]) for entry in files] == [
        ("overwritten", "ep.srt wrote the same output after it"),
        ("written", None),
    ]


def test_an_interrupt_between_making_and_noting_a_staging_folder_leaves_nothing(tmp_path, monkeypatch):
    from c_quorvant.cli import batch
    from c_quorvant.cli.inputs import Input
    from c_quorvant.cli.worker import Job

    made = tempfile.mkdtemp

    def interrupted(**kwargs):
        made(**kwargs)
        raise KeyboardInterrupt  # as Ctrl-C lands right after the folder is made

    staging = batch._Staging(
        {0: Input(0, "a.srt", str(tmp_path / "[Quorvanted] a.srt"))}, report=None, hold_signals=contextlib.nullcontext
    )
    monkeypatch.setattr(batch.tempfile, "mkdtemp", interrupted)
    with pytest.raises(KeyboardInterrupt):
        staging.prepare(Job(0, "rewrite", str(tmp_path / "a.srt"), {}))
    assert [path.name for path in tmp_path.iterdir()] != []
    staging.clear()
    assert list(tmp_path.iterdir()) == []


def test_an_interrupt_right_after_an_output_lands_still_reports_it(tmp_path, monkeypatch):
    from c_quorvant.cli import Interrupted, _StopOnSignals, batch
    from c_quorvant.cli.inputs import Input
    from c_quorvant.cli.worker import Job, Result

    reported = []
    report = type("Report", (), {"add": lambda self, outcome: reported.append(outcome.status)})()
    moved = os.replace

    def interrupted(source, target):
        moved(source, target)
        os.kill(os.getpid(), signal.SIGINT)  # as Ctrl-C lands right after the move

    item = Input(0, "a.srt", str(tmp_path / "[Quorvanted] a.srt"))
    with pytest.raises(Interrupted), _StopOnSignals() as signals:
        staging = batch._Staging({0: item}, report, signals.held)
        job = staging.prepare(Job(0, "rewrite", str(tmp_path / "a.srt"), {}))
        Path(job.staging, "[Quorvanted] a.srt").write_text("1")
        monkeypatch.setattr(batch.os, "replace", interrupted)
        staging.finish(job, Result(0, output_name="[Quorvanted] a.srt"))
    assert (reported, [path.name for path in tmp_path.iterdir()]) == (["written"], ["[Quorvanted] a.srt"])


@pytest.mark.parametrize(
    "words, stdin, rewritten, warning",
    [
        (
            ["first.json", "second.json"],
            None,
            "Tanaka-SAN.|Taro-KUN,",
            "pattern \"-san\" is also given in word list 'first.json'",
        ),
        (
            ["second.json", "first.json"],
            None,
            "Tanaka-dono.|Taro-KUN,",
            "pattern \"-san\" is also given in word list 'second.json'",
        ),
        (["first.json", "-"], '{"-san": "-SAN"}', "Tanaka-SAN.|Taro-KUN,", "also given in word list 'first.json'"),
        (["/dev/stdin"], '{"-san": "-SAN"}', "Tanaka-SAN.|Taro-kun,", None),
    ],
)
def test_word_lists_merge_in_order_and_are_read_once(season, words, stdin, rewritten, warning):
    (season / "first.json").write_text('{"-san": "-dono", "kun": "KUN"}', encoding="utf-8")
    (season / "second.json").write_text('{"-san": "-SAN"}', encoding="utf-8")
    args = ["rewrite", "ep1.ass", "-o", "out", "--name", "{name}", "-j", "2"]
    result = subprocess.run(
        [sys.executable, "-m", "c_quorvant", *args, *(f"-w{path}" for path in words)],
        cwd=season,
        input=stdin or "",
        capture_output=True,
        text=True,
        timeout=120,
    )

    assert result.returncode == 0, result.stderr
    output = (season / "out" / "ep1.ass").read_text(encoding="utf-8")
    assert all(text in output for text in rewritten.split("|"))
    assert (warning in result.stderr) if warning else "warning" not in result.stderr


DASHES = "1\n00:00:01,000 --> 00:00:02,000\n- Senpai, wait!\n- Tanaka-san?\n\n2\n00:00:03,000 --> 00:00:04,000\nNo."


@pytest.mark.parametrize(
    "args, status, stdout",
    [
        (["preview"], 0, "cue 1\n  - - Senpai, wait!\n    - Tanaka-san?\n  + - senior, wait!\n    - Tanaka?\n"),
        (
            ["preview", "--diff", "--exit-code"],
            1,
            "--- d.srt\n+++ d.srt\n@@ -1,8 +1,8 @@\n 1\n 00:00:01,000 --> 00:00:02,000\n-- Senpai, wait!\n"
            "-- Tanaka-san?\n+- senior, wait!\n+- Tanaka?\n \n 2\n 00:00:03,000 --> 00:00:04,000\n-No.\n"
            "\\ No newline at end of file\n+NO.\n\\ No newline at end of file\n",
        ),
        (["rewrite", "--diff", "-q"], 0, "--- d.srt\n+++ d.srt\n@@ -1,8 +1,8 @@\n"),
        (["rewrite", "--diff", "--in-place"], 2, ""),
        (["preview", "--diff", "--json"], 2, ""),
    ],
)
def test_review_shows_continuation_lines_apart_from_diff_marks(tmp_path, args, status, stdout):
    (tmp_path / "d.srt").write_text(DASHES, encoding="utf-8")
    (tmp_path / "w.json").write_text('{"senpai": "senior", "-san": "", "no": "NO"}', encoding="utf-8")

    result = quorvant(*args, "d.srt", "-w", "w.json", cwd=tmp_path)

    assert result.returncode == status, result.stderr
    assert result.stdout.startswith(stdout) if stdout else result.stdout == ""
    assert "\\ No newline" not in stdout or result.stdout == stdout
    assert sorted(path.name for path in tmp_path.iterdir()) == ["d.srt", "w.json"]


@pytest.mark.parametrize(
    "args, status, said",
    [
        (
            ["check", "slow.json", "--against", "slow.srt", "--timeout", "1"],
            1,
            "quorvant: slow.srt: timed out after 1 s",
        ),
        (["preview", "slow.srt", "-w", "slow.json", "--prot"], 2, "unrecognized arguments: --prot"),
        (["check", "slow.json", "--agai", "slow.srt"], 2, "unrecognized arguments: --agai"),
    ],
    ids=["check-timeout", "abbreviation", "check-abbreviation"],
)
def test_check_against_keeps_a_time_limit_and_abbreviations_are_refused(folder, args, status, said):
    result = quorvant(*args, cwd=folder)

    assert result.returncode == status
    assert said in result.stderr


@pytest.mark.parametrize("args", [["check", "slow.json", "--against", "slow.srt", "slow.srt"]])
def test_ctrl_c_ends_check_against_within_a_second(folder, args):
    process = started(folder, *args)
    try:
        time.sleep(3)  # the list checked, the rule backtracking in a worker
        signalled = time.monotonic()
        os.killpg(process.pid, signal.SIGINT)
        _, stderr = process.communicate(timeout=10)
        took = time.monotonic() - signalled
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)

    assert (process.returncode, stderr) == (130, "quorvant: interrupted\n")
    assert took < 1


@pytest.mark.parametrize(
    "args",
    [
        pytest.param(
            ["preview", "long.srt", "-w", "words.json", "--exit-code"],
            marks=pytest.mark.xfail(strict=True, reason="since a few files run in the parent, preview | head exits 1"),
        ),
        ["check", "long.json"],
    ],
)
def test_a_reader_that_stops_early_ends_the_run_quietly(folder, args):
    # More than a pipe holds, so the run is still writing when the reader goes.
    (folder / "long.srt").write_text(
        "\n\n".join(f"{n}\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san." for n in range(1, 3000)), encoding="utf-8"
    )
    (folder / "long.json").write_text(json.dumps({f"word{n}": "x" for n in range(5000)}), encoding="utf-8")
    process = subprocess.Popen(
        [sys.executable, "-m", "c_quorvant", *args], cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE
    )
    process.stdout.readline()  # `| head -1`
    process.stdout.close()
    stderr = process.communicate(timeout=60)[1]

    assert (process.returncode, stderr) == (0, b"")


@pytest.mark.parametrize("files, in_parent", [(1, True), (4, True), (5, False)])
def test_a_few_small_files_need_no_worker_process(tmp_path, files, in_parent):
    # Worker processes come with multiprocessing; a bar would bring tqdm.
    for number in range(files):
        (tmp_path / f"ep{number}.srt").write_text(SRT, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps(WORDS), encoding="utf-8")
    names = [f"ep{number}.srt" for number in range(files)]
    result = run_python(f"""
        import os, sys
        os.chdir({str(tmp_path)!r})
        from c_quorvant.cli import main
        status = main(["rewrite", *{names!r}, "-o", "out", "-w", "words.json", "-q"])
        print(status, "multiprocessing" in sys.modules, "tqdm" in sys.modules)
    """)

    assert result.stdout.split() == ["0", str(not in_parent), "False"], result.stderr
    outputs = sorted((tmp_path / "out").iterdir())
    assert len(outputs) == files
    rewritten = SRT.replace("Aoi-san", "Aoi").replace("kun", "KUN")
    assert {path.read_text(encoding="utf-8") for path in outputs} == {rewritten}


@pytest.mark.parametrize(
    "path",
    [
        "season/ep1.srt",
        "linked/ep1.srt",
        "link.srt",
        "deep/linked/../ep1.srt",
        "season/absent.srt",
        "deep/linked/ep1.srt",
    ],
)
def test_real_paths_resolve_as_the_system_does(tmp_path, monkeypatch, path):
    from c_quorvant.cli.inputs import RealPaths

    (tmp_path / "season").mkdir()
    (tmp_path / "season" / "ep1.srt").write_text(SRT, encoding="utf-8")
    (tmp_path / "deep").mkdir()
    (tmp_path / "linked").symlink_to(tmp_path / "season")
    (tmp_path / "deep" / "linked").symlink_to(tmp_path / "season")
    (tmp_path / "link.srt").symlink_to(tmp_path / "season" / "ep1.srt")
    monkeypatch.chdir(tmp_path)
    real_path = RealPaths()

    assert [real_path(path) for _ in range(2)] == [os.path.realpath(path)] * 2
