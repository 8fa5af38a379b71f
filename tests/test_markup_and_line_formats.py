"""SAMI, TTML, MicroDVD and MPL2: files read as their peers read them, and written
back byte for byte but for the texts the rules change, in forms the peers read back."""

import re
import shutil
import subprocess
import sys
import warnings

import pycaption
import pysubs2
import pytest
from conftest import DATA_DIR, quorvant
from hypothesis import given, settings
from hypothesis import strategies as st

from c_quorvant import SubtitleFileError, WordList, export_texts, formats, preview, rewrite, rewrite_bytes

NO_RULES = WordList({})
SAMI_HEAD = (
    '<SAMI>{e}<HEAD>{e}<STYLE TYPE="text/css">{e}<!--{e}P {{ margin-left:8pt; }}{e}'
    ".KRCC {{ Name:Korean; lang:ko-KR; SAMIType:CC; }}{e}-->{e}</STYLE>{e}</HEAD>{e}<BODY>{e}"
)
TTML_HEAD = (
    '<?xml version="1.0" encoding="UTF-8"?>{e}<tt xmlns="http://www.w3.org/ns/ttml" xml:lang="en">{e}<body><div>{e}'
)


def sami(cues, end="\n"):
    rows = (f"<SYNC Start={n * 1000 + 500}><P Class=KRCC>{'<br>'.join(lines)}{end}" for n, lines in enumerate(cues))
    return SAMI_HEAD.format(e=end) + "".join(rows) + f"</BODY>{end}</SAMI>{end}"


def ttml(cues, end="\n"):
    rows = (f'<p begin="{n}.0s" end="{n}.5s">{"<br/>".join(lines)}</p>{end}' for n, lines in enumerate(cues))
    return TTML_HEAD.format(e=end) + "".join(rows) + f"</div></body>{end}</tt>{end}"


def microdvd(cues, end="\n"):
    return f"{{1}}{{1}}25{end}" + "".join(
        f"{{{n * 50 + 1}}}{{{n * 50 + 40}}}{'|'.join(c)}{end}" for n, c in enumerate(cues)
    )


def mpl2(cues, end="\n"):
    return "".join(f"[{n * 20}][{n * 20 + 15}]{'|'.join(c)}{end}" for n, c in enumerate(cues))


DOCUMENTS = {"sami": sami, "ttml": ttml, "microdvd": microdvd, "mpl2": mpl2}


def _sami_cue(text, end="\r\n"):
    return (
        SAMI_HEAD + "<SYNC Start=1000><P Class=KRCC>" + text + "{e}<SYNC Start=2000><P Class=KRCC>&nbsp;{e}"
    ).format(e=end)


def _ttml_cue(text, prefix="", end="\n"):
    head = TTML_HEAD.replace("<tt xmlns=", f"<{prefix}tt xmlns:{prefix[:-1]}=" if prefix else "<tt xmlns=")
    p = f'<{prefix}p begin="1s" end="2s">{text}</{prefix}p>'
    return (
        head.replace("<body><div>", f"<{prefix}body><{prefix}div>").format(e=end)
        + p
        + end
        + (f"</{prefix}div></{prefix}body>{end}</{prefix}tt>{end}")
    )


