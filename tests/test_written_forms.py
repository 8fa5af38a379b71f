"""Rewrites that every reader reads back: a rule can't change how many texts a
file holds, and files are read as what they hold."""

import html
import json
import os
import pty
import re
import subprocess
import sys

import pysubs2
import pytest
import webvtt
from conftest import quorvant
from hypothesis import given, settings
from hypothesis import strategies as st

from c_quorvant import WordList, export, export_texts, modify_subs, preview, rewrite, rewrite_bytes

NO_RULES = WordList({})
RULE_SETS = {
    "sound tags": WordList({r"\[[^\]]*\]": ""}),
    "most lines": WordList({"[aeo]": "0"}),
    "split lines": WordList({" ": "\n"}),
    "empty lines": WordList({"^": "\n\n", "$": "\r\n \r"}),
    "join lines": WordList({r"\s*\n\s*": " "}),
    "arrow": WordList({"e": "-->"}),
    "timing line": WordList({"^": "00:00:09,000 --> 00:00:10,000\n"}),
    "markup": WordList({"a": r"\N{<&"}),
    "delete everything": WordList({r"[\s\S]+": ""}),
}
DIALOGUE = ["“Let’s go.”", "I don’t know…", "[MUSIC]", "— Wait, what?", "Aoi-san’s here", "She said ‘no’ again"]
LINE_ENDS = ["\n", "\r\n", "\r"]
ASS_HEAD = (
    "[Script Info]{e}ScriptType: v4.00+{e}{e}[Events]{e}"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text{e}"
)
OPENS_SUBRIP_CUE = re.compile(r"\d+:\d+:\d+[,.]\d+\s*-+\s*>\s*\d+:\d+:\d+[,.]\d+")


def written_form(fmt, text):
    """What the rewrite writes for `text`, as readers read it back."""
    if fmt == "ass":
        return re.sub(r"\r\n|\r|\n", r"\\N", text)
    lines = re.split(r"\r\n|\r|\n", text)
    if fmt == "vtt":
        return "\n".join(line.replace("-->", "--&gt;") for line in lines if line)
    # A line of byte-order marks stays between text lines, where the reader keeps it.
    kept = [line for line in lines if line.startswith("\ufeff") or line.strip(" \t")]
    while kept and not kept[0].lstrip("\ufeff").strip(" \t"):
        kept.pop(0)
    while kept and not kept[-1].lstrip("\ufeff").strip(" \t"):
        kept.pop()
    return "\n".join(kept)


def timing(fmt, n):
    mark = "." if fmt == "vtt" else ","
    stamp = f"{0 if fmt == 'ass' else '00'}:{n // 60:02d}:{n % 60:02d}"
    return f"{stamp}.00,{stamp}.50" if fmt == "ass" else f"{stamp}{mark}000 --> {stamp}{mark}500"


def document(fmt, cue_lines, end="\n", extras=()):
    """A file of `fmt` whose cue n holds cue_lines[n]; `extras` puts a WebVTT NOTE or
    STYLE block, or an identifier, before the cue of the same position."""
    if fmt == "ass":
        rows = (f"Dialogue: 0,{timing(fmt, n)},Default,,0,0,0,,{' '.join(lines)}" for n, lines in enumerate(cue_lines))
        return ASS_HEAD.format(e=end) + end.join(rows) + end
    parts = ["WEBVTT" + end] if fmt == "vtt" else []
    for n, lines in enumerate(cue_lines):
        extra = extras[n] if n < len(extras) else ""
        head = extra.replace("\n", end) + end + (end if extra.startswith(("NOTE", "STYLE")) else "") if extra else ""
        head = f"{n + 1}{end}" if fmt == "srt" else head
        parts.append(head + timing(fmt, n) + end + "".join(line + end for line in lines))
    return end.join(parts)


