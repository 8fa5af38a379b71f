"""The `quorvant` command, run as a user runs it: in a subprocess."""

import json
import subprocess
import sys

import pytest

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


def quorvant(*args, cwd):
    return subprocess.run(
        [sys.executable, "-m", "c_quorvant", *args], cwd=cwd, capture_output=True, text=True, timeout=120
    )


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
    assert result.stdout.splitlines() == [
        f"{name} -> {output}" for name, output in expected_outputs.items()
    ] + [f"4 {done_word}, 1 failed, 1 skipped"]
    for output in expected_outputs.values():
        assert (season / output).is_file()
    errors = result.stderr.splitlines()
    assert errors[0].startswith("quorvant: bad.srt: ") and "[Quorvanted] bad" in errors[0]
    assert errors[1] == "quorvant: skipped notes.txt: not an .ass or .srt file"
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
    for line, pattern in zip(errors, sorted(invalid, key=str.encode)):
        prefix = f"quorvant: word list 'words.json': invalid pattern {json.dumps(pattern)}: "
        assert line.startswith(prefix) and len(line) > len(prefix)


@pytest.mark.parametrize(
    "args, words_text, message",
    [
        (["check", "absent.json"], None, "quorvant: word list 'absent.json': no such file"),
        (["check", "words.json"], '{"a": ', "quorvant: cannot read word list 'words.json': "),
        (["check", "words.json"], '{"a": ["list"]}', "quorvant: cannot read word list 'words.json': "),
        (["export", "ep1.ass", "--words", "words.json"], '{"b(": "x"}',
         "quorvant: word list 'words.json': invalid pattern \"b(\": "),
        (["preview", "absent.srt", "--words", "words.json"], "{}", "quorvant: absent.srt: no such file"),
        (["preview", "notes.txt", "--words", "words.json"], "{}", "quorvant: notes.txt: not an .ass or .srt file"),
    ],
)
def test_bad_input_gives_one_clear_line(season, args, words_text, message):
    if words_text is not None:
        (season / "words.json").write_text(words_text, encoding="utf-8")

    result = quorvant(*args, cwd=season)

    assert result.returncode == 1
    assert no_traceback(result)
    assert result.stderr.splitlines()[0].startswith(message)
    if args[0] == "export":
        # The list is refused before any file is touched.
        assert not list(season.glob("[[]Quorvanted[]]*"))


@pytest.mark.parametrize("where", ["before", "after"])
def test_debug_shows_the_traceback(tmp_path, where):
    (tmp_path / "words.json").write_text('{"a": ', encoding="utf-8")
    args = ["--debug", "check", "words.json"] if where == "before" else ["check", "--debug", "words.json"]

    result = quorvant(*args, cwd=tmp_path)

    assert result.returncode == 1
    assert "Traceback" in result.stderr
