"""Where outputs go and what they are called, and which paths a run takes as inputs."""

import json
import os
import stat
import subprocess
import sys

import pytest
from conftest import quorvant

SRT = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san.\n"
REWRITTEN = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi.\n"


@pytest.fixture
def shelf(tmp_path):
    """s/ with ep1.srt, EP2.SRT and sub/ep1.srt (with a backup); only/ holding a subtitle in a subfolder
    alone; a file named afile; the word list."""
    for name in ("s/ep1.srt", "s/EP2.SRT", "s/sub/ep1.srt", "only/deeper/ep4.srt"):
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(SRT, encoding="utf-8")
    (tmp_path / "s/sub/ep1.srt.orig").write_text("the original", encoding="utf-8")
    (tmp_path / "afile").write_text("", encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps({"(\\w+)-san": "$1"}), encoding="utf-8")
    return tmp_path


def tree(root):
    return {
        str(path.relative_to(root)): path.read_text(encoding="utf-8")
        for path in root.rglob("*")
        if path.is_file() and path.name not in ("afile", "words.json")
    }


@pytest.mark.parametrize(
    "args, status, message, changed",
    [
        (
            ["rewrite", "s", "-o", "out", "--name", "{name}"],
            0,
            "",
            {"out/ep1.srt": REWRITTEN, "out/EP2.SRT": REWRITTEN},
        ),
        (
            ["export", "s/EP2.SRT", "--name", "clean {stem}{ext}"],
            0,
            "",
            {"s/clean EP2.json": '{\n  "1" : "Hello, Aoi."\n}'},
        ),
        (
            ["rewrite", "s", "--in-place"],
            0,
            "",
            {"s/ep1.srt": REWRITTEN, "s/EP2.SRT": REWRITTEN} | {"s/ep1.srt.orig": SRT, "s/EP2.SRT.orig": SRT},
        ),
        (["rewrite", "s/ep1.srt", "--in-place", "--no-backup"], 0, "", {"s/ep1.srt": REWRITTEN}),
        # An earlier backup is the true original: kept, and the file left alone.
        (["rewrite", "s/sub/ep1.srt", "--in-place"], 1, "its backup s/sub/ep1.srt.orig exists", {}),
        (
            ["rewrite", "s/ep1.srt", "s/sub/ep1.srt", "-o", "s", "--name", "{name}"],
            1,
            "quorvant: s/sub/ep1.srt: its output s/ep1.srt is the input s/ep1.srt",
            {},
        ),
        (["rewrite", "s", "-o", "afile"], 2, "quorvant: -o afile: afile is a file", {}),
        (["export", "s", "-o", "afile/x"], 2, "quorvant: -o afile/x: afile is a file", {}),
        (["rewrite", "s", "--name", "{name}"], 2, "quorvant: --name {name} without -o names each file itself", {}),
        (["rewrite", "s", "--name", "{stem}/x{ext}"], 2, "usage:", {}),
        (["rewrite", "s", "--in-place", "-o", "out"], 2, "quorvant: --in-place replaces each input", {}),
        (
            ["rewrite", "only"],
            2,
            "quorvant: skipped only: its .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp, .sub or Matroska "
            "(.mkv, .mka, .mks) files are all in subfolders (-r searches them)",
            {},
        ),
        (["preview", "nowhere"], 1, "quorvant: nowhere: no such file or folder", {}),
    ],
)
def test_output_names_and_refusals(shelf, args, status, message, changed):
    before = tree(shelf)

    result = quorvant(*args, "-w", "words.json", cwd=shelf)

    assert result.returncode == status, result.stderr
    assert message in result.stderr
    after = tree(shelf)
    assert {name: text for name, text in after.items() if before.get(name) != text} == changed
    assert set(before) <= set(after)


@pytest.mark.parametrize(
    "args, skipped",
    [
        (["s", "--name", "{stem}.en{ext}"], "2 outputs of an earlier run skipped"),
        (["s", "-r", "--name", "{stem}.en{ext}"], "3 outputs of an earlier run skipped"),
        (["s", "-r", "-o", "s/clean", "--name", "{name}"], "3 outputs of an earlier run skipped"),
        (["s", "--in-place"], "2 files already rewritten skipped"),
    ],
)
def test_a_rerun_skips_the_first_runs_outputs_with_any_naming(shelf, args, skipped):
    first = quorvant("rewrite", *args, "-w", "words.json", cwd=shelf)
    after_first = tree(shelf)

    again = quorvant("rewrite", *args, "-w", "words.json", cwd=shelf)

    assert (first.returncode, again.returncode) == (0, 0), first.stderr + again.stderr
    assert tree(shelf) == after_first
    assert f"quorvant: {skipped}" in again.stderr


