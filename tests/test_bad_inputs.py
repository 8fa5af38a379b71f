"""Bad inputs: what each call gives and prints, and that a failure leaves every file as it was.

One table: a row per bad input, with the outcome of each pass on each format. An outcome is
the result (the output's name, or ""), or the RuntimeError and its message, plus exactly what
is printed on standard output and standard error.
"""

import json
import random
import re
from dataclasses import dataclass

import pytest
from conftest import run_python

from c_quorvant import modify_subs

PASSES = {"export": modify_subs.modify_subs_py, "rewrite": modify_subs.overwrite_subs}
ENDINGS = {
    ("export", ".srt"): ".json",
    ("export", ".ass"): ".json",
    ("rewrite", ".srt"): ".srt",
    ("rewrite", ".ass"): ".ass",
}

WORDS = json.dumps({"san": "[$&]"}).encode()
SRT = b"1\n00:00:01,000 --> 00:00:02,000\nTanaka-san\n\n2\n00:00:03,000 --> 00:00:04,000\nhi\n"
ASS_HEAD = (
    b"[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
    b"Style: Default,Arial,20\n\n[Events]\n"
    b"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
)
ASS = (
    ASS_HEAD + b"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Tanaka-san\n"
    b"Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,hi\n"
)
GOOD = {".srt": SRT, ".ass": ASS}
DIRECTORY = object()
PREVIOUS = b"previous output\n"


@dataclass(frozen=True)
class Outcome:
    wrote: bool = False  # the result is the output's name, and that file was written
    holds: bytes = b""  # what the written file contains somewhere
    error: str | None = None  # a RuntimeError whose message this pattern finds
    stdout: str = ""  # all of standard output, exactly
    stderr: str = ""  # all of standard error, exactly


def wrote(stdout="", holds=b""):
    return Outcome(wrote=True, stdout=stdout, holds=holds)


def empty(stdout="", stderr=""):
    return Outcome(stdout=stdout, stderr=stderr)


def raises(message, stdout=""):
    return Outcome(error=message, stdout=stdout)


def ass_fails_before_reading(message):
    """The ASS export reports on standard output; the rewrite lets the error through."""
    return {"export .ass": empty(stdout=message + "\n"), "rewrite .ass": raises(re.escape(message))}


def word_list_refused(message):
    """How each pass reports a word list that does not load. jsoncpp's wording is its own."""
    return {
        "export .srt": raises(message),
        "rewrite .srt": raises(message),
        "rewrite .ass": raises(message),
        "export .ass": Outcome(stdout=f"(?s).*{message}.*\n"),
    }


def every(outcome):
    return dict.fromkeys(["export .srt", "export .ass", "rewrite .srt", "rewrite .ass"], outcome)


def garbage(_ending):
    return random.Random(7).randbytes(4096)


def many_cues(ending):
    if ending == ".srt":
        return b"".join(b"%d\n00:00:01,000 --> 00:00:02,000\n- San: a\n\n" % i for i in range(1, 20001))
    return ASS_HEAD + b"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,a san\n" * 20000


NO_OUTPUT_DIRECTORY = "Could not open the output file: [Quorvanted] d/x.{}\n"

