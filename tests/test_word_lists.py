"""Word lists through the API's WordList: reading, rule order, per-rule options,
and the command line that stands on them."""

import json
import pickle

import pytest
from conftest import quorvant

from c_quorvant import Rule, WordList, WordListError

# Two cues of dialogue with typographic quotes, the way fansubs write them.
DIALOGUE_SRT = """\
1
00:00:01,000 --> 00:00:03,000
“Senpai, you came!” - Onii-san?

2
00:00:03,500 --> 00:00:05,000
- SENPAI! - Tanaka-san, wait…
"""


@pytest.mark.parametrize(
    "document, members, refusal",
    [
        # Positions count characters, after a byte-order mark and across comments.
        (
            '\ufeff{\n  // honorifics\n  "(\\\\w+)-san": "$1",\n'
            '  "Senpai": {"replace": "senior", "case": "preserve"},\n}',
            [("(\\w+)-san", "$1", 3, 3), ("Senpai", "senior", 4, 3)],
            None,
        ),
        ('{"é": "e", "ü": "u"}', [("é", "e", 1, 2), ("ü", "u", 1, 12)], None),
        # The last of a pattern given twice is kept, where it stands.
        ('{"a": "1",\n"b": "2",\n"a": "3"}', [("b", "2", 2, 1), ("a", "3", 3, 1)], None),
        ('{"x": {"replace": "y", "enabled": false}, "z": 1.5}', [("z", "1.5", 1, 43)], None),
        (
            '{"a": {"replace": "b", "cas": "sensitive"}}',
            None,
            'words.json: the value of pattern "a" (line 1, column 2): unknown option "cas"; '
            "the options are replace, case, word, literal and enabled",
        ),
        (
            '{"ok": "x",\n "a": {"replace": "b", "word": "yes"}}',
            None,
            'words.json: the value of pattern "a" (line 2, column 2): option "word" is a JSON string; '
            "it is true or false",
        ),
        (
            '{"a": {"case": "preserve"}}',
            None,
            'words.json: the value of pattern "a" (line 1, column 2) has no "replace"',
        ),
        ('{"a": {"replace": ["b"]}}', None, 'option "replace" is a JSON array; a replacement must be a string'),
        ('{"a": {"replace": "b", "case": 1}}', None, 'option "case" is a number; it is "insensitive", "sensitive"'),
    ],
    ids=["positions", "characters", "twice", "disabled", "unknown", "wrong-type", "no-replace", "array", "case"],
)
def test_a_list_is_read_once_with_positions_and_options(tmp_path, document, members, refusal):
    path = tmp_path / "words.json"
    path.write_text(document, encoding="utf-8")

    if refusal is not None:
        with pytest.raises(WordListError) as raised:
            WordList.load(path)
        assert str(raised.value).startswith(str(path.parent) + "/") and refusal in str(raised.value)
        return
    words = WordList.load(path, order="written")
    read = [(rule.pattern, rule.replacement, rule.line, rule.column) for rule in words.rules]
    assert read == members
    assert all(rule.source == str(path) for rule in words.rules)


def test_the_module_keeps_refusing_rule_options(tmp_path):
    from c_quorvant.modify_subs import overwrite_subs

    (tmp_path / "ep.srt").write_text(DIALOGUE_SRT, encoding="utf-8")
    (tmp_path / "words.json").write_text('{"senpai": {"replace": "senior"}}', encoding="utf-8")

    with pytest.raises(RuntimeError):
        overwrite_subs(str(tmp_path / "ep.srt"), str(tmp_path / "words.json"))


def shadowed(earlier, column, remedy=", in the order written"):
    return (
        f'pattern "onii-san" (line 1, column {column}) is shadowed by the earlier rule "{earlier}", which rewrites '
        f"every place this one could match before it runs; write it before that rule{remedy}"
    )