@st.composite
def documents(draw, formats=("ass", "srt", "vtt")):
    fmt = draw(st.sampled_from(formats))
    pieces = ["a", "b", "e", " ", "’", "“", "…", "&", "<", "{"]
    if fmt == "vtt":
        # No lone ";": "&a;" is spelled as a reference, which stays hidden whatever its name.
        pieces += ["&amp;", "&lt;", "&#38;", "&nbsp;", "&#x3e;"]
    elif fmt == "ass":
        pieces += ["\\{", "\\}", "{\\i1}", "}", "{\\p 1}m 0 0 l a e", "{\\p0}", "{\\p-1}"]
    piece_text = st.lists(st.sampled_from(pieces), min_size=1, max_size=8).map("".join)
    line = st.one_of(st.sampled_from(DIALOGUE), piece_text)
    line = line.filter(lambda text: text.strip(" ") and (fmt != "vtt" or text.strip(" ") == text))
    cues = draw(st.lists(st.lists(line, min_size=0 if fmt != "ass" else 1, max_size=3), min_size=1, max_size=10))
    extra = st.sampled_from(["", "", "id", "NOTE see the readme --> v2", "STYLE\n::cue {}", "NOTE\nsee a --> b"])
    extras = draw(st.lists(extra, max_size=len(cues))) if fmt == "vtt" else ()
    return fmt, document(fmt, cues, draw(st.sampled_from(LINE_ENDS)), extras).encode()


def webvtt_texts(data):
    return [caption.raw_text for caption in webvtt.from_string(data.decode().removeprefix("\ufeff"))]


@settings(max_examples=300, deadline=None)
@given(doc=documents(), rules=st.sampled_from(sorted(RULE_SETS)))
def test_a_rewrite_reads_back_as_its_texts_written(doc, rules):
    fmt, data = doc
    words = RULE_SETS[rules]
    expected = [written_form(fmt, text) for text in export_texts(data, fmt, words).values()]
    try:
        rewritten = rewrite_bytes(data, fmt, words)
    except RuntimeError as error:
        if fmt == "vtt":
            broken = re.search(r"break the character reference (&[#\w]+;) in cue", str(error))
            assert broken and broken[1].encode() in data
            return
        assert fmt == "srt" and "SubRip readers would take for the start of a cue" in str(error)
        assert any(OPENS_SUBRIP_CUE.search(text) for text in expected)
        return
    assert list(export_texts(rewritten, fmt, NO_RULES).values()) == expected
    if fmt == "vtt":
        assert webvtt_texts(data) == list(export_texts(data, fmt, NO_RULES).values())
        assert webvtt_texts(rewritten) == expected


PROTECTED_RULE_SETS = {
    "ampersand": WordList({r"\s*&\s*": " and "}),
    "writes markup": WordList({"a": "{<&>}"}),
    "letters": WordList({"[ampe]": "4"}),
    "semicolon": WordList({r"(\S);": "$1\u202f;"}),
    "anchors": WordList({"^": "{", "$": "<"}),
}


def shown_blocks(text):
    """The override blocks libass hides: a '{' with a '}' after it, escaped braces passed over."""
    return [block for block in re.findall(r"\\[{}]|(\{[^}]*\})", text) if block]


@settings(max_examples=300, deadline=None)
@given(doc=documents(formats=("ass", "vtt")), rules=st.sampled_from(sorted(PROTECTED_RULE_SETS)))
def test_under_protect_tags_readers_see_what_the_rules_made(doc, rules):
    fmt, data = doc
    words = PROTECTED_RULE_SETS[rules]
    exported = list(export_texts(data, fmt, words, protect_tags=True).values())
    rewritten = rewrite_bytes(data, fmt, words, protect_tags=True)
    assert list(export_texts(rewritten, fmt, NO_RULES).values()) == [written_form(fmt, text) for text in exported]
    before = list(export_texts(data, fmt, NO_RULES).values())
    if fmt == "ass":
        assert [shown_blocks(text) for text in exported] == [shown_blocks(text) for text in before]
    else:
        # The generated texts hold no tags: the rules meet each one whole, as shown
        # (an empty text has no run of visible text to meet).
        shown = [html.unescape(caption.text) for caption in webvtt.from_string(data.decode())]
        assert [html.unescape(caption.text) for caption in webvtt.from_string(rewritten.decode())] == [
            words.apply(text) if text else text for text in shown
        ]


def _pysubs2(fmt):
    return lambda data: [((e.start, e.end), None) for e in pysubs2.SSAFile.from_string(data.decode(), format_=fmt)]


def _libass(data, tmp_path):
    (tmp_path / "read.ass").write_bytes(data)
    exported = json.loads((tmp_path / modify_subs.modify_subs_py("read.ass", "words.json")).read_text())
    return [(None, exported[key]) for key in sorted(exported or {}, key=int)]