# (case, subtitle bytes by ending, word list bytes, subtitle name, outcome per "pass ending")
TABLE = [
    (
        "missing file",
        lambda e: None,
        WORDS,
        "x",
        {
            "export .srt": empty(stderr="Error opening input file.\n"),
            "export .ass": empty(stdout="Failed to load SSA file\n"),
            "rewrite .srt": empty(stderr="Error opening input file.\n"),
            "rewrite .ass": empty(stderr="Could not open the input file: x.ass\n"),
        },
    ),
    (
        "directory as subtitle file",
        lambda e: DIRECTORY,
        WORDS,
        "x",
        {
            "export .srt": empty(stderr="Error opening input file.\n"),
            "export .ass": empty(stdout="Failed to load SSA file\n"),
            "rewrite .srt": empty(stderr="Error opening input file.\n"),
            "rewrite .ass": empty(stderr="Error reading the input file.\n"),
        },
    ),
    (
        "empty file",
        lambda e: b"",
        WORDS,
        "x",
        {
            "export .srt": wrote(),
            "rewrite .srt": wrote(),
            "export .ass": empty(stdout="Failed to load SSA file\n"),
            "rewrite .ass": empty(stderr="Failed to parse the ASS file.\n"),
        },
    ),
    (
        "binary garbage",
        garbage,
        WORDS,
        "x",
        {
            "export .srt": wrote(),
            "rewrite .srt": wrote(),
            "export .ass": empty(stdout="Failed to load SSA file\n"),
            "rewrite .ass": empty(stderr="Failed to parse the ASS file.\n"),
        },
    ),
    # The export document is JSON, so a stray byte becomes U+FFFD; the rewrite keeps the bytes.
    (
        "invalid UTF-8",
        lambda e: GOOD[e].replace(b"hi", b"S\xf3 falta"),
        WORDS,
        "x",
        {
            "export .srt": wrote(holds=b'"S\\ufffd falta"'),
            "export .ass": wrote(holds=b'"S\\ufffd falta"'),
            "rewrite .srt": wrote(holds=b"\nS\xf3 falta"),
            "rewrite .ass": wrote("0\n", b",S\xf3 falta\n"),
        },
    ),
    (
        "NUL bytes",
        lambda e: GOOD[e].replace(b"Tanaka", b"Tan\0aka"),
        WORDS,
        "x",
        {
            "export .srt": wrote(holds=b'"Tan\\u0000aka-[san]"'),
            # libass would drop every event after the NUL, so the export refuses the file.
            "export .ass": empty(stdout="Failed to load SSA file\n"),
            "rewrite .srt": wrote(holds=b"\nTan\0aka-[san]\n"),
            "rewrite .ass": wrote("0\n", b",Tan\0aka-[san]\n"),
        },
    ),
    # Decoded for libass; the ASS copy is written as UTF-8 with its byte-order mark.
    (
        "UTF-16 with BOM",
        lambda e: b"\xff\xfe" + GOOD[e].decode().encode("utf-16-le"),
        WORDS,
        "x",
        {
            "export .srt": wrote(),
            "rewrite .srt": wrote(),
            "export .ass": wrote(holds=b'"Tanaka-[san]"'),
            "rewrite .ass": wrote("0\n", b"\xef\xbb\xbf[Script Info]\n"),
        },
    ),
    (
        "very many tiny cues",
        many_cues,
        WORDS,
        "x",
        {
            "export .srt": wrote(holds=b'"20000" : "- [San]: a"'),
            "export .ass": wrote(holds=b'"20000" : "a [san]"'),
            "rewrite .srt": wrote(holds=b"20000\n00:00:01,000 --> 00:00:02,000\n- [San]: a"),
            "rewrite .ass": wrote("0\n", many_cues(".ass").replace(b"a san", b"a [san]")),
        },
    ),
    (
        "word list missing",
        GOOD.get,
        None,
        "x",
        {
            "export .srt": raises("^Failed to open replacement words file$"),
            "rewrite .srt": raises("^Failed to open replacement words file$"),
            **ass_fails_before_reading("Failed to open replacement words file"),
        },
    ),
    (
        "directory as word list",
        GOOD.get,
        DIRECTORY,
        "x",
        {
            "export .srt": raises("^Failed to open replacement words file$"),
            "rewrite .srt": raises("^Failed to open replacement words file$"),
            **ass_fails_before_reading("Failed to open replacement words file"),
        },
    ),
    ("empty word list", GOOD.get, b"", "x", word_list_refused("Syntax error")),
    ("word list not JSON", GOOD.get, b"san: [$&]", "x", word_list_refused("Syntax error")),
    ("word list a top-level array", GOOD.get, b'["san"]', "x", word_list_refused("must be objectValue")),
    (
        "word list with an array value",
        GOOD.get,
        b'{"kun": "x", "san": ["x"]}',
        "x",
        word_list_refused("not convertible to string"),
    ),
    (
        "word list with an object value",
        GOOD.get,
        b'{"san": {"x": 1}}',
        "x",
        word_list_refused("not convertible to string"),
    ),
    (
        "invalid pattern",
        GOOD.get,
        b'{"(san": "x"}',
        "x",
        {**word_list_refused(r"Mismatched '\(' and '\)'"), "rewrite .ass": raises(r"Mismatched '\('", "0\n")},
    ),
    # Exponential in the length of a run of a's: this text still takes well under a second.
    (
        "pattern that backtracks badly",
        lambda e: GOOD[e].replace(b"hi", b"a" * 18),
        b'{"(a|aa)*b": "x"}',
        "x",
        {
            "export .srt": wrote(holds=b'"' + b"a" * 18),
            "export .ass": wrote(holds=b'"' + b"a" * 18),
            "rewrite .srt": wrote(holds=b"\n" + b"a" * 18),
            "rewrite .ass": wrote("0\n", b"," + b"a" * 18 + b"\n"),
        },
    ),
    (
        "output directory missing",
        GOOD.get,
        WORDS,
        "d/x",
        {
            "export .srt": empty(stderr=NO_OUTPUT_DIRECTORY.format("json")),
            "rewrite .srt": empty(stderr=NO_OUTPUT_DIRECTORY.format("srt")),
            "export .ass": empty(stdout="Failed to open output file\n"),
            "rewrite .ass": empty(stdout="0\n", stderr=NO_OUTPUT_DIRECTORY.format("ass")),
        },
    ),
    (
        "output parent is a regular file",
        GOOD.get,
        WORDS,
        "d/x",
        {
            "export .srt": empty(stderr=NO_OUTPUT_DIRECTORY.format("json")),
            "rewrite .srt": empty(stderr=NO_OUTPUT_DIRECTORY.format("srt")),
            "export .ass": empty(stdout="Failed to open output file\n"),
            "rewrite .ass": empty(stdout="0\n", stderr=NO_OUTPUT_DIRECTORY.format("ass")),
        },
    ),
    (
        "output name is a directory",
        GOOD.get,
        WORDS,
        "x",
        {
            "export .srt": empty(stderr="Could not open the output file: [Quorvanted] x.json\n"),
            "rewrite .srt": empty(stderr="Could not open the output file: [Quorvanted] x.srt\n"),
            "export .ass": empty(stdout="Failed to open output file\n"),
            "rewrite .ass": empty(stdout="0\n", stderr="Could not open the output file: [Quorvanted] x.ass\n"),
        },
    ),
]