# Each list as written in its file, with what each order makes of a text.
@pytest.mark.parametrize(
    "written, text, sorted_result, written_result, warnings",
    [
        # The benchmark list's case: the specific rule written first never runs when sorted.
        (
            {"onii-san": "big brother", "(\\w+)-san": "$1"},
            "“Onii-san?” Tanaka-san!",
            "“Onii?” Tanaka!",
            "“big brother?” Tanaka!",
            ([shadowed("(\\\\w+)-san", 2)], []),
        ),
        # The benchmark's list writes the general rule first: shadowed in both orders.
        (
            {"-san": "", "onii-san": "big brother"},
            "“Onii-san?”",
            "“Onii?”",
            "“Onii?”",
            (
                [shadowed("-san", 14)],
                [shadowed("-san", 14, remedy="")],
            ),
        ),
        # One rule's output is the next one's input.
        ({"dog": "bird", "cat": "dog"}, "My cat… my dog.", "My bird… my bird.", "My dog… my bird.", ([], [])),
        # A rule that breaks a line, and one that removes an empty first line.
        (
            {"^\\n": "", "\\s*-\\s+": "\n- "},
            "- Wait, senpai! - What?",
            "- Wait, senpai!\n- What?",
            "\n- Wait, senpai!\n- What?",
            ([], []),
        ),
    ],
    ids=["shadowed", "written-first", "chained", "lines"],
)
def test_rules_apply_sorted_or_as_written(tmp_path, written, text, sorted_result, written_result, warnings):
    path = tmp_path / "words.json"
    path.write_text(json.dumps(written), encoding="utf-8")

    by_bytes = WordList.load(path)
    as_written = WordList.load(path, order="written")

    assert list(as_written) == list(written)
    assert list(by_bytes) == sorted(written, key=str.encode)
    assert (by_bytes.apply(text), as_written.apply(text)) == (sorted_result, written_result)
    assert by_bytes.warnings() == [f"{path}: {warning}" for warning in warnings[0]]
    assert as_written.warnings() == [f"{path}: {warning}" for warning in warnings[1]]
    with pytest.raises(ValueError):
        WordList(written, order="file")  # type: ignore[arg-type]


def test_sorted_is_the_utf8_byte_order_of_the_patterns():
    # A surrogate escape stands for a raw byte, which sorts after every UTF-8 lead
    # byte though its code point sorts before U+E000.
    assert list(WordList({"\udcff": "a", "\ue000": "b", "z": "c"})) == ["z", "\ue000", "\udcff"]


# (value, text, byte-wise result, character-wise result)
@pytest.mark.parametrize(
    "value, pattern, text, bytewise, characterwise",
    [
        (
            {"replace": "senior", "case": "preserve"},
            "\\bsenpai\\b",
            "“Senpai!” SENPAI. senpai, sEnPaI",
            "“Senior!” SENIOR. senior, senior",
            None,
        ),
        ({"replace": "school", "case": "preserve"}, "école", "ÉCOLE, École", "ÉCOLE, École", "SCHOOL, School"),
        ({"replace": "Rosa", "case": "sensitive"}, "Rose", "Rose picks a rose.", "Rosa picks a rose.", None),
        ({"replace": "<$&>", "case": "sensitive"}, "[A-Z]\\w+", "“Aoi” meets taro.", "“<Aoi>” meets taro.", None),
        ({"replace": "K", "word": True}, "kun", "Taro-kun, kunai! kun", "Taro-K, kunai! K", None),
        ({"replace": "X", "word": True}, "été", "l’été, aété", "l’X, aété", None),
        ({"replace": "X", "word": True}, "café", "café, cafés", "X, cafés", None),
        ({"replace": "Mister", "literal": True}, "Mr.", "Mr. Ito, Mrs. Ito", "Mister Ito, Mrs. Ito", None),
        ("Mister", "Mr.", "Mr. Ito, Mrs. Ito", "Mister Ito, Mister. Ito", None),
        ({"replace": "x", "literal": True, "word": True}, "(a+", "(a+ b(a+c", "x b(a+c", None),
        ({"replace": "x", "enabled": False}, "e", "Senpai", "Senpai", None),
        # A rule that joins a cue's lines.
        ({"replace": " ", "literal": True}, "\n", "Senpai!\nWait…", "Senpai! Wait…", None),
    ],
    ids=[
        "preserve",
        "preserve-accents",
        "sensitive",
        "sensitive-class",
        "word",
        "word-accents",
        "word-after",
        "literal",
        "not-literal",
        "literal-word",
        "disabled",
        "joins-lines",
    ],
)
def test_rule_options_in_both_modes(value, pattern, text, bytewise, characterwise):
    words = WordList({pattern: value})

    assert words.apply(text) == bytewise
    assert words.apply(text, unicode=True) == (bytewise if characterwise is None else characterwise)
    # Through a file: the same rule, read by the document reader.
    assert WordList.from_bytes(json.dumps({pattern: value}).encode(), "w.json").apply(text) == bytewise


