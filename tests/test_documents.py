"""Files as documents: an empty list gives every file back byte for byte, a rule
changes only the bytes of the texts it changes, and SubRip cues keep their lines."""

import json
import re
import shutil
import warnings

import pysubs2
import pytest
import webvtt
from conftest import DATA_DIR, quorvant
from hypothesis import given, settings
from hypothesis import strategies as st

from c_quorvant import SubtitleFileError, WordList, export_texts, modify_subs, preview, rewrite, rewrite_bytes

FORMATS = {".ass": "ass", ".ssa": "ssa", ".srt": "srt", ".vtt": "vtt"}
SAMPLES = sorted(path for path in DATA_DIR.glob("y_*") if path.suffix in FORMATS)
NO_RULES = WordList({})
T1, T2, T3 = (f"00:00:0{n},000 --> 00:00:0{n + 1},000" for n in (1, 3, 5))

BASE = f"1\n{T1}\nTwo lines\nof text.\n\n2\n{T2}\nOne line.\n\n3\n{T3}\n- Three\n- lines\n- here\n"
VARIANTS = {
    "lf": BASE,
    "crlf": BASE.replace("\n", "\r\n"),
    "cr": BASE.replace("\n", "\r"),
    "mixed": BASE.replace("\n", "\r\n", 4),
    "bom": "\ufeff" + BASE,
    "no_final_line_end": BASE.rstrip("\n"),
    "blank_runs": BASE.replace("\n\n", "\n\n\n \n\n") + "\n\n\n",
    "leading_zeros": BASE.replace("1\n", "001\n", 1).replace("\n2\n", "\n+02\n"),
    "position_fields": BASE.replace(T1, T1 + " X1:40 X2:600 Y1:20 Y2:50"),
    "empty_cues": f"1\n{T1}\n\n2\n{T2}\n\n3\n{T3}\n",
    "blank_line_inside_a_cue": BASE.replace("Two lines\n", "Two lines\n\n"),
    "tabs_and_nbsp": BASE.replace("One line.", "\tOne\u00a0line.\t").replace(T2, T2.replace(" ", "\t")),
    "thousand_cues": "".join(f"{n}\n{T1}\nCue {n}, line one\nline two\n\n" for n in range(1, 1001)),
}


def _variant_bytes():
    for name, text in VARIANTS.items():
        yield name, text.encode("utf-8")
    yield "utf16_le", b"\xff\xfe" + VARIANTS["crlf"].encode("utf-16-le")
    yield "utf16_be", b"\xfe\xff" + VARIANTS["lf"].encode("utf-16-be")


@pytest.mark.parametrize("name, data", [*_variant_bytes(), *((p.name, p.read_bytes()) for p in SAMPLES)])
def test_an_empty_list_gives_the_file_back(name, data):
    fmt = FORMATS.get(name[-4:], "srt")
    assert rewrite_bytes(data, fmt, NO_RULES) == data