def test_a_file_named_on_the_command_line_stays_an_input(shelf):
    (shelf / "s/ep1.en.srt").write_text("mine", encoding="utf-8")

    result = quorvant("rewrite", "s/ep1.srt", "s/ep1.en.srt", "--name", "{stem}.en{ext}", "-w", "words.json", cwd=shelf)

    assert result.returncode == 1
    assert "quorvant: s/ep1.srt: its output s/ep1.en.srt is the input s/ep1.en.srt" in result.stderr
    assert (shelf / "s/ep1.en.srt").read_text(encoding="utf-8") == "mine"


@pytest.mark.parametrize(
    "args, skipped",
    [
        ([], {"s/link: a link to a folder (--follow-links searches it)"}),
        (["--follow-links"], {"s/sub/up: leads to {root}/s, which this search covers already; not followed"}),
    ],
)
def test_linked_folders_are_named_and_loops_not_followed(shelf, args, skipped):
    os.symlink("sub", shelf / "s/link") if not args else os.symlink("..", shelf / "s/sub/up")

    result = quorvant("preview", "s", "-r", "-v", *args, "-w", "words.json", cwd=shelf)

    assert result.returncode == 0, result.stderr
    lines = {line.removeprefix("quorvant: skipped ") for line in result.stderr.splitlines() if "skipped" in line}
    assert lines == {line.format(root=shelf) for line in skipped}
    assert result.stdout.count("texts would change") == 3  # each file once


@pytest.mark.parametrize("through", ["api", "api-replacing", "cli", "cli-replacing"])
def test_an_output_is_never_wider_than_its_input(shelf, through):
    source = shelf / "s/ep1.srt"
    output = shelf / "s/[Quorvanted] ep1.srt"
    source.chmod(0o600)
    if through.endswith("replacing"):
        output.write_text("old", encoding="utf-8")
        output.chmod(0o644)
    if through.startswith("api"):
        from c_quorvant import WordList, rewrite

        rewrite(source, WordList.load(shelf / "words.json"))
    else:
        assert quorvant("rewrite", "s/ep1.srt", "-w", "words.json", cwd=shelf).returncode == 0

    assert (stat.S_IMODE(output.stat().st_mode), output.read_text(encoding="utf-8")) == (0o600, REWRITTEN)


@pytest.mark.parametrize(
    "path, export, name, expected",
    [
        ("d/EP2.SRT", False, "[Quorvanted] {name}", "d/[Quorvanted] EP2.SRT"),
        ("ep.1.ass", True, "[Quorvanted] {name}", "[Quorvanted] ep.1.json"),
        ("d/ep.vtt", False, "{stem}.clean{ext}", "d/ep.clean.vtt"),
        ("ep.ass", False, "{ext}", ValueError),
        ("ep.ass", False, "{stem}{}", ValueError),
        ("ep.ass", False, "x/{name}", ValueError),
        ("ep.txt", False, "{name}", "SubtitleFileError"),
    ],
)
def test_default_output_names_by_the_template(path, export, name, expected):
    from c_quorvant import SubtitleFileError
    from c_quorvant.api import default_output

    if isinstance(expected, str) and expected != "SubtitleFileError":
        assert str(default_output(path, export, name)) == expected
    else:
        with pytest.raises(SubtitleFileError if expected == "SubtitleFileError" else expected):
            default_output(path, export, name)


@pytest.mark.parametrize(
    "args, stdin, status, stdout, message",
    [
        (["rewrite", "-", "--format", "srt"], SRT, 0, REWRITTEN, ""),
        (["export", "-", "--format", "srt"], SRT, 0, '{\n  "1" : "Hello, Aoi."\n}', ""),
        (
            ["preview", "-", "--format", "srt", "--exit-code"],
            SRT,
            1,
            "cue 1\n  - Hello, Aoi-san.\n  + Hello, Aoi.\n-: 1 of 1 texts would change; nothing was written\n",
            "",
        ),
        (["rewrite", "-", "--format", "ass"], SRT, 1, "", "quorvant: -: "),
        (["rewrite", "-", "s/ep1.srt", "--format", "srt"], SRT, 2, "", "quorvant: - reads one file"),
        (["rewrite", "-"], SRT, 2, "", "quorvant: - reads one file"),
        (
            ["rewrite", "-", "--format", "srt", "-o", "out"],
            SRT,
            2,
            "",
            "quorvant: - is read and written by this process",
        ),
    ],
)
def test_a_dash_reads_standard_input_and_writes_standard_output(shelf, args, stdin, status, stdout, message):
    result = subprocess.run(
        [sys.executable, "-m", "c_quorvant", *args, "-w", "words.json"],
        cwd=shelf,
        input=stdin,
        capture_output=True,
        text=True,
        timeout=120,
    )

    assert (result.returncode, result.stdout) == (status, stdout), result.stderr
    assert result.stderr.startswith(message)