ROWS = [
    pytest.param(case, subtitle, words, stem, kind, ending, outcome, id=f"{case}-{kind}{ending}")
    for case, subtitle, words, stem, outcomes in TABLE
    for kind in PASSES
    for ending in (".srt", ".ass")
    for outcome in [outcomes[f"{kind} {ending}"]]
]


def place(path, content):
    if content is DIRECTORY:
        path.mkdir()
    elif content is not None:
        path.write_bytes(content)


@pytest.mark.parametrize("case, subtitle, words, stem, kind, ending, outcome", ROWS)
def test_bad_input(case, subtitle, words, stem, kind, ending, outcome, workdir, snapshot, capfd):
    subfile = stem + ending
    output = workdir / ("[Quorvanted] " + stem + ENDINGS[kind, ending])
    if stem == "d/x":
        (workdir / "d").mkdir()
        if case == "output parent is a regular file":
            output.parent.write_bytes(b"a file where the output's directory should be")
    elif case == "output name is a directory":
        output.mkdir()
    elif not outcome.wrote:
        output.write_bytes(PREVIOUS)
    place(workdir / subfile, subtitle(ending))
    place(workdir / "words.json", words)
    before = snapshot()
    capfd.readouterr()

    if outcome.error is not None:
        with pytest.raises(RuntimeError, match=outcome.error):
            PASSES[kind](subfile, "words.json")
    else:
        result = PASSES[kind](subfile, "words.json")
        assert result == (output.name if outcome.wrote else "")

    printed = capfd.readouterr()
    if outcome.stdout.startswith("(?s)"):
        assert re.fullmatch(outcome.stdout, printed.out)
    else:
        assert printed.out == outcome.stdout
    assert printed.err == outcome.stderr
    after = snapshot()
    if outcome.wrote:
        # Exactly one new file, the output: no temporary file left beside it.
        assert set(after) - set(before) == {output.name}
        assert {name: after[name] for name in before} == before
        assert outcome.holds in after[output.name]
    else:
        assert after == before
    assert_next_call_works(kind, ending, workdir)


