import json
import multiprocessing
import os
import pickle
import re
import threading
from concurrent.futures import ProcessPoolExecutor

import pytest
from conftest import DATA_DIR, run_python

from c_quorvant import (
    SubtitleFileError,
    UnwritableTextError,
    WordList,
    WordListError,
    export,
    export_texts,
    preview,
    rewrite,
    rewrite_bytes,
)

MODES = [(False, False), (True, False), (False, True), (True, True)]  # (protect_tags, unicode)

# (rules, tags, text, expected in each of MODES)
TEXTS = [
    ({"[、。]": ""}, "ass", "はい、", ["\udcaf\udc84", "\udcaf\udc84", "はい", "はい"]),
    ({"(\\w+)さん": "$1"}, "ass", "田中さん", ["田中さん", "田中さん", "田中", "田中"]),
    ({"é": "e"}, "ass", "É é", ["É e", "É e", "e e", "e e"]),
    ({"(\\w+)\\s+\\?": "$1?"}, "ass", "Quoi\u00a0?", ["Quoi\u00a0?", "Quoi\u00a0?", "Quoi?", "Quoi?"]),
    (
        {"\\bsenpai\\b": "Sensei"},
        "ass",
        "Yui-chan.\\NSenpai",
        ["Yui-chan.\\NSenpai", "Yui-chan.\\NSensei", "Yui-chan.\\NSenpai", "Yui-chan.\\NSensei"],
    ),
    ({"pos": "X"}, "ass", "{\\pos(640,60)}pos", ["{\\X(640,60)}X", "{\\pos(640,60)}X"] * 2),
    ({"^senpai$": "Sensei"}, "ass", "{\\i1}senpai{\\i0}", ["{\\i1}senpai{\\i0}", "{\\i1}Sensei{\\i0}"] * 2),
    # A match never spans a protected piece.
    ({"a\\{[^}]*\\}b": "X"}, "ass", "a{\\i1}b", ["X", "a{\\i1}b"] * 2),
    ({"m 0": "n 1"}, "ass", "{\\p1}m 0 0{\\p0}m 0", ["{\\p1}n 1 0{\\p0}n 1", "{\\p1}m 0 0{\\p0}n 1"] * 2),
    ({"i": "I"}, "srt", "<i>hi</i>", ["<I>hI</I>", "<i>hI</i>"] * 2),
    (
        {"Tanaka-san": "Tanaka"},
        "srt",
        '<font color="red">Tanaka</font>-san',
        ['<font color="red">Tanaka</font>-san'] * 4,
    ),
]


@pytest.mark.parametrize("rules, tags, text, expected", TEXTS)
def test_apply_in_every_mode(rules, tags, text, expected):
    words = WordList(rules)
    got = [words.apply(text, protect_tags=protect and tags, unicode=unicode) for protect, unicode in MODES]
    assert got == expected


def _protected_pieces(line):
    """The override blocks, escapes and drawings of an ASS line, in order."""
    pieces, drawing = [], False
    for piece in re.split(r"(\{[^}]*\}|\\[Nnh])", line):
        if piece.startswith("{") or re.fullmatch(r"\\[Nnh]", piece) or drawing:
            pieces.append(piece)
        scales = re.findall(r"\\p(\d+)", piece) if piece.startswith("{") else []
        drawing = int(scales[-1]) > 0 if scales else drawing
    return pieces


@pytest.mark.parametrize(
    "name",
    ["y_ass-format-tests.ass", "y_bleach-mon-ed-kara-templates.ass", "y_elfen-lied-op.ass", "y_haruhi-01-pt.ass"],
)
def test_protected_tags_come_out_byte_identical(name, tmp_path):
    words = WordList({"pos": "[pos]", "fad": "[fad]", "N": "[N]", "i": "[i]"})
    result = rewrite(DATA_DIR / name, words, tmp_path / name, protect_tags=True)
    before = (DATA_DIR / name).read_bytes().decode("utf-8", "surrogateescape").splitlines()
    after = result.output.read_bytes().decode("utf-8", "surrogateescape").splitlines()
    assert result.changed > 0 and len(before) == len(after)
    assert [_protected_pieces(line) for line in after] == [_protected_pieces(line) for line in before]
    assert "[i]" in "".join(after)


