"""Each failure of the native passes reaches the caller as the package's exception,
naming the file, pattern or cue, whichever call and encoding path it took."""

import os

import pytest

from c_quorvant import SubtitleFileError, UnwritableTextError, WordList, WordListError, export, preview, rewrite

CUES = "1\n00:00:01,000 --> 00:00:02,000\n“Senpai, wait!”\n\n2\n00:00:03,000 --> 00:00:04,000\n‘Tanaka-san?’\n"
MPL2 = b"[10][20]Hello|there\n"
WORDS = WordList({"(\\w+)-san": "$1", "senpai": "senior"})
# A rule that writes what SubRip readers take for the start of a cue.
OPENS_A_CUE = WordList({"wait!": "wait!\n\n3\n00:00:05,000 --> 00:00:06,000"})


def _files(folder):
    (folder / "ep.srt").write_text(CUES, encoding="utf-8")
    (folder / "ep-cp1252.srt").write_bytes(CUES.encode("cp1252"))
    (folder / "mpl2.srt").write_bytes(MPL2)
    (folder / "list.json").write_text('[{"san": ""}]', encoding="utf-8")


# (call on the folder, exception type, its path attribute relative to the folder
# (None: no path; bytes: as given) or the text's key, a part of its message)
CASES = [
    ("preview missing", lambda d: preview(d / "none.srt", WORDS), SubtitleFileError, "none.srt", "No such file"),
    (
        "preview refused by its reader",
        lambda d: preview(d / "mpl2.srt", WORDS),
        SubtitleFileError,
        "mpl2.srt",
        "mpl2.srt: not a SubRip file: no timing line found",
    ),
    (
        "rewrite refused, legacy encoding path",
        lambda d: rewrite(d / "mpl2.srt", WORDS, output_encoding="cp1252"),
        SubtitleFileError,
        "mpl2.srt",
        "not a SubRip file",
    ),
    (
        "export of bytes path",
        lambda d: export(os.fsencode(d / "mpl2.srt"), WORDS),
        SubtitleFileError,
        b"mpl2.srt",
        "mpl2.srt: not a SubRip file",
    ),
    (
        "preview of bytes path missing",
        lambda d: preview(os.fsencode(d / "none.srt"), WORDS),
        SubtitleFileError,
        b"none.srt",
        "No such file",
    ),
    (
        "cue opened by a rule, legacy encoding",
        lambda d: rewrite(d / "ep-cp1252.srt", OPENS_A_CUE, encoding="cp1252"),
        UnwritableTextError,
        "1",
        "cue 1 holds a line",
    ),
    (
        "word list not an object",
        lambda d: WordList.load(d / "list.json"),
        WordListError,
        None,
        "list.json: not a word list: this is a JSON array",
    ),
]


@pytest.mark.parametrize(("call", "error", "path", "message"), [case[1:] for case in CASES], ids=[c[0] for c in CASES])
def test_failures_cross_once(tmp_path, capfd, call, error, path, message):
    _files(tmp_path)
    with pytest.raises(error) as raised:
        call(tmp_path)
    assert type(raised.value) is error
    assert message in str(raised.value)
    if error is UnwritableTextError:
        assert raised.value.key == path
    if error is SubtitleFileError:
        expected = (
            path
            if path is None
            else (os.fsencode(tmp_path) + b"/" + path if isinstance(path, bytes) else str(tmp_path / path))
        )
        assert raised.value.path == expected
        assert str(raised.value).startswith(f"{os.fsdecode(expected)}: " if expected else raised.value.reason)
    # A failure writes nothing: no output beside the inputs, and nothing printed.
    assert not [name for name in os.listdir(tmp_path) if name.startswith(("[Quorvanted]", ".quorvant"))]
    assert capfd.readouterr() == ("", "")