@pytest.mark.parametrize(
    "fmt, before, rules, protect, after",
    [
        # SAMI: <br> for a line break, '&', '<' and '>' escaped, the paragraph's own breaks reused.
        ("sami", _sami_cue("one, two"), {", ": "\n"}, False, _sami_cue("one<br>two")),
        ("sami", _sami_cue("Tom &amp; Jerry"), {"&": "and", "m": "<3>"}, False, _sami_cue("To&lt;3&gt; and Jerry")),
        ("sami", _sami_cue("one<BR>\r\ntwo"), {"o": "0\n"}, False, _sami_cue("0<BR>\r\nne<br>tw0<br>")),
        ("sami", _sami_cue("a&nbsp;b c"), {"c": "d"}, False, _sami_cue("a&nbsp;b d")),
        # A blank after a reused break would join the layout after its tag: the layout is left out.
        ("sami", _sami_cue("a<br>\r\nb"), {"b": " c"}, False, _sami_cue("a<br> c")),
        ("sami", _sami_cue("a<br>\r\nb<br>\r\nc"), {"c": "\td"}, False, _sami_cue("a<br>\r\nb<br>\td")),
        (
            "sami",
            _sami_cue("<font color=red>red</font>"),
            {"red": "blue"},
            True,
            _sami_cue("<font color=red>blue</font>"),
        ),
        (
            "sami",
            _sami_cue("<FONT color=red>red</FONT>"),
            {"red": "blue"},
            False,
            _sami_cue("<FONT color=blue>blue</FONT>"),
        ),
        # A clear cue is no text: a rule that fills empty texts leaves it.
        ("sami", _sami_cue("x"), {"^$": "filled", "\u00a0": "y"}, False, _sami_cue("x")),
        # Markup a rule writes that would end the cue, or a line break tag, is written as text.
        (
            "sami",
            _sami_cue("a<i>b</i>"),
            {"a": "<P>", "b": "<i>&eacute;<br>"},
            True,
            _sami_cue("&lt;P&gt;<i><i>&eacute;&lt;br&gt;</i>"),
        ),
        (
            "sami",
            _sami_cue("a b"),
            {"a": "<!-- c", "b": "&eacute;<br>"},
            False,
            _sami_cue("&lt;!-- c &eacute;&lt;br&gt;"),
        ),
        # TTML: <br/> (with the paragraph's prefix), references decoded for the rules and escaped back.
        ("ttml", _ttml_cue("one, two"), {", ": "\n"}, False, _ttml_cue("one<br/>two")),
        ("ttml", _ttml_cue("one, two", "tt:"), {", ": "\n"}, False, _ttml_cue("one<tt:br/>two", "tt:")),
        ("ttml", _ttml_cue("a &amp; b &#233;"), {"&": "<&>", "\u00e9": "e"}, False, _ttml_cue("a &lt;&amp;&gt; b e")),
        ("ttml", _ttml_cue("\n  one<br/>\n  two\n"), {"o": "0"}, False, _ttml_cue("\n  0ne<br/>\n  tw0\n")),
        ("ttml", _ttml_cue("a\n  b"), {"b": "c"}, False, _ttml_cue("a c")),
        ("ttml", _ttml_cue("a<br/>\n  b"), {"b": " c"}, False, _ttml_cue("a<br/> c")),
        (
            "ttml",
            _ttml_cue('<span tts:fontStyle="italic">italic</span>'),
            {"italic": "bold"},
            True,
            _ttml_cue('<span tts:fontStyle="italic">bold</span>'),
        ),
        ("ttml", _ttml_cue("a &lt;b&gt;"), {"a": "</p><p>"}, True, _ttml_cue("&lt;/p&gt;&lt;p&gt; &lt;b&gt;")),
        ("ttml", _ttml_cue("<span>a</span>"), {"(<span>)a(</span>)": "$2a$1"}, False, "paragraph 1 holds markup"),
        # MicroDVD and MPL2: '|' for a line break, and no way to write a rule's own '|'.
        (
            "microdvd",
            "{1}{1}23.976\r\n{10}{20}one, two\r\n",
            {", ": "\n"},
            False,
            "{1}{1}23.976\r\n{10}{20}one|two\r\n",
        ),
        ("microdvd", "{10}{20}{y:i}one\n", {"y": "z", "one": "two"}, True, "{10}{20}{y:i}two\n"),
        ("microdvd", "{10}{20}a|b\n", {r"\n": " "}, False, "{10}{20}a b\n"),
        ("microdvd", "{10}{20}a b\n", {" ": "|"}, False, "cue 1 holds a '|'"),
        ("mpl2", "[10][20]/one|two\n", {"^/": "", "o": "0"}, True, "[10][20]/0ne|tw0\n"),
        ("mpl2", "[10][20]one, two\n", {", ": "\r\n"}, False, "[10][20]one|two\n"),
        ("mpl2", "[10][20]a b\n", {"a": "|"}, False, "cue 1 holds a '|'"),
    ],
)
def test_written_forms(fmt, before, rules, protect, after):
    data = before.encode()
    assert rewrite_bytes(data, fmt, NO_RULES) == data
    if after.startswith(("cue ", "paragraph ")):
        with pytest.raises(RuntimeError, match=re.escape(after)):
            rewrite_bytes(data, fmt, WordList(rules), protect_tags=protect)
        return
    rewritten = rewrite_bytes(data, fmt, WordList(rules), protect_tags=protect)
    assert rewritten == after.encode()
    expected = export_texts(data, fmt, WordList(rules), protect_tags=protect)
    assert export_texts(rewritten, fmt, NO_RULES) == {key: text.replace("\r\n", "\n") for key, text in expected.items()}