THREADS = """
import os, threading
from c_quorvant import WordList, rewrite
os.chdir({directory!r})
words = WordList({{"san": "kun"}})
cue = b"1\\n00:00:01,000 --> 00:00:02,000\\nTanaka-san\\n"
for name in ("a.srt", "b.srt"):
    os.mkfifo(name)
workers = {{name: threading.Thread(target=rewrite, args=(name, words)) for name in ("a.srt", "b.srt")}}
for worker in workers.values():
    worker.start()
# Each call waits in native code for its file to be written: the other call and this
# thread can go on only if the calls let the interpreter lock go.
with open("b.srt", "wb") as fifo:
    fifo.write(cue)
workers["b.srt"].join()
print(workers["a.srt"].is_alive())
with open("a.srt", "wb") as fifo:
    fifo.write(cue)
workers["a.srt"].join()
print(open("[Quorvanted] a.srt", "rb").read() == cue.replace(b"san", b"kun"))
"""


def test_two_rewrites_run_at_once(tmp_path):
    finished = run_python(THREADS.format(directory=str(tmp_path)))
    assert (finished.returncode, finished.stdout, finished.stderr) == (0, "True\nTrue\n", "")


MISSING = "No such file or directory"


# (what is called, the error, its attributes)
def _errors(tmp_path):
    (tmp_path / "bad.json").write_text("{", encoding="utf-8")
    (tmp_path / "empty.ass").write_bytes(b"")
    (tmp_path / "notes.txt").write_text("notes", encoding="utf-8")
    (tmp_path / "folder.srt").mkdir()
    (tmp_path / "x.srt").write_bytes(CUE)
    (tmp_path / "link.srt").symlink_to("x.srt")
    words = WordList({"hi": "ho"})
    x, refused = tmp_path / "x.srt", "the output is the input file; refusing to write over it"

    def file(name, reason):
        return {"path": str(tmp_path / name), "reason": reason}

    return [
        (lambda: WordList({"(": ""}), WordListError, {"pattern": "("}),
        (lambda: WordList({"[a-é]": ""}).apply("é"), WordListError, {"pattern": "[a-é]"}),
        (lambda: WordList.load(tmp_path / "bad.json"), WordListError, {"pattern": None}),
        (lambda: WordList({"a": float("nan")}), WordListError, {"pattern": "a"}),
        (lambda: WordList.load(tmp_path / "none.json"), FileNotFoundError, {"filename": str(tmp_path / "none.json")}),
        (lambda: words.apply("hi", protect_tags="html"), ValueError, {}),
        (lambda: words.apply_many(["hi"], protect_tags=["ass"]), ValueError, {}),
        (lambda: rewrite(x, words, tmp_path / "y.srt", protect_tags="ass"), ValueError, {}),
        # A missing file reads the same whatever its format and pass.
        (lambda: rewrite(tmp_path / "none.srt", words), SubtitleFileError, file("none.srt", MISSING)),
        (lambda: rewrite(tmp_path / "none.ass", words), SubtitleFileError, file("none.ass", MISSING)),
        (lambda: export(str(tmp_path / "none.ass"), words), SubtitleFileError, file("none.ass", MISSING)),
        (
            lambda: export(os.fsencode(tmp_path / "none.srt"), words),
            SubtitleFileError,
            {"path": os.fsencode(tmp_path / "none.srt"), "reason": MISSING},
        ),
        (lambda: rewrite(tmp_path / "season", words), SubtitleFileError, file("season", MISSING)),
        (lambda: export(tmp_path / "folder.srt", words), SubtitleFileError, file("folder.srt", "Is a directory")),
        (
            lambda: export(tmp_path / "empty.ass", words),
            SubtitleFileError,
            file("empty.ass", "Failed to parse the ASS file."),
        ),
        (
            lambda: export(tmp_path / "notes.txt", words),
            SubtitleFileError,
            file(
                "notes.txt",
                "not an .ass, .ssa, .srt, .vtt, .smi, .sami, .ttml, .dfxp or .sub file, a TTML .xml or an MPL2 .txt",
            ),
        ),
        (lambda: export(x, words, output=x), ValueError, {"args": (f"{x}: {refused}",)}),
        (
            lambda: rewrite(x, words, output=tmp_path / "link.srt"),
            ValueError,
            {"args": (f"{x.parent}/link.srt: {refused}",)},
        ),
        (
            lambda: rewrite(x, words, tmp_path / "no" / "x.srt"),
            FileNotFoundError,
            {"filename": str(tmp_path / "no/x.srt")},
        ),
        (lambda: rewrite(x, words, tmp_path), IsADirectoryError, {"filename": str(tmp_path)}),
        (lambda: rewrite(x, {"hi": "ho"}), TypeError, {}),
        # A line SubRip readers would take for a cue's start: the text is named by its key.
        (
            lambda: rewrite_bytes(CUE, "srt", WordList({"^hi$": "hi\n\n2\n00:00:03,000 --> 00:00:04,000"})),
            UnwritableTextError,
            {"key": "1"},
        ),
    ]


CUE = b"1\n00:00:01,000 --> 00:00:02,000\nhi\n"