READERS = {
    ("vtt", "webvtt-py"): lambda data, _: [((c.start, c.end), c.raw_text) for c in webvtt.from_string(data.decode())],
    ("vtt", "pysubs2"): lambda data, _: _pysubs2("vtt")(data),
    ("srt", "pysubs2"): lambda data, _: _pysubs2("srt")(data),
    ("ass", "pysubs2"): lambda data, _: _pysubs2("ass")(data),
    ("ass", "libass"): _libass,
}


@pytest.mark.parametrize("rules", sorted(RULE_SETS))
@pytest.mark.parametrize("cues", [2, 10, 200])
@pytest.mark.parametrize("fmt, reader", sorted(READERS))
def test_other_readers_find_the_same_cues_after_a_rewrite(fmt, reader, cues, rules, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "words.json").write_text("{}")
    data = document(fmt, [DIALOGUE[n % 6 : n % 6 + n % 3] or ["[MUSIC]"] for n in range(cues)], "\r\n").encode()
    try:
        rewritten = rewrite_bytes(data, fmt, RULE_SETS[rules])
    except RuntimeError as error:
        assert (fmt, rules) == ("srt", "timing line") and "cue 1 " in str(error)
        return
    read = READERS[fmt, reader]
    before, after = read(data, tmp_path), read(rewritten, tmp_path)
    assert len(after) == len(before) == cues
    assert [timing for timing, _ in after] == [timing for timing, _ in before]
    if after[0][1] is not None:
        assert [text for _, text in after] == list(export_texts(rewritten, fmt, NO_RULES).values())


T1, T2 = timing("srt", 1), timing("srt", 2)
V1, V2 = timing("vtt", 1), timing("vtt", 2)
ASS_LINE = ASS_HEAD.format(e="\r\n") + "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,We went in and out\r\n"


@pytest.mark.parametrize(
    "fmt, data, rules, written",
    [
        ("vtt", f"WEBVTT\n\n{V1}\n[MUSIC]\nHello there.\n", {r"\[[^\]]*\]": ""}, f"WEBVTT\n\n{V1}\nHello there.\n"),
        ("vtt", f"WEBVTT\n\n{V1}\nHi\n\n{V2}\nB\n", {"Hi": ""}, f"WEBVTT\n\n{V1}\n\n\n{V2}\nB\n"),
        ("vtt", f"WEBVTT\n\n{V1}\nHi -> there\n", {"-": "--"}, f"WEBVTT\n\n{V1}\nHi --&gt; there\n"),
        ("ass", ASS_LINE, {" and ": "\n"}, ASS_LINE.replace(" and ", "\\N")),
        ("ass", ASS_LINE, {"^": "\r\n"}, ASS_LINE.replace(",,We", ",,\\NWe")),
        (
            "srt",
            f"1\r\n{T1}\r\n[MUSIC]\r\nHello.\r\n\r\n2\r\n{T2}\r\nB",
            {r"\[[^\]]*\]": ""},
            f"1\r\n{T1}\r\nHello.\r\n\r\n2\r\n{T2}\r\nB",
        ),
        ("srt", f"1\n{T1}\na\r\nb\rc\nd\n", {"a": "A"}, f"1\n{T1}\nA\r\nb\rc\nd\n"),
        ("srt", f"1\n{T1}\na\r\nb\rc\n", {"b": "b\nx\ny"}, f"1\n{T1}\na\r\nb\rx\ny\nc\n"),
        ("srt", f"1\n{T1}\na\r\nb\rc\n", {"b\\n": ""}, f"1\n{T1}\na\r\nc\n"),
        ("srt", f"1\n{T1}\nA\n\n2\n{T2}\nB\n", {"A": ""}, f"1\n{T1}\n\n2\n{T2}\nB\n"),
        ("srt", f"1\n{T1}\nA\n\n2\n{T2}\nB\n", {"^A$": "5"}, f"1\n{T1}\n5\n\n2\n{T2}\nB\n"),
    ],
)
def test_written_forms(fmt, data, rules, written):
    rewritten = rewrite_bytes(data.encode(), fmt, WordList(rules))
    assert rewritten == written.encode()
    assert len(export_texts(rewritten, fmt, NO_RULES)) == len(export_texts(data.encode(), fmt, NO_RULES))


