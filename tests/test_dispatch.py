"""Which pass a file name reaches, and what leaves a pass at the module boundary."""

import json
import re

import pytest

from c_quorvant import modify_subs

PASSES = [modify_subs.modify_subs_py, modify_subs.overwrite_subs]

ASS = """[Script Info]
ScriptType: v4.00+

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Hello, Aoi-san.
"""  # noqa: E501

SRT = "1\n00:00:01,000 --> 00:00:02,000\nHello, Aoi-san.\n"


@pytest.mark.parametrize("function", PASSES)
@pytest.mark.parametrize(
    "name", ["EPISODE.ASS", "episode.Srt", "x.ass.bak", "x.srt ", "episode.txt", "ass", "", "episode.ass\0"]
)
def test_other_endings_give_empty_text_and_touch_nothing(function, name, workdir, snapshot, capfd):
    # The word list does not exist: reaching any pass would fail loudly.
    (workdir / "EPISODE.ASS").write_text(ASS, encoding="utf-8")
    before = snapshot()
    assert function(name, "missing.json") == ""
    assert snapshot() == before
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize(
    "function, subfile, content, output",
    [
        (modify_subs.modify_subs_py, ".ass", ASS, "[Quorvanted] .json"),
        (modify_subs.overwrite_subs, ".ass", ASS, "[Quorvanted] .ass"),
        (modify_subs.modify_subs_py, "episode.srt", SRT, "[Quorvanted] episode.json"),
        (modify_subs.overwrite_subs, "episode.srt", SRT, "[Quorvanted] episode.srt"),
        (modify_subs.overwrite_subs, "sub/épisode 字幕.srt", SRT, "[Quorvanted] sub/épisode 字幕.srt"),
        (modify_subs.modify_subs_py, "sub/épisode 字幕.ass", ASS, "[Quorvanted] sub/épisode 字幕.json"),
    ],
)
def test_ending_picks_the_pass_and_the_name_comes_back_as_given(
    function, subfile, content, output, workdir, write_words
):
    for directory in ("sub", "[Quorvanted] sub"):
        (workdir / directory).mkdir()
    (workdir / subfile).write_text(content, encoding="utf-8")
    assert function(subfile, write_words({"(\\w+)-san": "$1"})) == output
    written = (workdir / output).read_text(encoding="utf-8")
    assert "Hello, Aoi." in written
    assert "-san" not in written


@pytest.mark.parametrize(
    "function, subfile, stdout, stderr",
    [
        (modify_subs.modify_subs_py, "missing.ass", "Failed to load SSA file\n", ""),
        (modify_subs.overwrite_subs, "missing.ass", "", "Could not open the input file: missing.ass\n"),
        (modify_subs.modify_subs_py, "missing.srt", "", "Error opening input file.\n"),
        (modify_subs.overwrite_subs, "missing.srt", "", "Error opening input file.\n"),
    ],
)
def test_missing_subtitle_file_is_reported_by_its_pass(function, subfile, stdout, stderr, write_words, snapshot, capfd):
    write_words({"a": "b"})
    before = snapshot()
    assert function(subfile, "words.json") == ""
    assert capfd.readouterr() == (stdout, stderr)
    assert snapshot() == before


BAD_WORD_LISTS = {
    "missing": (None, r"^Failed to open replacement words file$"),
    "bad pattern": (json.dumps({"(unclosed": "x"}), r"regular expression"),
    "not JSON": ('{"a": ', r"^\* Line 1, Column 7\n  Syntax error"),
    "array value": (json.dumps({"a": ["b"]}), r"not convertible to string"),
}


@pytest.mark.parametrize("problem", BAD_WORD_LISTS)
@pytest.mark.parametrize(
    "function, subfile, content",
    [
        (modify_subs.overwrite_subs, "episode.ass", ASS),
        (modify_subs.modify_subs_py, "episode.srt", SRT),
        (modify_subs.overwrite_subs, "episode.srt", SRT),
    ],
)
def test_word_list_failures_leave_the_passes_as_runtime_errors(problem, function, subfile, content, workdir, snapshot):
    text, message = BAD_WORD_LISTS[problem]
    if text is not None:
        (workdir / "words.json").write_text(text, encoding="utf-8")
    (workdir / subfile).write_text(content, encoding="utf-8")
    before = snapshot()
    with pytest.raises(RuntimeError, match=message):
        function(subfile, "words.json")
    assert snapshot() == before


@pytest.mark.parametrize("problem", BAD_WORD_LISTS)
def test_ass_export_reports_word_list_failures_on_standard_output(problem, workdir, snapshot, capfd):
    text, message = BAD_WORD_LISTS[problem]
    if text is not None:
        (workdir / "words.json").write_text(text, encoding="utf-8")
    (workdir / "episode.ass").write_text(ASS, encoding="utf-8")
    before = snapshot()
    assert modify_subs.modify_subs_py("episode.ass", "words.json") == ""
    out, err = capfd.readouterr()
    assert re.search(message, out) and out.endswith("\n")
    assert err == ""
    assert snapshot() == before