@pytest.mark.parametrize(
    "fmt, data, texts",
    [
        # Upper and lower case, unquoted attributes, no </P> or </SYNC>, two languages of one block.
        (
            "sami",
            "<sami><body><Sync start=1><p class=KRCC>가<P CLASS=ENCC>a</p></sync><SYNC Start=2>b<SYNC Start=3>",
            {"1": "가", "1#2": "a", "2": "b"},
        ),
        ("sami", "<SAMI><BODY><SYNC Start=1><P>x < y & z<br/>w</BODY>", {"1": "x < y & z\nw"}),
        (
            "ttml",
            '<tt xmlns="http://www.w3.org/ns/ttml"><body><div>'
            "<p>a<!-- c -->b<![CDATA[<i>]]></p><p/><p>c</p></div></body></tt>",
            {"1": "a<!-- c -->b<![CDATA[<i>]]>", "3": "c"},
        ),
        ("ttml", '<tt><body><p xml:space="preserve">a\r\n b</p></body></tt>', {"1": "a\n b"}),
        ("microdvd", "\ufeff{1}{1}25\n{1}{}open end\nnot a cue\n{5}{9}\n", {"1": "open end", "2": ""}),
        ("mpl2", "[1][5]a|b\r\n\r\n[6][9]/c\r\n", {"1": "a\nb", "2": "/c"}),
    ],
)
def test_texts_as_read(fmt, data, texts):
    assert export_texts(data.encode(), fmt, NO_RULES) == texts
    assert rewrite_bytes(data.encode(), fmt, NO_RULES) == data.encode()


@pytest.mark.parametrize(
    "fmt, data, message",
    [
        ("sami", "<html><body>hello</body></html>", "not a SAMI file: no <SAMI> or <SYNC> tag found"),
        ("ttml", "<html><body/></html>", "not a TTML file: the root element is <html>, not <tt>"),
        ("ttml", "<tt>\n<p>a</tt>", "not a well-formed TTML file: mismatched tag at line 2, column 7"),
        ("ttml", "", "not a well-formed TTML file: no element found at line 1, column 1"),
        ("microdvd", "hello\nworld\n", "not a MicroDVD file: no {start}{end} line found"),
        ("mpl2", "1\n00:00:01,000 --> 00:00:02,000\nx\n", "not a MPL2 file: no [start][end] line found"),
    ],
)
def test_files_their_reader_refuses(fmt, data, message):
    with pytest.raises(SubtitleFileError, match=re.escape(message)):
        rewrite_bytes(data.encode(), fmt, NO_RULES)


@pytest.mark.parametrize(
    "sample, fmt, rules, changed",
    [
        ("y_korean-cp949-crlf.smi", "sami", {"선생님": "교수님", "Busy": "Working"}, 2),
        ("y_french-latin1-prefixed.ttml", "ttml", {"Amélie": "Émilie", "maintenant": "bientôt"}, 2),
        ("y_mpl2-codes-crlf.txt", "mpl2", {"Tyrells": "Tyrell family"}, 3),
    ],
)
def test_samples_keep_their_encoding_and_every_byte_but_the_changed_texts(sample, fmt, rules, changed, workdir):
    shutil.copy(DATA_DIR / sample, workdir / sample)
    assert rewrite(sample, NO_RULES, "same").format == fmt
    assert (workdir / "same").read_bytes() == (workdir / sample).read_bytes()

    result = rewrite(sample, WordList(rules), "out")
    found = preview(sample, WordList(rules))

    assert (result.format, result.changed, len(found.changes)) == (fmt, changed, changed)
    before, after = (workdir / sample).read_bytes(), (workdir / "out").read_bytes()
    codec = result.encoding or "utf-8"
    for old, new in rules.items():
        assert old.encode(codec) in before
        before = before.replace(old.encode(codec), new.encode(codec))
    assert after == before


