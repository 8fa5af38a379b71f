"""The file names each face takes as subtitles, and the names of their outputs."""

import shutil

import pytest
from conftest import DATA_DIR

from c_quorvant import SubtitleFileError, formats
from c_quorvant.api import default_output
from c_quorvant.cli.inputs import Options, select_inputs


@pytest.mark.parametrize(
    "name, format",
    [
        ("ep.ass", "ass"),
        ("EP2.SRT", "srt"),
        ("a.b.Ssa", "ass"),
        ("dir.srt/x.vtt", "vtt"),
        (".srt", "srt"),
        ("ep.srt.txt", None),
        ("ep", None),
        ("épisode.VTT", "vtt"),
        # Letters that only fold to ASCII outside it are no ending.
        ("ep.\u212aSS", None),
        ("ep.ſrt", None),
    ],
)
def test_the_api_and_the_command_line_take_the_same_names(tmp_path, name, format):
    path = tmp_path / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("", encoding="utf-8")

    selected = select_inputs([str(path)], Options("rewrite")).inputs[0]

    assert formats.format_of(name) == format
    assert formats.format_of(str(path).encode()) == format
    assert (selected.skipped == formats.NOT_AN_INPUT) == (format is None)
    if format is None:
        with pytest.raises(SubtitleFileError, match=formats.NOT_A_SUBTITLE):
            default_output(path, False)
    else:
        assert default_output(path, False).name == formats.output_name(path.name)


@pytest.mark.parametrize(
    "sample, name",
    [
        ("y_monsters-win-crlf.srt", "ep.srt"),
        ("y_monsters-win-crlf.srt", "ep.1.final.srt"),
        ("y_monsters-win-crlf.srt", "[Quorvanted] naïve ep .srt"),
        ("y_elfen-lied-op.ass", "Elfen Lied.OP.ass"),
    ],
)
def test_the_package_names_outputs_as_the_module_does(workdir, write_words, sample, name):
    from c_quorvant.modify_subs import modify_subs_py, overwrite_subs

    shutil.copy(DATA_DIR / sample, workdir / name)
    words = write_words({"the": "THE"})

    written = {overwrite_subs(name, words), modify_subs_py(name, words)}

    assert written == {formats.output_name(name), formats.output_name(name, export=True)}
    assert all((workdir / output).is_file() for output in written)
