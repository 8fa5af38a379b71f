"""--diff: hunks made from the rewrite's own edits, which `patch` applies to give the rewrite."""

import json
import subprocess
import sys

import pytest
from conftest import quorvant
from hypothesis import given, settings
from hypothesis import strategies as st

from c_quorvant.cli.preview import edit_hunks


def srt(*texts, end="\n"):
    cues = [f"{n}{end}00:00:0{n % 10},000 --> 00:00:0{n % 10},500{end}{text}" for n, text in enumerate(texts, 1)]
    return (end * 2).join(cues)


ASS = (
    "\ufeff[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
    + "".join(f"Dialogue: 0,0:00:0{n}.00,0:00:0{n}.50,Default,,0,0,0,,Line {n} Aoi-san\n" for n in range(1, 9))
)


@pytest.mark.parametrize(
    "name, content, words",
    [
        ("crlf.srt", srt("Aoi-san", "hi", "Aoi-san\r\nok", end="\r\n"), {"-san": ""}),
        ("no-final-end.srt", srt("a", "b", "Aoi-san"), {"-san": ""}),
        ("far-apart.srt", srt("Aoi-san", *["x"] * 30, "Mei-san") + "\n", {"-san": ""}),
        ("neighbours-bom.ass", ASS, {"-san": ""}),
        ("line-removed.srt", srt("[MUSIC]\nHello", "[DOOR]\nBye") + "\n", {"\\[[A-Z]+\\]": ""}),
        ("line-added.srt", srt("- Hi. - Bye.", "x") + "\n", {"\\s*-\\s+": "\n- "}),
        (
            "cue-filled.srt",
            "1\n00:00:01,000 --> 00:00:02,000\n\n2\n00:00:03,000 --> 00:00:04,000\nx\n",
            {"^$": "(silence)"},
        ),
        (
            "first-and-last.vtt",
            "WEBVTT\n\n00:01.000 --> 00:02.000\nAoi-san\n\n00:03.000 --> 00:04.000\nMei-san",
            {"-san": ""},
        ),
    ],
)
def test_patch_applies_the_diff_to_give_the_rewrite(tmp_path, name, content, words):
    (tmp_path / name).write_bytes(content.encode("utf-8"))
    (tmp_path / "w.json").write_text(json.dumps(words), encoding="utf-8")

    # Bytes, not text: a CRLF file's diff keeps its line ends.
    command = [sys.executable, "-m", "c_quorvant", "rewrite", name, "-w", "w.json", "--diff"]
    diff = subprocess.run(command, cwd=tmp_path, capture_output=True)
    written = quorvant("rewrite", name, "-w", "w.json", "-o", "out", "--name", "{name}", cwd=tmp_path)
    patched = subprocess.run(["patch", "-p0", "-o", "patched", name], input=diff.stdout, cwd=tmp_path)

    assert diff.returncode == written.returncode == patched.returncode == 0, diff.stderr + written.stderr.encode()
    assert diff.stdout.startswith(f"--- {name}\n+++ {name}\n@@ -".encode())
    assert (tmp_path / "patched").read_bytes() == (tmp_path / "out" / name).read_bytes() != content.encode()


# A file of short lines, and edits that replace bytes of it (line ends included) with others.
LINES = st.lists(st.text("ab ", max_size=3), min_size=1, max_size=30).map(lambda lines: "\n".join(lines))


@st.composite
def edited(draw):
    text = draw(LINES).encode() + draw(st.sampled_from([b"", b"\n"]))
    cuts = sorted(draw(st.lists(st.integers(0, len(text)), max_size=8)))
    pairs = list(zip(cuts[::2], cuts[1::2], strict=False))  # an odd cut out is left over
    return text, [(begin, end, draw(st.text("xy\n", max_size=4)).encode()) for begin, end in pairs]


@settings(max_examples=60, deadline=None)
@given(edited())
def test_hunks_apply_to_give_the_edited_text(tmp_path_factory, case):
    text, edits = case
    folder = tmp_path_factory.mktemp("hunks")
    (folder / "f").write_bytes(text)
    expected, at = b"", 0
    for begin, end, written in edits:
        expected, at = expected + text[at:begin] + written, end
    expected += text[at:]

    hunks = "".join(edit_hunks(text, edits))
    if expected == text:
        assert hunks == ""
        return
    patched = subprocess.run(["patch", "-s", "-o", "g", "f"], input=f"--- f\n+++ f\n{hunks}".encode(), cwd=folder)

    assert patched.returncode == 0
    assert (folder / "g").read_bytes() == expected