def test_a_sami_file_in_cp949_is_read_as_korean(workdir):
    shutil.copy(DATA_DIR / "y_korean-cp949-crlf.smi", workdir / "ep.smi")
    data = (workdir / "ep.smi").read_bytes()
    texts = export_texts(data, "sami", NO_RULES)
    assert texts == {
        "1": "안녕하세요, 선생님.\n오늘도 바쁘시네요?",
        "1#2": "Hello, teacher.\nBusy again today?",
        "3": '<font color="#ffff00">[음악]</font> 톰 & 제리',
    }
    # The detector's guess is kept by the rewrite: a cp1252 reading would not be.
    assert rewrite("ep.smi", WordList({"제리": "제리!"}), "out").encoding == "cp949"


@pytest.mark.parametrize(
    "name, content, fmt",
    [
        ("ep.smi", b"", "sami"),
        ("EP.SAMI", b"", "sami"),
        ("ep.dfxp", b"", "ttml"),
        ("ep.ttml", b"", "ttml"),
        ("ep.sub", b"{1}{2}a\n", "microdvd"),
        ("ep.xml", b'<?xml version="1.0"?>\n<!-- c -->\n<tt:tt xmlns:tt="x"/>', "ttml"),
        ("ep.xml", b'<?xml version="1.0"?><html/>', None),
        ("ep.xml", b"<ttx/>", None),
        ("ep.txt", b"[1][20]a\n[30][40]b|c\n", "mpl2"),
        ("ep.txt", b"[1][20]a\nthen prose\n", None),
        ("ep.txt", b"notes\n", None),
        ("ep.srt.sami", b"", "sami"),
    ],
)
def test_files_are_known_by_ending_and_content(name, content, fmt, tmp_path):
    (tmp_path / name).write_bytes(content)
    assert formats.format_of(tmp_path / name) == fmt
    assert formats.is_subtitle(str(tmp_path / name)) == (fmt is not None)


@pytest.mark.parametrize("beside, content", [(".idx", b"{1}{2}a\n"), (None, b"\x00\x00\x01\xba\x44\x00\x04")])
def test_a_vobsub_sub_is_refused_as_an_image_subtitle(beside, content, workdir):
    (workdir / "ep.sub").write_bytes(content)
    if beside:
        (workdir / "ep.idx").write_text("# VobSub index file, v7\n")
    with pytest.raises(SubtitleFileError, match="an image subtitle"):
        rewrite("ep.sub", NO_RULES)


def test_the_command_line_takes_the_four_formats_from_folders_and_standard_input(workdir, write_words):
    words = write_words({"o": "0"})
    (workdir / "in").mkdir()
    for fmt, build in DOCUMENTS.items():
        (workdir / "in" / f"ep{formats.FORMAT_ENDINGS[fmt]}").write_text(build([["one", "two"]]))
    (workdir / "in" / "notes.txt").write_text("not subtitles\n")

    ran = quorvant("rewrite", "-w", words, "-o", "out", "in", cwd=workdir)

    assert ran.returncode == 0, ran.stderr
    written = {path.name: path.read_text() for path in (workdir / "out").iterdir()}
    assert sorted(written) == sorted(f"[Quorvanted] ep{formats.FORMAT_ENDINGS[f]}" for f in DOCUMENTS)
    assert "0ne|tw0" in written["[Quorvanted] ep.sub"] and "0ne<br/>tw0" in written["[Quorvanted] ep.ttml"]
    piped = subprocess.run(
        [sys.executable, "-m", "c_quorvant", "rewrite", "-w", words, "--format", "sami", "-"],
        input=sami([["one"]]).encode(),
        capture_output=True,
        cwd=workdir,
        timeout=120,
    )
    assert piped.stdout.decode() == sami([["0ne"]]), piped.stderr


