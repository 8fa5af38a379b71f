"""Both passes over real subtitle files, checked against a plain reference of each output."""

import json
import re
import shutil

import pytest
from conftest import DATA_DIR

from c_quorvant import modify_subs

# (pattern, replacement as the word list holds it, the same replacement for Python's re)
RULES = [
    ("(\\w+)-san", "$1", rb"\1"),
    ("\\bthe\\b", "teh", b"teh"),
    ("\\bque\\b", "QUE", b"QUE"),
    ("\\bog\\b", "&", b"&"),
    ("i(\\w)", "$1i", rb"\1i"),
]

ASS_FILES = ["y_ass-format-tests.ass", "y_haruhi-01-pt.ass"]
SRT_FILES = ["y_tenshi-no-tamago-en-italics-crlf.srt", "y_danish-bom.srt"]


def substitute(text):
    """The reference: every rule in byte order of its pattern, ASCII-only case folding as on bytes."""
    for pattern, _, replacement in sorted(RULES, key=lambda rule: rule[0].encode()):
        text = re.sub(pattern.encode(), replacement, text, flags=re.IGNORECASE)
    return text


@pytest.fixture
def episode(workdir, write_words):
    """Copies a data file into the working directory next to the word list."""
    write_words({pattern: replacement for pattern, replacement, _ in RULES})

    def copy(name):
        shutil.copyfile(DATA_DIR / name, workdir / name)
        return name

    return copy


def ass_dialogue(data):
    """(line index, line, text-field start) of every dialogue line of the events section."""
    in_events, commas = False, 0
    for index, line in enumerate(data.split(b"\n")):
        marker = line.lstrip(b" \t").removeprefix(b"\xef\xbb\xbf")
        if marker.startswith(b"["):
            in_events = marker.startswith(b"[Events]")
        elif in_events and marker.startswith(b"Format:"):
            commas = marker.count(b",")
        elif in_events and commas and marker.startswith(b"Dialogue:"):
            fields = line.split(b",", commas)
            if len(fields) == commas + 1:
                yield index, line, len(line) - len(fields[-1])


@pytest.mark.parametrize("name", ASS_FILES)
def test_ass_export_holds_every_event_rewritten(name, episode, workdir, capfd):
    data = (DATA_DIR / name).read_bytes()
    assert modify_subs.modify_subs_py(episode(name), "words.json") == f"[Quorvanted] {name[:-4]}.json"
    document = json.loads((workdir / f"[Quorvanted] {name[:-4]}.json").read_text(encoding="utf-8"))
    texts = [line[start:].rstrip(b"\r") for _, line, start in ass_dialogue(data)]
    expected = {str(position): substitute(text).decode("utf-8") for position, text in enumerate(texts, start=1)}
    assert sum(substitute(text) != text for text in texts) > 10
    assert document == expected
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("name", ASS_FILES)
def test_ass_rewrite_changes_only_dialogue_text_fields(name, episode, workdir, snapshot, capfd):
    data = (DATA_DIR / name).read_bytes()
    assert modify_subs.overwrite_subs(episode(name), "words.json") == f"[Quorvanted] {name}"
    lines = data.split(b"\n")
    changed = 0
    for index, line, start in ass_dialogue(data):
        lines[index] = line[:start] + substitute(line[start:])
        changed += lines[index] != line
    expected = b"\n".join(lines)
    if not expected.endswith(b"\n"):
        expected += b"\n"
    assert changed > 10
    assert (workdir / f"[Quorvanted] {name}").read_bytes() == expected
    assert (workdir / name).read_bytes() == data
    assert set(snapshot()) == {name, "words.json", f"[Quorvanted] {name}"}
    assert capfd.readouterr() == ("0\n", "")


def srt_cues(data):
    """(number, start, end, text) of each cue of a well-formed SubRip file."""
    lines = data.removeprefix(b"\xef\xbb\xbf").replace(b"\r", b"").split(b"\n")
    block = []
    for line in lines + [b""]:
        if line:
            block.append(line)
        elif block:
            times = block[1].split(b" ")
            yield int(block[0]), times[0], times[2], b" ".join(block[2:])
            block = []


@pytest.mark.parametrize("name", SRT_FILES)
def test_srt_export_holds_every_cue_rewritten(name, episode, workdir, snapshot, capfd):
    data = (DATA_DIR / name).read_bytes()
    assert modify_subs.modify_subs_py(episode(name), "words.json") == f"[Quorvanted] {name[:-4]}.json"
    document = json.loads((workdir / f"[Quorvanted] {name[:-4]}.json").read_text(encoding="utf-8"))
    cues = list(srt_cues(data))
    expected = {str(number): substitute(text).decode("utf-8") for number, _, _, text in cues}
    assert sum(substitute(text) != text for *_, text in cues) > 10
    assert document == expected
    assert set(snapshot()) == {name, "words.json", f"[Quorvanted] {name[:-4]}.json"}
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("name", SRT_FILES)
def test_srt_rewrite_writes_every_cue_rewritten(name, episode, workdir, snapshot, capfd):
    data = (DATA_DIR / name).read_bytes()
    assert modify_subs.overwrite_subs(episode(name), "words.json") == f"[Quorvanted] {name}"
    expected = b"\n\n".join(
        b"%d\n%s --> %s\n%s" % (number, start, end, substitute(text)) for number, start, end, text in srt_cues(data)
    )
    assert (workdir / f"[Quorvanted] {name}").read_bytes() == expected
    assert (workdir / name).read_bytes() == data
    assert set(snapshot()) == {name, "words.json", f"[Quorvanted] {name}"}
    assert capfd.readouterr() == ("", "")