def test_rewrite_and_the_command_line_give_every_sample_back(tmp_path):
    for sample in SAMPLES:
        shutil.copy(sample, tmp_path / sample.name)
    (tmp_path / "words.json").write_text("{}", encoding="utf-8")
    assert rewrite(tmp_path / SAMPLES[0].name, NO_RULES).output.read_bytes() == SAMPLES[0].read_bytes()
    result = quorvant("rewrite", ".", "-w", "words.json", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    for sample in SAMPLES:
        assert (tmp_path / f"[Quorvanted] {sample.name}").read_bytes() == sample.read_bytes(), sample.name


def _texts(data: str) -> dict[str, str]:
    return export_texts(data.encode(), "srt", NO_RULES)


# Malformed SubRip: every text line is kept, in the cue it belongs to.
@pytest.mark.parametrize(
    "data, texts",
    [
        (f"1\n{T1}\nA\n\nHello\n{T2}\nB", {"1": "A\n\nHello", "2": "B"}),
        (f"{T1}\nA\n{T2}\nB", {"1": "A", "2": "B"}),
        (f"1\n{T1}\n{T2}\nB", {"1": "", "2": "B"}),
        (f"1\n\n{T1}\n\nA\n\n2\n\n{T2}\n\nB\n", {"1": "A", "2": "B"}),
        (f"1\n{T1}\nA\n\n--> B\n\n2\nwas a good year\n", {"1": "A\n\n--> B\n\n2\nwas a good year"}),
        (f"1\n{T1}\nline one\rline two\n", {"1": "line one\nline two"}),
        (f"1\n{T1}\nA\n\ufeff2\n{T2}\nB\n", {"1": "A", "2": "B"}),
        (f"Title\n\n7\n{T1}\nA\n\n{T2}\nB\n\n9", {"0": "Title", "7": "A", "8": "B"}),
        (f"1\n{T1}\nThe way --> there\n", {"1": "The way --> there"}),
    ],
)
def test_malformed_subrip_keeps_every_text_line(data, texts):
    assert _texts(data) == texts
    assert rewrite_bytes(data.encode(), "srt", NO_RULES) == data.encode()


def test_a_file_without_timing_lines_is_no_subrip_file(tmp_path):
    (tmp_path / "mpl2.srt").write_text("[10][20]Hello|there\n[30][40]{y:i}Bye\n", encoding="utf-8")
    (tmp_path / "words.json").write_text("{}", encoding="utf-8")
    with pytest.raises(SubtitleFileError, match="not a SubRip file: no timing line found"):
        rewrite(tmp_path / "mpl2.srt", NO_RULES)
    result = quorvant("rewrite", "mpl2.srt", "-w", "words.json", cwd=tmp_path)
    assert result.returncode == 1
    assert "not a SubRip file: no timing line found" in result.stderr
    assert sorted(path.name for path in tmp_path.iterdir()) == ["mpl2.srt", "words.json"]


def test_the_api_reads_the_texts_the_module_reads(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "words.json").write_text("{}", encoding="utf-8")
    for sample in SAMPLES:
        shutil.copy(sample, tmp_path / sample.name)
        # The module and Python's decoder replace a broken Cyrillic byte run with different counts of U+FFFD.
        if sample.suffix not in (".ass", ".srt") or "utf16" in sample.name or "cp1251" in sample.name:
            continue
        exported = json.loads((tmp_path / modify_subs.modify_subs_py(sample.name, "words.json")).read_bytes())
        # The module reads legacy bytes as they are; so does the API when told UTF-8.
        texts = export_texts(sample.read_bytes(), FORMATS[sample.suffix], NO_RULES, encoding="utf-8")
        # A repeated cue number's later cues are "N#2", ...; the module keeps the last of them as "N".
        texts = {key.split("#")[0]: text for key, text in texts.items()}
        assert texts.keys() == exported.keys(), sample.name
        for key, text in texts.items():
            # The module joins a cue's lines, and the blank lines among them, with one space.
            module_form = re.sub("\n+", " ", text) if sample.suffix == ".srt" else text
            assert module_form.encode("utf-8", "surrogateescape").decode("utf-8", "replace") == exported[key]


LINE_ENDS = st.sampled_from(["\n", "\r\n", "\r"])
WORDS = st.text(alphabet="abc ,.!?éあ", min_size=1, max_size=12).filter(lambda text: text.strip())
RULES = WordList({"a": "4", "b\\s*c": "X"})


def _rewritten(text: str) -> str:
    return re.sub("b\\s*c", "X", text.replace("a", "4"), flags=re.IGNORECASE)


@st.composite
def subrip_documents(draw):
    """(the file, the file with RULES applied to its texts, or None where the rewrite
    is refused: a text ending in a lone number before a cue without one would number it)."""
    end = draw(LINE_ENDS)
    pieces, expected = [draw(st.sampled_from(["", "\ufeff"]))], []
    expected.append(pieces[0])
    refused, numbered_last = False, False
    for number in range(1, draw(st.integers(1, 6)) + 1):
        lines = draw(st.lists(WORDS, min_size=0, max_size=3))
        given = draw(st.sampled_from([f"{number}", f"0{number}", ""])) if number > 1 else f"{number}"
        refused |= numbered_last and not given
        head = given + end + T1 + draw(st.sampled_from(["", " X1:10 X2:20"])) + end
        blank = draw(st.sampled_from([end, end + end, end + " " + end]))
        pieces.append(head + end.join(lines) + end + blank)
        # The rules see the cue's lines joined by "\n", and their "\n" is written as the file's line end.
        text = _rewritten("\n".join(lines))
        numbered_last = text.split("\n")[-1].strip().isdigit()
        expected.append(head + text.replace("\n", end) + end + blank)
    return "".join(pieces), None if refused else "".join(expected)


@st.composite
def ass_documents(draw):
    end = draw(LINE_ENDS)
    header = f"[Script Info]{end}ScriptType: v4.00+{end}Title: a b c{end}{end}[Events]{end}"
    header += f"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text{end}"
    pieces, expected = [header], [header]
    for _ in range(draw(st.integers(0, 6))):
        kind = draw(st.sampled_from(["Dialogue", "Comment"]))
        fields = f"{kind}: 0,0:00:01.00,0:00:02.00,Default,abc,0,0,0,,"
        text = draw(st.text(alphabet="abc ,{}\\Ni", max_size=20))
        pieces.append(fields + text + end)
        expected.append(fields + (_rewritten(text) if kind == "Dialogue" else text) + end)
    return "".join(pieces), "".join(expected)


@settings(max_examples=150, deadline=None)
@given(document=st.one_of(subrip_documents().map(lambda d: ("srt", *d)), ass_documents().map(lambda d: ("ass", *d))))
def test_a_rule_changes_only_the_texts(document):
    fmt, text, expected = document
    data = text.encode()
    assert rewrite_bytes(data, fmt, NO_RULES) == data
    if expected is None:
        with pytest.raises(RuntimeError, match="would take for the start of a cue"):
            rewrite_bytes(data, fmt, RULES)
    else:
        assert rewrite_bytes(data, fmt, RULES) == expected.encode()


@pytest.mark.parametrize("sample", [path for path in SAMPLES if path.suffix == ".vtt"], ids=lambda path: path.name)
def test_webvtt_cues_agree_with_other_readers(sample, tmp_path):
    data = sample.read_bytes()
    texts = export_texts(data, "vtt", NO_RULES)
    captions = webvtt.read(str(sample))
    assert list(texts.values()) == [caption.raw_text for caption in captions]
    # A rule on every text, an empty one included, leaves each cue's timing as it was.
    rewritten = tmp_path / "rewritten.vtt"
    rewritten.write_bytes(rewrite_bytes(data, "vtt", WordList({"^": "» "})))
    after = webvtt.read(str(rewritten))
    assert [(c.start, c.end) for c in after] == [(c.start, c.end) for c in captions]
    assert [c.raw_text for c in after] == ["» " + text for text in texts.values()]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # pysubs2 warns of lines it takes for a missed cue
        events = [(event.start, event.end) for event in pysubs2.load(str(sample))]
        assert [(event.start, event.end) for event in pysubs2.load(str(rewritten))] == events
    assert len(events) == len(texts)


def test_preview_names_each_change_by_its_export_key(tmp_path):
    # Cue numbers repeat in files joined by hand.
    path = tmp_path / "joined.srt"
    path.write_text("".join(f"{n}\n00:00:0{i},000 --> 00:00:0{i},500\nsan {i}\n\n" for i, n in enumerate([1, 1, 2, 1])))
    words = WordList({"san": "kun"})
    (tmp_path / "words.json").write_text('{"san": "kun"}')

    found = preview(path, words)

    assert found.keys == list(export_texts(path.read_bytes(), "srt", words)) == ["1", "1#2", "2", "1#3"]
    assert [number for number, _, _ in found.changes] == [1, 1, 2, 1]
    assert quorvant("preview", path.name, "-w", "words.json", cwd=tmp_path).stdout.count("cue 1#") == 2