@pytest.mark.parametrize(
    "data, text",
    [
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", T2),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", f"7\n{T2}"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", "7 \n--> later"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", "8\n00:00:09,000 - > 00:00:10,000"),
        (f"1\n{T1}\nA\n\n2\n{T2}\n\nB\n", "--> 00:00:09,000"),  # a timing line where a paragraph starts
        (f"1\n{T1}\nA\n\n2\n{T2}\n\nB\n", "5"),  # a lone number that ends the file
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n\n{T1}\nC\n", "5"),  # the number of the cue after it
    ],
)
def test_a_subrip_line_that_would_open_a_cue_is_refused(data, text, tmp_path):
    (tmp_path / "a.srt").write_text(data, encoding="utf-8")
    with pytest.raises(RuntimeError, match="cue 2 holds a line that SubRip readers would take for the start of a cue"):
        rewrite(tmp_path / "a.srt", WordList({"^B$": text}))
    assert [path.name for path in tmp_path.iterdir()] == ["a.srt"]


def test_the_modules_ass_rewrite_writes_line_breaks_as_ass_does(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "a.ass").write_text(ASS_LINE, encoding="utf-8", newline="")
    (tmp_path / "words.json").write_text(json.dumps({" and ": "\n"}), encoding="utf-8")
    assert (tmp_path / modify_subs.overwrite_subs("a.ass", "words.json")).read_bytes() == rewrite_bytes(
        ASS_LINE.encode(), "ass", WordList({" and ": "\n"})
    )
    # The export holds the text as rewritten.
    assert json.loads((tmp_path / modify_subs.modify_subs_py("a.ass", "words.json")).read_text()) == {
        "1": "We went in\nout"
    }


@pytest.mark.parametrize(
    "data, texts",
    [
        (f"WEBVTT\n\nNOTE\nsee the readme --> v2\nthe rest of the note\n\n{V1}\nA\n\n{V2}\nB\n", ["A", "B"]),
        (f"WEBVTT\n\n{V1}\nA\nB\nC --> D\nE\n\n{V2}\nF\n", ["A\nB", "F"]),
        (f"WEBVTT\n\n{V1}\nA\n{V2}\nB\n", ["A", "B"]),
        ("WEBVTT\n\n00:01 --> 00:02\nA\n\n1:02:03.000 --> 1:02:04.000\nB\n", ["B"]),
        (f"WEBVTT\nKind: captions\n{V1}\nA\n\nSTYLE\n::cue {{}}\n\nREGION\nid:r\n\nid\n{V2}\nB\n", ["A", "B"]),
        (f"WEBVTT\n\nid\nbad --> timing\n{V2}\nB\n\n{V1}x\n \n", ["B", " "]),
    ],
)
def test_webvtt_blocks_are_read_as_webvtt_py_reads_them(data, texts):
    assert list(export_texts(data.encode(), "vtt", NO_RULES).values()) == texts == webvtt_texts(data.encode())
    # NOTE, STYLE and REGION blocks are never rewritten.
    rewritten = rewrite_bytes(data.encode(), "vtt", WordList({"[a-z]": "x"}))
    assert all(block in rewritten.decode() for block in re.findall(r"(?:NOTE|STYLE|REGION)\n[^\n]*", data))


SUBRIP = f"1\n{T1}\nTest text.\n"
ASS_SCRIPT = ASS_LINE.replace("\r\n", "\n")


@pytest.mark.parametrize(
    "name, content, fmt",
    [
        ("a.srt", f"WEBVTT\n\n{V1}\nTest text.\n", "vtt"),
        ("a.ass", f"\ufeffWEBVTT\n\n{V1}\nTest text.\n", "vtt"),
        ("a.srt", ASS_SCRIPT, "ass"),
        ("a.vtt", "\n" + ASS_SCRIPT.replace("[Script Info]", "[script info]"), "ass"),
        ("a.srt", SUBRIP, "srt"),
        ("a.vtt", f"WEBVTT\n\n{V1}\nTest text.\n", "vtt"),
    ],
)
def test_files_are_read_as_what_they_hold(name, content, fmt, tmp_path, monkeypatch):
    (tmp_path / name).write_text(content, encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps({"e": "ee"}), encoding="utf-8")
    result = rewrite(tmp_path / name, WordList({"e": "ee"}))
    assert (result.format, result.output.name) == (fmt, f"[Quorvanted] {name}")
    written = content.replace("Test text.", "Teest teext.").replace("We went in and out", "Wee weent in and out")
    assert result.output.read_text(encoding="utf-8") == written
    run = quorvant("preview", name, "-w", "words.json", "--json", cwd=tmp_path)
    assert json.loads(run.stdout)["files"][0]["format"] == fmt
    assert f", {fmt}, utf-8" in quorvant("rewrite", name, "-w", "words.json", "-v", cwd=tmp_path).stdout
    if name == "a.srt" and fmt == "vtt":  # the module still reads by the name alone
        monkeypatch.chdir(tmp_path)
        assert "WeeBVTT" in (tmp_path / modify_subs.overwrite_subs(name, "words.json")).read_text()