# Rules that add, empty and join lines, and write what the formats escape or can't write.
RULE_SETS = {
    "split lines": {" ": "\n"},
    "empty lines": {"^": "\n\n", "$": "\r\n \r"},
    "join lines": {r"\s*\n\s*": " "},
    "escapes": {"a": "&<", "e": " & "},
    "bar": {"b": "|"},
    "delete everything": {r"[\s\S]+": ""},
    "sound tags": {r"\[[^\]]*\]": ""},
}
LINE = st.text(alphabet="abe &<[]", min_size=1, max_size=10).map(lambda text: " ".join(text.split()))
TAGS = {"sami": ("<i>", "</i>"), "ttml": ("<span>", "</span>"), "microdvd": ("{y:i}", ""), "mpl2": ("/", "")}


def _markup(fmt, line, tagged):
    escaped = line.replace("&", "&amp;").replace("<", "&lt;") if fmt in ("sami", "ttml") else line
    return TAGS[fmt][0] + escaped + TAGS[fmt][1] if tagged else escaped


@st.composite
def documents(draw):
    fmt = draw(st.sampled_from(sorted(DOCUMENTS)))
    line = st.tuples(LINE.filter(bool), st.booleans()).map(lambda drawn: _markup(fmt, *drawn))
    cues = draw(st.lists(st.lists(line, min_size=1, max_size=3), min_size=1, max_size=8))
    return fmt, DOCUMENTS[fmt](cues, draw(st.sampled_from(["\n", "\r\n"]))).encode()


def _plain(fmt, text):
    """A text as its peer shows it: tags gone, blanks of HTML and XML collapsed."""
    if fmt in ("sami", "ttml"):
        text = re.sub(r"<[^<>]*>", "", text)
        return "\n".join(" ".join(line.replace("\u00a0", " ").split()) for line in text.split("\n")).strip()
    text = re.sub(r"\{[^}]*\}", "", text)
    return "\n".join((line.lstrip("/") if fmt == "mpl2" else line).strip() for line in text.split("\n"))


def _peer_texts(fmt, data):
    # pysubs2 warns of a cue without text, pycaption of reading XML with an HTML parser.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        if fmt in ("microdvd", "mpl2"):
            return [event.plaintext for event in pysubs2.SSAFile.from_string(data.decode(), format_=fmt)]
        reader = pycaption.SAMIReader() if fmt == "sami" else pycaption.DFXPReader()
        try:
            captions = reader.read(data.decode())
        except pycaption.exceptions.CaptionReadNoCaptions:
            return []
    return [caption.get_text() for lang in captions.get_languages() for caption in captions.get_captions(lang)]


@settings(max_examples=300, deadline=None)
@given(doc=documents(), rules=st.sampled_from(sorted(RULE_SETS)))
def test_a_rewrite_reads_back_as_its_texts_in_our_reader_and_the_peers(doc, rules):
    fmt, data = doc
    words = WordList(RULE_SETS[rules])
    expected = export_texts(data, fmt, words, protect_tags=True)
    try:
        rewritten = rewrite_bytes(data, fmt, words, protect_tags=True)
    except RuntimeError as error:
        assert fmt in ("microdvd", "mpl2") and "holds a '|'" in str(error)
        assert any("|" in text for text in expected.values())
        return
    # A SAMI paragraph a rule empties reads as a clear cue: no text.
    if fmt == "sami":
        expected = {key: text for key, text in expected.items() if text.replace("\u00a0", " ").strip()}
    expected = {key: re.sub(r"\r\n?", "\n", text) for key, text in expected.items()}
    assert export_texts(rewritten, fmt, NO_RULES) == expected
    peer = [_plain(fmt, text) for text in _peer_texts(fmt, rewritten)]
    mine = [_plain(fmt, text) for text in expected.values()]
    # The peers leave out the captions that show nothing.
    peer, mine = [text for text in peer if text], [text for text in mine if text]
    assert peer == mine
