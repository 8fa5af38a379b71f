"""undo puts back what a run replaced and removes what it wrote, and refuses a file that changed since."""

import hashlib
import json

import pytest
from conftest import quorvant

SRT = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san.\n"
REWRITTEN = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi.\n"


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def in_place(folder):
    return quorvant("rewrite", "s", "--in-place", "-q", "-w", "words.json", cwd=folder)


def copies_reported(folder):
    result = quorvant("rewrite", "s", "-o", "out", "--json", "-w", "words.json", cwd=folder)
    (folder / "run.json").write_text(result.stdout, encoding="utf-8")


def in_place_reported(folder):
    result = quorvant("rewrite", "s", "--in-place", "--json", "-w", "words.json", cwd=folder)
    (folder / "run.json").write_text(result.stdout, encoding="utf-8")


def logged(backup="s/a.srt.orig", new=REWRITTEN, old=SRT):
    def run(folder):
        in_place(folder)
        entry = {"file": "s/a.srt", "backup": backup, "old_sha256": sha(old), "new_sha256": sha(new)}
        (folder / "run.log").write_text(json.dumps(entry) + "\n", encoding="utf-8")

    return run


def edited(run, path):
    def edit(folder):
        run(folder)
        (folder / path).write_text("edited", encoding="utf-8")

    return edit


@pytest.mark.parametrize(
    "run, args, status, files, said",
    [
        (in_place, ["s/a.srt"], 0, {"s/a.srt": SRT, "s/b.srt": REWRITTEN, "s/b.srt.orig": SRT}, "restored s/a.srt"),
        (in_place, ["s"], 0, {"s/a.srt": SRT, "s/b.srt": SRT}, "2 undone, 0 refused"),
        (copies_reported, ["--report", "run.json"], 0, {"s/a.srt": SRT, "s/b.srt": SRT}, "removed out/"),
        (
            edited(copies_reported, "out/[Quorvanted] a.srt"),
            ["--report", "run.json"],
            1,
            {"s/a.srt": SRT, "s/b.srt": SRT, "out/[Quorvanted] a.srt": "edited"},
            "refused out/[Quorvanted] a.srt: it changed since the run",
        ),
        (in_place_reported, ["--report", "run.json"], 0, {"s/a.srt": SRT, "s/b.srt": SRT}, "2 undone, 0 refused"),
        (
            logged(),
            ["--log", "run.log"],
            0,
            {"s/a.srt": SRT, "s/b.srt": REWRITTEN, "s/b.srt.orig": SRT},
            "from s/a.srt.orig",
        ),
        (
            logged(new="something else"),
            ["--log", "run.log"],
            1,
            {"s/a.srt": REWRITTEN, "s/a.srt.orig": SRT, "s/b.srt": REWRITTEN, "s/b.srt.orig": SRT},
            "refused s/a.srt: it changed since the run",
        ),
        (
            edited(logged(), "s/a.srt.orig"),
            ["--log", "run.log"],
            1,
            {"s/a.srt": REWRITTEN, "s/a.srt.orig": "edited", "s/b.srt": REWRITTEN, "s/b.srt.orig": SRT},
            "its backup s/a.srt.orig changed since the run",
        ),
        (
            logged(backup=None),
            ["--log", "run.log"],
            1,
            {"s/a.srt": REWRITTEN, "s/a.srt.orig": SRT, "s/b.srt": REWRITTEN, "s/b.srt.orig": SRT},
            "the run kept no backup of it",
        ),
        (lambda folder: None, ["s"], 1, {"s/a.srt": SRT, "s/b.srt": SRT}, "nothing to undo"),
    ],
    ids=[
        "file",
        "folder",
        "report",
        "report-edited",
        "report-in-place",
        "log",
        "log-edited",
        "backup-edited",
        "log-no-backup",
        "nothing",
    ],
)
def test_undo(tmp_path, run, args, status, files, said):
    for name in ("s/a.srt", "s/b.srt"):
        (tmp_path / name).parent.mkdir(exist_ok=True)
        (tmp_path / name).write_text(SRT, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps({"(\\w+)-san": "$1"}), encoding="utf-8")
    run(tmp_path)

    result = quorvant("undo", *args, cwd=tmp_path)

    assert result.returncode == status, result.stderr
    assert said in result.stdout + result.stderr
    found = {
        str(path.relative_to(tmp_path)): path.read_text(encoding="utf-8")
        for path in tmp_path.rglob("*")
        if path.is_file() and path.suffix in (".srt", ".orig")
    }
    assert found == files