def test_failures_raise_travel_and_print_nothing(tmp_path, capfd):
    for call, error, attributes in _errors(tmp_path):
        with pytest.raises(error) as raised:
            call()
        assert type(raised.value) is error
        assert {name: getattr(raised.value, name) for name in attributes} == attributes
        assert all(value in str(raised.value) for value in attributes.values() if isinstance(value, str))
        # What a worker process sends its parent.
        copy = pickle.loads(pickle.dumps(raised.value))
        assert type(copy) is error and str(copy) == str(raised.value)
        assert {name: getattr(copy, name) for name in attributes} == attributes
    assert capfd.readouterr() == ("", "")
    assert (tmp_path / "x.srt").read_bytes() == CUE and (tmp_path / "link.srt").is_symlink()
    # A rule valid only character-wise is kept for that mode.
    assert WordList({"[a-é]x": "Y"}).apply("éx", unicode=True) == "Y"


LONG_TAGGED = "{" + "m 0 0 l 1 1 " * 3000 + "}Aoi"
LONG_CUE = f"1\n00:00:01,000 --> 00:00:02,000\n{LONG_TAGGED}\n".encode()
# Each face as it reads its result back: the dialogue text after the rules.
FACES = {
    "apply_many": lambda words, path: words.apply_many([LONG_TAGGED])[0],
    "rewrite_bytes": lambda words, path: rewrite_bytes(LONG_CUE, "srt", words).split(b"\n")[2].decode(),
    "export_texts": lambda words, path: export_texts(LONG_CUE, "srt", words)["1"],
    "rewrite": lambda words, path: rewrite(path, words).output.read_bytes().split(b"\n")[2].decode(),
    "export": lambda words, path: json.loads(export(path, words).output.read_text())["1"],
    "preview": lambda words, path: preview(path, words).changes[0][2],
}


@pytest.mark.parametrize("face", FACES)
def test_a_call_refused_on_a_small_thread_runs_again_on_the_large_stack(face, tmp_path):
    # The tag rule stays on std::regex, which the 512 KiB thread can't hold for this
    # text; the literal rule has already changed it when that shows, and the second
    # try starts again from the input.
    words = WordList({"\\{(.|)*?\\}": "", "Aoi": "Hana"})
    path = tmp_path / "long.srt"
    path.write_bytes(LONG_CUE)
    results = []
    threading.stack_size(512 << 10)
    try:
        worker = threading.Thread(target=lambda: results.append(FACES[face](words, path)))
        worker.start()
        worker.join()
    finally:
        threading.stack_size(0)
    assert results == ["Hana"]


def test_a_compiled_list_is_shared_pickled_and_applied_in_batches():
    words = WordList({"(\\w+)-san": "$1", "kun": "KUN"})
    texts = ["Tanaka-san!", "Taro-kun", "", "{\\i1}Aoi-san{\\i0}"]
    assert words.apply_many(iter(texts)) == [words.apply(text) for text in texts]
    assert words.apply_many(texts, protect_tags="ass")[3] == "{\\i1}Aoi{\\i0}"
    copy = pickle.loads(pickle.dumps(words))
    assert dict(copy) == dict(words) and copy.apply_many(texts) == words.apply_many(texts)
    # A thread with a small stack: the rules move to a large one instead of failing.
    threading.stack_size(256 << 10)
    try:
        results = []
        long_text = "ab" * 20000 + "c"
        worker = threading.Thread(target=lambda: results.append(WordList({"(a|b)*c": "x"}).apply(long_text)))
        worker.start()
        worker.join()
    finally:
        threading.stack_size(0)
    assert results == ["x"]


def test_a_worker_process_raises_subtitle_file_errors_whole(tmp_path):
    names = ["absent.srt", "a.srt", "b.srt", "c.srt"]
    for name in names[1:]:
        (tmp_path / name).write_bytes(CUE)
    words = WordList({"hi": "ho"})
    # The failing file goes first, so the others are still pending when its error arrives.
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        futures = [pool.submit(rewrite, tmp_path / name, words) for name in names]
        with pytest.raises(SubtitleFileError) as raised:
            futures[0].result()
        results = [future.result() for future in futures[1:]]
    assert (raised.value.path, raised.value.reason) == (str(tmp_path / "absent.srt"), MISSING)
    assert [(result.output.name, result.changed) for result in results] == [
        (f"[Quorvanted] {name}", 1) for name in names[1:]
    ]


UNREADABLE = """
import os
from c_quorvant import SubtitleFileError, WordList, export
words = WordList({{}})
# Root reads anything: give that up first.
if os.geteuid() == 0:
    os.setuid(65534)
try:
    export({path!r}, words)
except SubtitleFileError as error:
    print(error)
"""


