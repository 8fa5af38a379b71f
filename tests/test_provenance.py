"""Which rules changed each text, and how many texts each rule changed: the same
from the API, the command line's --json and -v, and check --against."""

import json
import subprocess
import sys

import pytest
from conftest import quorvant

from c_quorvant import WordList, export, preview, rewrite

HONORIFIC = "(\\w+)-(san|kun|chan)\\b"
ELLIPSIS = "\\.\\.\\."
SOUND_LINE = "^\\[[^\\]]*\\]\\n"  # removes a line
NEW_SPEAKER = "([.!?]) - "  # adds one
SHADOWED = "Tanaka-san"  # the honorific rule always takes its match first
QUOTES = "\u201c([^\u201d]*)\u201d"
RULES = {
    HONORIFIC: "$1",
    ELLIPSIS: "\u2026",
    SOUND_LINE: "",
    NEW_SPEAKER: "$1\n- ",
    SHADOWED: "Mr Tanaka",
    QUOTES: "\u00ab$1\u00bb",
    "\\bgonna\\b": "going to",
}
WORDS = WordList(RULES)

DIALOGUE = [
    "\u201cTanaka-san, wait...\u201d",
    "[door slams]\nAoi-chan? Are you there?",
    "I'm fine. - Taro-kun?",
    "\u201cNo way.\u201d",
    "Nothing to see here.",
]


def _srt(texts, encoding="utf-8"):
    cues = [f"{n}\n00:00:{n:02},000 --> 00:00:{n:02},500\n{text}\n" for n, text in enumerate(texts, start=1)]
    return "\n".join(cues).encode(encoding)


def _ass(texts):
    head = (
        "[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
    )
    lines = [f"Dialogue: 0,0:00:0{n}.00,0:00:0{n}.50,Default,,0,0,0,,{t}" for n, t in enumerate(texts, 1)]
    return (head + "\n".join(lines) + "\n").encode()


def _ordered(patterns):
    return tuple(pattern for pattern in WORDS if pattern in patterns)


# (name, file, its bytes, call options, {pattern: texts changed}, patterns changing each changed text)
CASES = [
    (
        "two cues, byte-wise",
        "ep.srt",
        _srt(DIALOGUE[:2]),
        {},
        {HONORIFIC: 2, ELLIPSIS: 1, SOUND_LINE: 1},
        [{HONORIFIC, ELLIPSIS}, {HONORIFIC, SOUND_LINE}],
    ),
    (
        "ten cues, characters: the quotes rule sees whole characters",
        "ep.srt",
        _srt(DIALOGUE * 2),
        {"unicode": True},
        {HONORIFIC: 6, ELLIPSIS: 2, SOUND_LINE: 2, NEW_SPEAKER: 2, QUOTES: 4},
        [{HONORIFIC, ELLIPSIS, QUOTES}, {HONORIFIC, SOUND_LINE}, {HONORIFIC, NEW_SPEAKER}, {QUOTES}] * 2,
    ),
    (
        "legacy encoding",
        "ep.srt",
        _srt(["Caf\u00e9? Tanaka-san...", "Gonna be late."], "cp1252"),
        {"encoding": "cp1252"},
        {HONORIFIC: 1, ELLIPSIS: 1, "\\bgonna\\b": 1},
        [{HONORIFIC, ELLIPSIS}, {"\\bgonna\\b"}],
    ),
]


@pytest.mark.parametrize(
    ("name", "data", "options", "counts", "changed_by"), [c[1:] for c in CASES], ids=[c[0] for c in CASES]
)
def test_the_api_names_the_rules(tmp_path, name, data, options, counts, changed_by):
    path = tmp_path / name
    path.write_bytes(data)
    found = preview(path, WORDS, **options)
    assert found.changed_by == [_ordered(patterns) for patterns in changed_by]
    assert len(found.changed_by) == len(found.changes)
    assert list(found.rules) == list(_ordered(counts)) and found.rules == counts
    written = rewrite(path, WORDS, tmp_path / f"out-{name}", **options)
    exported = export(path, WORDS, tmp_path / "out.json", **options)
    assert written.rules == exported.rules == counts
    # Each change names a rule, and each rule's count is the changes naming it.
    assert all(found.changed_by)
    assert {p: sum(p in by for by in found.changed_by) for p in counts} == counts


def test_the_command_line_names_the_rules_and_the_rules_firing_nowhere(tmp_path):
    (tmp_path / "a.srt").write_bytes(_srt(DIALOGUE[:3]))
    (tmp_path / "b.ass").write_bytes(_ass(DIALOGUE[2:3]))
    (tmp_path / "words.json").write_text(json.dumps(RULES), encoding="utf-8")

    shown = json.loads(quorvant("preview", "a.srt", "b.ass", "-w", "words.json", "--json", cwd=tmp_path).stdout)
    first, second = shown["files"]
    assert [change["rules"] for change in first["changes"]] == [
        list(_ordered({HONORIFIC, ELLIPSIS})),
        list(_ordered({HONORIFIC, SOUND_LINE})),
        list(_ordered({HONORIFIC, NEW_SPEAKER})),
    ]
    assert first["rules"] == {HONORIFIC: 3, ELLIPSIS: 1, SOUND_LINE: 1, NEW_SPEAKER: 1}
    # ASS texts hold \N, not a line end: only the honorific and the new speaker's dash fire.
    assert second["rules"] == {HONORIFIC: 1, NEW_SPEAKER: 1}

    rewritten = json.loads(quorvant("rewrite", "a.srt", "-w", "words.json", "--json", cwd=tmp_path).stdout)
    assert rewritten["files"][0]["rules"] == first["rules"]

    verbose = quorvant("preview", "a.srt", "b.ass", "-w", "words.json", "-v", cwd=tmp_path).stdout.splitlines()
    assert "    by " + ", ".join(json.dumps(p) for p in _ordered({HONORIFIC, NEW_SPEAKER})) in verbose
    counted = verbose[verbose.index("texts changed by each rule:") + 1 :]
    assert [line.split(None, 1) for line in counted] == [
        ["4", json.dumps(HONORIFIC)],
        ["2", json.dumps(NEW_SPEAKER)],
        ["1", json.dumps(ELLIPSIS)],
        ["1", json.dumps(SOUND_LINE)],
    ]

    piped = subprocess.run(
        [sys.executable, "-m", "c_quorvant", "preview", "-", "--format", "srt", "-w", "words.json", "-v"],
        input=_srt(DIALOGUE[:3]),
        cwd=tmp_path,
        capture_output=True,
        timeout=120,
    )
    shown_for_a = verbose[: verbose.index("b.ass: event 1")]
    assert [line for line in piped.stdout.decode().splitlines() if line.startswith("    by ")] == [
        line for line in shown_for_a if line.startswith("    by ")
    ]

    checked = quorvant("check", "words.json", "--against", "a.srt", "b.ass", cwd=tmp_path)
    assert checked.returncode == 0, checked.stderr
    idle = checked.stdout.splitlines()[
        checked.stdout.splitlines().index("3 of 7 rules change no text in the 2 files read:") + 1 :
    ]
    assert idle == [
        f"  {json.dumps(p, ensure_ascii=False)} -> {json.dumps(RULES[p], ensure_ascii=False)}"
        for p in WORDS
        if p in (SHADOWED, QUOTES, "\\bgonna\\b")
    ]

    missing = quorvant("check", "words.json", "--against", "a.srt", "none.srt", cwd=tmp_path)
    assert missing.returncode == 1 and "none.srt" in missing.stderr