def assert_next_call_works(kind, ending, workdir):
    (workdir / ("ok" + ending)).write_bytes(GOOD[ending])
    (workdir / "ok.json").write_bytes(WORDS)
    result = PASSES[kind]("ok" + ending, "ok.json")
    assert result == "[Quorvanted] ok" + ENDINGS[kind, ending]
    assert b"Tanaka-[san]" in (workdir / result).read_bytes()


# Texts long enough to overflow an ordinary thread stack. Each runs in a child interpreter,
# so that a crash fails its row instead of ending the run.
MIB = 2**20
CLIP = "'{{\\\\clip(' + 'm 0 0 l 100 0 ' * ({size} // 14) + ')}}Aoi-san'"
WORDS_LINE = "'word ' * ({size} // 5) + 'end'"
TAG_RULE = {"\\{.*?\\}": ""}
# An empty iteration of a repeated group keeps a rule on std::regex, which needs the stack.
REGEX_TAG_RULE = {"\\{(.|)*?\\}": ""}
REFUSED = 'The pattern "\\{(.|)*?\\}" cannot be applied to a text of 52428812 bytes'

# (case, ending, dialogue text as a Python expression, rules, pass, outcome, text the output holds)
LONG_TEXTS = [
    ("1 MiB vector clip", ".ass", CLIP.format(size=MIB), TAG_RULE, "rewrite", wrote("0\n"), b",,Aoi-san\n"),
    ("1 MiB vector clip", ".ass", CLIP.format(size=MIB), TAG_RULE, "export", wrote(), b'"1" : "Aoi-san"'),
    ("1 MiB of words", ".srt", WORDS_LINE.format(size=MIB), {"^(\\w+ )*": ""}, "rewrite", wrote(), b"\nend"),
    ("1 MiB of words", ".srt", WORDS_LINE.format(size=MIB), {"^(\\w+ )*": ""}, "export", wrote(), b'"1" : "end"'),
    (
        "50 MB line, plain rule",
        ".ass",
        CLIP.format(size=50 * MIB),
        {"san": "[$&]"},
        "rewrite",
        wrote("0\n"),
        b")}Aoi-[san]\n",
    ),
    (
        "50 MB line, rule on the JIT",
        ".ass",
        CLIP.format(size=50 * MIB),
        TAG_RULE,
        "rewrite",
        wrote("0\n"),
        b",,Aoi-san\n",
    ),
    (
        "50 MB line, rule on the JIT",
        ".ass",
        CLIP.format(size=50 * MIB),
        TAG_RULE,
        "export",
        wrote(),
        b'"1" : "Aoi-san"',
    ),
    (
        "50 MB line, recursive rule",
        ".ass",
        CLIP.format(size=50 * MIB),
        REGEX_TAG_RULE,
        "rewrite",
        raises(re.escape(REFUSED), "0\n"),
        b"",
    ),
    (
        "50 MB line, recursive rule",
        ".ass",
        CLIP.format(size=50 * MIB),
        REGEX_TAG_RULE,
        "export",
        empty(re.escape(REFUSED) + r": matching it could need more stack than this thread has \(\d+ MiB\)\n"),
        b"",
    ),
]

CHILD = """
import json, os
os.chdir({directory!r})
text = ({text}).encode()
if {ending!r} == ".ass":
    content = {ass_head!r} + b"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,," + text + b"\\n"
else:
    content = b"1\\n00:00:01,000 --> 00:00:02,000\\n" + text + b"\\n"
open("x" + {ending!r}, "wb").write(content)
open("words.json", "w").write(json.dumps({rules!r}))
open("[Quorvanted] x" + {output_ending!r}, "wb").write({previous!r})
from c_quorvant import modify_subs
try:
    report = {{"result": modify_subs.{function}("x" + {ending!r}, "words.json")}}
except RuntimeError as error:
    report = {{"error": str(error)}}
open("report.json", "w").write(json.dumps(report))
"""