def test_an_unreadable_file_says_permission_denied(tmp_path):
    (tmp_path / "locked.ass").write_bytes(b"")
    (tmp_path / "locked.ass").chmod(0)
    tmp_path.chmod(0o700)

    finished = run_python(UNREADABLE.format(path=str(tmp_path / "locked.ass")))

    assert (finished.stdout, finished.stderr) == (f"{tmp_path}/locked.ass: Permission denied\n", "")


# What JSON holds besides text, as Python gives it
SCALARS = {
    "int": (1, "1"),
    "float": (1.5, "1.5"),
    "huge": (1e300, "1.0000000000000001e+300"),
    "beyond int64": (10**30, "1e+30"),
    "minus zero": (-0.0, "-0.0"),
    "true": (True, "true"),
    "false": (False, "false"),
    "null": (None, ""),
}


@pytest.mark.parametrize(
    "document, refusal",
    [
        ('{"a": "b"}\n\n{"c": "d"}', "words.json: text follows the word list's JSON object at line 3, column 1"),
        ('{"a": "b"} // fine\n"c"', "words.json: text follows the word list's JSON object at line 2, column 1"),
        ('[{"a": "b"}]', "words.json: not a word list: this is a JSON array"),
        ('{"a": "b", "c": {"d": 1}}', 'words.json: the value of pattern "c" (line 1, column 12): unknown option "d"'),
        ('{"a": "b", "c": [1]}', 'words.json: the value of pattern "c" (line 1, column 12) is an array; a replacement'),
        ("1\n00:00:01,000 --> 00:00:02,000\nHi\n", "words.json: not a word list: this is no JSON value"),
        ("[Script Info]\nTitle: x\n", "words.json: not a word list: this is no JSON value"),
        ('/* kept */ {\n  "a": "b", // why\n  "c": "d",\n}\n// the end\n', None),
    ],
)
def test_a_word_list_is_one_json_object(tmp_path, document, refusal):
    (tmp_path / "words.json").write_text(document, encoding="utf-8")

    if refusal is None:
        assert dict(WordList.load(tmp_path / "words.json")) == {"a": "b", "c": "d"}
        return
    with pytest.raises(WordListError) as raised:
        WordList.load(tmp_path / "words.json")
    assert str(raised.value).startswith(str(tmp_path / refusal))


def test_word_list_values_read_as_the_json_reader_reads_them(tmp_path):
    rules = {name: value for name, (value, _) in SCALARS.items()}
    (tmp_path / "words.json").write_text(json.dumps(rules), encoding="utf-8")

    words = WordList(rules)

    assert dict(words) == {name: text for name, (_, text) in SCALARS.items()}
    assert words == WordList.load(tmp_path / "words.json")
    assert WordList({"-san": None}).apply("Tanaka-san") == "Tanaka"
    for wrong in ([], b"x"):
        with pytest.raises(TypeError):
            WordList({"a": wrong})
    # A mapping is a rule's options, which name the replacement.
    with pytest.raises(WordListError, match='pattern "a" has no "replace"'):
        WordList({"a": {}})


def test_protect_tags_true_on_a_text_alone_protects_ass_tags():
    # SubRip's <i> is text to ASS, so the rule reaches it; ASS's override block is kept.
    words = WordList({"i": "I"})
    assert words.apply("<i>hi</i> {\\i1}hi", protect_tags=True) == "<I>hI</I> {\\i1}hI"


@pytest.mark.parametrize(
    "format, data, names",
    [
        (
            "ass",
            "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, "
            "MarginV, Effect, Text\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\i1}Aoi-san\n",
            ["ass"],
        ),
        ("srt", "1\n00:00:01,000 --> 00:00:02,000\n<i>Aoi-san</i> {i}\n", ["srt"]),
        ("vtt", "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\n<v Aoi>Aoi-san</v> <00:00:01.500>i\n", ["vtt"]),
    ],
)
def test_protect_tags_means_the_same_in_every_call(format, data, names):
    words = WordList({"-san": "", "i": "I"})
    text = data.rstrip("\n").split(",")[-1] if format == "ass" else data.splitlines()[-1]
    protected = rewrite_bytes(data.encode(), format, words, protect_tags=True)

    assert protected != rewrite_bytes(data.encode(), format, words)
    for name in names:
        assert rewrite_bytes(data.encode(), format, words, protect_tags=name) == protected
        assert words.apply(text, protect_tags=name).encode() in protected
    if format == "ass":
        assert words.apply(text, protect_tags=True) == words.apply(text, protect_tags="ass")
    for other in {"ass", "srt", "vtt"} - set(names):
        with pytest.raises(ValueError, match="names tags that"):
            rewrite_bytes(data.encode(), format, words, protect_tags=other)