@pytest.mark.parametrize(
    "data, texts",
    [
        (f"1\n{T1}\nA\n\n2\u00a0\n{T2}\nB\n".encode(), {"1": "A", "2": "B"}),
        (f"1\n{T1}\nA\n\n\u20033\u00a0\u3000\n{T2}\nB\n".encode(), {"1": "A", "3": "B"}),
        (f"1\n{T1}\nA\n\n1\n{T2}\nB\n\n1\n{T2}\nC\n".encode(), {"1": "A", "1#2": "B", "1#3": "C"}),
        (f"1\n{T1}\nA".encode() + b"\xff\xe3\x81 b\xed\xa0\x80\n", {"1": "A\ufffd\ufffd\ufffd b\ufffd\ufffd\ufffd"}),
    ],
)
def test_small_reading_fixes(data, texts, tmp_path):
    assert export_texts(data, "srt", NO_RULES, encoding="utf-8") == texts
    (tmp_path / "a.srt").write_bytes(data)
    words = WordList({"A": "a"})
    exported = export(tmp_path / "a.srt", words, encoding="utf-8").output.read_text(encoding="utf-8")
    assert export_texts(data, "srt", words, encoding="utf-8") == json.loads(exported)
    changes = preview(tmp_path / "a.srt", words, encoding="utf-8").changes
    assert [after for _, _, after in changes] == [text for text in json.loads(exported).values() if "a" in text]
    # A rule that joins lines can't glue a cue number into the dialogue.
    joined = rewrite_bytes(data, "srt", WordList({r"\n": " "}), encoding="utf-8")
    assert len(export_texts(joined, "srt", NO_RULES, encoding="utf-8")) == len(texts)


@pytest.mark.parametrize(
    "fmt_line, texts",
    [
        ("Layer, Start, End, Style, Text, Name", {"1": "Hello, world,X"}),
        (" layer,start , end,style,  TEXT  ,Name", {"1": "Hello, world,X"}),
        ("Text, Layer", {"1": "0,0:00:01.00,0:00:02.00,Default,Hello, world,X"}),
        ("Layer, Start, End, Style, Name", None),
    ],
)
def test_the_ass_text_field_is_where_the_format_line_puts_text(fmt_line, texts, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    script = f"[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: {fmt_line}\n"
    script += "Dialogue: 0,0:00:01.00,0:00:02.00,Default,Hello, world,X\n"
    (tmp_path / "a.ass").write_text(script, encoding="utf-8")
    (tmp_path / "words.json").write_text("{}", encoding="utf-8")
    assert json.loads((tmp_path / modify_subs.modify_subs_py("a.ass", "words.json")).read_text()) == texts
    assert export_texts(script.encode(), "ass", NO_RULES) == (texts or {})


def test_preview_shows_control_characters_as_escapes_on_a_terminal(tmp_path):
    (tmp_path / "a.srt").write_text(f"1\n{T1}\nTitle\x1b]0;pwned\x07 \x9b2J\tok\n", encoding="utf-8")
    (tmp_path / "words.json").write_text(json.dumps({"ok": "OK"}), encoding="utf-8")
    leader, follower = pty.openpty()
    command = [sys.executable, "-m", "c_quorvant", "preview", "a.srt", "-w", "words.json", "--color", "never"]
    subprocess.run(command, cwd=tmp_path, stdout=follower, timeout=60, check=True)
    os.close(follower)
    chunks = []
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # the terminal closed
            break
        if not chunk:
            break
        chunks.append(chunk)
    os.close(leader)
    shown = b"".join(chunks).decode()
    assert "Title\\x1b]0;pwned\\x07 \\x9b2J\tOK" in shown and "\x1b" not in shown and "\x9b" not in shown
    as_json = quorvant("preview", "a.srt", "-w", "words.json", "--json", cwd=tmp_path).stdout
    assert "\\u001b]0;pwned\\u0007" in as_json