@pytest.mark.parametrize(
    "ending, text, rules, kind, outcome, holds",
    [pytest.param(*row[1:], id=f"{row[0]}-{row[4]}{row[1]}") for row in LONG_TEXTS],
)
def test_long_text_in_a_child(ending, text, rules, kind, outcome, holds, tmp_path):
    output = tmp_path / ("[Quorvanted] x" + ENDINGS[kind, ending])
    child = run_python(
        CHILD.format(
            directory=str(tmp_path),
            text=text,
            ending=ending,
            ass_head=ASS_HEAD,
            rules=rules,
            output_ending=ENDINGS[kind, ending],
            previous=PREVIOUS,
            function=PASSES[kind].__name__,
        )
    )
    assert child.returncode == 0, child.stderr[-2000:]
    report = json.loads((tmp_path / "report.json").read_text())
    if outcome.error is not None:
        assert re.search(outcome.error, report["error"])
    else:
        assert report == {"result": output.name if outcome.wrote else ""}
    assert re.fullmatch(outcome.stdout, child.stdout)
    assert child.stderr == outcome.stderr
    written = output.read_bytes()
    if outcome.wrote:
        assert holds in written
    else:
        assert written == PREVIOUS
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["x" + ending, "words.json", output.name, "report.json"]
    )


KINDS = [(kind, ending) for kind in PASSES for ending in (".srt", ".ass")]


def table_outcome(case, kind, ending):
    return next(outcomes[f"{kind} {ending}"] for name, *_, outcomes in TABLE if name == case)


# The C library would cut a name short at its NUL byte, and read or write another file than
# the one named: such a path is a file that can't be opened.
@pytest.mark.parametrize(
    "subfile, words, case", [("x\0{}", "words.json", "missing file"), ("x{}", "w\0.json", "word list missing")]
)
@pytest.mark.parametrize("kind, ending", KINDS)
def test_path_holding_a_nul_byte(subfile, words, case, kind, ending, workdir, snapshot, capfd):
    subfile = subfile.format(ending)
    for name in ("x", "x" + ending):
        (workdir / name).write_bytes(GOOD[ending])
    for name in ("w", "words.json"):
        (workdir / name).write_bytes(WORDS)
    (workdir / "[Quorvanted] x").write_bytes(PREVIOUS)
    outcome = table_outcome(case, kind, ending)
    before = snapshot()
    capfd.readouterr()

    if outcome.error is not None:
        with pytest.raises(RuntimeError, match=outcome.error):
            PASSES[kind](subfile, words)
    else:
        assert PASSES[kind](subfile, words) == ""

    printed = capfd.readouterr()
    assert printed.out == outcome.stdout
    assert printed.err == outcome.stderr.replace("x" + ending, subfile)
    assert snapshot() == before


PART_WAY = """
import os, resource, signal
os.chdir({directory!r})
from c_quorvant import modify_subs
# No file of the child grows past 16 bytes: a write stops part-way, as on a full disk.
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (16, resource.RLIM_INFINITY))
print(repr(modify_subs.{function}({subfile!r}, "words.json")))
"""


@pytest.mark.parametrize("kind, ending", KINDS)
def test_write_failing_part_way(kind, ending, tmp_path):
    subfile = "x" + ending
    output = tmp_path / ("[Quorvanted] x" + ENDINGS[kind, ending])
    (tmp_path / subfile).write_bytes(GOOD[ending])
    (tmp_path / "words.json").write_bytes(WORDS)
    output.write_bytes(PREVIOUS)

    child = run_python(PART_WAY.format(directory=str(tmp_path), function=PASSES[kind].__name__, subfile=subfile))

    report = f"Could not write the output file: {output.name}: File too large\n"
    if (kind, ending) == ("export", ".ass"):
        assert (child.stdout, child.stderr) == (report + "''\n", "")
    else:
        assert (child.stdout, child.stderr) == (("0\n" if ending == ".ass" else "") + "''\n", report)
    assert output.read_bytes() == PREVIOUS
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted([subfile, "words.json", output.name])