@pytest.mark.parametrize(
    "args, listed, warned",
    [
        (["--order", "written"], ['"onii-san" -> "big brother"', '"(\\\\w+)-san" -> "$1"'], False),
        ([], ['"(\\\\w+)-san" -> "$1"', '"onii-san" -> "big brother"'], True),
    ],
    ids=["written", "sorted"],
)
def test_check_shows_the_order_and_the_shadowed_rules(tmp_path, args, listed, warned):
    (tmp_path / "words.json").write_text(
        json.dumps({"onii-san": "big brother", "(\\w+)-san": "$1", "Senpai": {"replace": "x", "case": "preserve"}}),
        encoding="utf-8",
    )

    result = quorvant("check", "words.json", *args, cwd=tmp_path)

    assert result.returncode == 0, result.stderr
    order = "in the order written" if args else "in the byte order of their patterns"
    assert result.stdout.splitlines()[0] == f"words.json: 3 rules, applied to each text {order}:"
    rules = [line.split(". ", 1)[1] for line in result.stdout.splitlines()[1:-1]]
    assert [rule for rule in rules if "Senpai" not in rule] == listed
    assert '"Senpai" -> "x"  (case preserve)' in rules
    assert ("is shadowed by the earlier rule" in result.stderr) == warned


@pytest.mark.parametrize("order, cue2", [("written", "- SENIOR! - Tanaka, wait…"), ("sorted", None)])
def test_runs_take_the_order_and_the_options(tmp_path, order, cue2):
    (tmp_path / "ep.srt").write_text(DIALOGUE_SRT, encoding="utf-8")
    words = {"onii-san": "big brother", "(\\w+)-san": "$1", "senpai": {"replace": "senior", "case": "preserve"}}
    (tmp_path / "words.json").write_text(json.dumps(words), encoding="utf-8")

    result = quorvant("rewrite", "ep.srt", "-w", "words.json", "--order", order, "-q", cwd=tmp_path)

    assert result.returncode == 0, result.stderr
    written = (tmp_path / "[Quorvanted] ep.srt").read_text(encoding="utf-8")
    first = "“Senior, you came!” - big brother?" if order == "written" else "“Senior, you came!” - Onii?"
    assert first in written
    assert (cue2 or "- SENIOR! - Tanaka, wait…") in written


@pytest.mark.parametrize(
    "rules, order, same_text_other_meaning",
    [
        ({"senpai": {"replace": "senior", "case": "preserve"}}, "sorted", {"senpai": "senior"}),
        ({"b": "1", "a": {"replace": "2", "word": True}}, "written", {"a": {"replace": "2", "word": True}, "b": "1"}),
    ],
)
def test_a_list_travels_with_its_order_and_options(rules, order, same_text_other_meaning):
    words = WordList(rules, order=order)

    again = pickle.loads(pickle.dumps(words))

    assert again == words and again.rules == words.rules and list(again) == list(words)
    assert WordList(same_text_other_meaning, order=order) != words
    assert eval(repr(words), {"WordList": WordList, "Rule": Rule}) == words
    with pytest.raises(ValueError, match="a rule's case is"):
        WordList([Rule("a", "b", "upper")])  # type: ignore[arg-type]
