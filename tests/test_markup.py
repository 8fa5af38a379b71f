"""Markup as readers show it: WebVTT character references, ASS drawings and braces,
short Dialogue lines, lone byte-order marks and NULs in rules."""

import html
import json
import re

import pytest
import webvtt

from c_quorvant import WordList, WordListError, export_texts, modify_subs, preview, rewrite_bytes

NO_RULES = WordList({})
VTT_CUE = "WEBVTT\n\n00:00.000 --> 00:01.000\n{}\n"


def webvtt_view(data):
    """Each cue as a reader shows it: tags left out, references as their characters."""
    return [html.unescape(caption.text) for caption in webvtt.from_string(data.decode())]


@pytest.mark.parametrize(
    "payload, rules, before, after, kept",
    [
        ("Tom &amp; Jerry", {r"\s*&\s*": " and "}, "Tom & Jerry", "Tom and Jerry", None),
        ("I &lt;3 you", {r"\blt\b\.?": "Lieutenant"}, "I <3 you", "I <3 you", "&lt;3"),
        ("I &lt;3 you", {"<3": "love"}, "I <3 you", "I love you", None),
        ("Non&nbsp;!", {"\u00a0": "\u202f"}, "Non\u00a0!", "Non\u202f!", None),
        ("a &#38; b", {"a": "4"}, "a & b", "4 & b", "&#38;"),
        ("<i>o</i> &copy; o", {"o": "0"}, "o © o", "0 © 0", "&copy;"),
        ("x", {"x": "<b>&</b>"}, "x", "<b>&</b>", None),
        ("&lrm;a&rlm;", {"a": "b"}, "\u200ea\u200f", "\u200eb\u200f", "&lrm;"),
        ("A&#x26;B a", {"&": " and "}, "A&B a", "A and B a", None),
        ("fish &amp; chips", {"a": "4"}, "fish & chips", "fish & chips", "&amp;"),
    ],
)
def test_webvtt_references_are_text_to_the_rules(payload, rules, before, after, kept):
    data = VTT_CUE.format(payload).encode()
    rewritten = rewrite_bytes(data, "vtt", WordList(rules), protect_tags=True)
    assert webvtt_view(data) == [before]
    assert webvtt_view(rewritten) == [after]
    assert kept is None or kept in rewritten.decode()
    assert list(export_texts(rewritten, "vtt", NO_RULES).values()) == list(
        export_texts(data, "vtt", WordList(rules), protect_tags=True).values()
    )


@pytest.mark.parametrize(
    "payload, rules, written",
    [
        ("Tom &amp; Jerry", {r"\s*&\s*": " and "}, None),
        ("fish &amp; chips", {"a": "4"}, None),
        ("x &amp; y", {";": "\u202f;"}, None),
        ("I &#60;3 you", {"6": "7"}, None),
        ("Tom &amp; Jerry", {"&amp;": "and"}, "Tom and Jerry"),
        ("Tom &amp; Jerry", {"&amp;": "&"}, "Tom & Jerry"),
        ("Tom &amp; Jerry", {"Tom": "Tim"}, "Tim &amp; Jerry"),
        ("I <3 x", {"x": "<3"}, "I <3 <3"),
    ],
)
def test_without_protect_tags_no_rule_breaks_a_reference(payload, rules, written):
    data = VTT_CUE.format(payload).encode()
    if written is None:
        with pytest.raises(RuntimeError, match=r"break the character reference &[#\w]+; in cue 1;"):
            rewrite_bytes(data, "vtt", WordList(rules))
    else:
        assert rewrite_bytes(data, "vtt", WordList(rules)) == VTT_CUE.format(written).encode()


ASS_HEAD = (
    "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1\n\n"
    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
)
FIELDS = "0,0:00:00.00,0:00:01.00,Default,,0,0,0"


def libass_export(data, workdir):
    """The dialogue texts as libass holds them, through the module's export."""
    (workdir / "read.ass").write_bytes(data)
    (workdir / "none.json").write_text("{}")
    exported = json.loads((workdir / modify_subs.modify_subs_py("read.ass", "none.json")).read_text())
    return [exported[key] for key in sorted(exported or {}, key=int)]


def shown_blocks(text):
    """The override blocks libass hides in a text: a '{' with a '}' after it, escapes passed over."""
    blocks, at = [], 0
    while at < len(text):
        if text.startswith(("\\{", "\\}"), at):
            at += 2
        elif text[at] == "{" and "}" in text[at:]:
            end = text.index("}", at) + 1
            blocks.append(text[at:end])
            at = end
        else:
            at += 1
    return blocks


@pytest.mark.parametrize(
    "text, rules, written",
    [
        ("{\\p 1}m 0 0 l 100 0 100 100", {"l": "L"}, "{\\p 1}m 0 0 l 100 0 100 100"),
        ("{\\p\t1}m 0 0 l 100 0 100 100", {"l": "L"}, "{\\p\t1}m 0 0 l 100 0 100 100"),
        ("{\\t(\\p1)}m 0 0 l 1 1", {"l": "L"}, "{\\t(\\p1)}m 0 0 l 1 1"),
        ("{\\p1}m 0 0 l 1 1{\\p}l", {"l": "L"}, "{\\p1}m 0 0 l 1 1{\\p}L"),
        ("{\\p-1}l", {"l": "L"}, "{\\p-1}L"),
        ("a \\{word\\} a", {"word": "term"}, "a \\{term\\} a"),
        ("a \\{word\\} a", {r"\{word\}": "[word]"}, "a [word] a"),
        ("x {word", {"word": "term"}, "x \\{term"),
        ("{\\i1}a line a{\\i0}", {"a": "{"}, "{\\i1}\\{ line \\{{\\i0}"),
        ("x {word\\Nfoo", {"foo": "}"}, "x \\{word\\N\\}"),
    ],
)
def test_ass_text_libass_shows_is_text_to_the_rules(text, rules, written, workdir):
    data = (ASS_HEAD + f"Dialogue: {FIELDS},,{text}\n").encode()
    rewritten = rewrite_bytes(data, "ass", WordList(rules), protect_tags=True)
    assert rewritten == (ASS_HEAD + f"Dialogue: {FIELDS},,{written}\n").encode()
    assert libass_export(rewritten, workdir) == [written]
    assert shown_blocks(written) == shown_blocks(text)


@pytest.mark.parametrize(
    "line, events, written",
    [
        (f"{FIELDS},", [], f"{FIELDS},"),  # one field short, its last one empty
        (FIELDS, [], FIELDS),  # one field short
        (f"{FIELDS},  ", [], f"{FIELDS},  "),  # the Effect field only blanks
        (f"{FIELDS},fx", [""], f"{FIELDS},fx,-"),  # every field, the text empty
        (f"{FIELDS},,", [""], f"{FIELDS},,-"),
        (f"{FIELDS},fx,a,b", ["a,b"], f"{FIELDS},fx,-a,b"),
    ],
)
def test_a_short_dialogue_line_is_read_as_libass_reads_it(line, events, written, workdir):
    data = (ASS_HEAD + f"Dialogue: {line}\nDialogue: {FIELDS},,after\n").encode()
    words = WordList({"^": "-"})
    assert libass_export(data, workdir) == [*events, "after"]
    exported = list(export_texts(data, "ass", words).values())
    assert exported == [f"-{text}" for text in [*events, "after"]]
    (workdir / "a.ass").write_bytes(data)
    assert [after for _, _, after in preview(workdir / "a.ass", words).changes] == exported
    rewritten = rewrite_bytes(data, "ass", words)
    assert rewritten == (ASS_HEAD + f"Dialogue: {written}\nDialogue: {FIELDS},,-after\n").encode()
    assert list(export_texts(rewritten, "ass", NO_RULES).values()) == exported
    assert libass_export(rewritten, workdir) == exported


T1, T2 = "00:00:01,000 --> 00:00:02,000", "00:00:03,000 --> 00:00:04,000"


@pytest.mark.parametrize(
    "data, rules, written",
    [
        (f"1\n{T1}\nfirst a\n\ufeff\nsecond\n", {"a": "b"}, f"1\n{T1}\nfirst b\n\ufeff\nsecond\n"),
        (f"1\n{T1}\nfirst a\n", {"a": "b\n\ufeff\nc"}, f"1\n{T1}\nfirst b\n\ufeff\nc\n"),
        (f"1\n{T1}\nfirst a\n", {"a": "\n\ufeff"}, f"1\n{T1}\nfirst \n"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", {"A": ""}, f"1\n{T1}\n\n2\n{T2}\nB\n"),
        (f"1\r\n{T1}\r\nA\r\nA\r\n\r\n2\r\n{T2}\r\nB", {"A": ""}, f"1\r\n{T1}\r\n\r\n2\r\n{T2}\r\nB"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB", {"B": ""}, f"1\n{T1}\nA\n\n2\n{T2}\n"),
    ],
)
def test_subrip_lines_of_marks_and_emptied_cues(data, rules, written):
    words = WordList(rules)
    rewritten = rewrite_bytes(data.encode(), "srt", words)
    assert rewritten.decode() == written
    read_back = list(export_texts(rewritten, "srt", NO_RULES).values())
    exported = [text.strip("\ufeff\n") for text in export_texts(data.encode(), "srt", words).values()]
    assert read_back == exported


@pytest.mark.parametrize(
    "srt, rules, written",
    [
        (f"1\n{T1}\nA and B\n\n2\n{T2}\nC\n", {" and ": "\n"}, f"1\n{T1}\nA\nB\n\n2\n{T2}\nC"),
        (f"1\n{T1}\nA and B\n", {" and ": "\r\n\r\n  \n"}, f"1\n{T1}\nA\nB"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", {"^A$": ""}, f"1\n{T1}\n\n2\n{T2}\nB"),
        (f"1\n{T1}\nA\n\n2\n{T2}\nB\n", {"^A$": "x\n\n"}, f"1\n{T1}\nx\n\n2\n{T2}\nB"),
    ],
)
def test_the_modules_subrip_rewrite_writes_line_breaks_as_subrip_does(srt, rules, written, workdir, write_words):
    (workdir / "a.srt").write_text(srt, encoding="utf-8")
    output = modify_subs.overwrite_subs("a.srt", write_words(rules))
    assert (workdir / output).read_text(encoding="utf-8") == written


def test_the_modules_subrip_rewrite_refuses_a_line_that_opens_a_cue(workdir, write_words):
    (workdir / "a.srt").write_text(f"1\n{T1}\nA\n\n2\n{T2}\nB\n", encoding="utf-8")
    with pytest.raises(RuntimeError, match="cue 2 holds a line that SubRip readers would take for the start"):
        modify_subs.overwrite_subs("a.srt", write_words({"^B$": f"B\n7\n{T2}"}))
    assert sorted(path.name for path in workdir.iterdir()) == ["a.srt", "words.json"]


@pytest.mark.parametrize(
    "pattern, replacement, part",
    [("a", "x\u0000y", "replacement"), ("a\u0000b", "x", "pattern"), ("\u0000", "", "pattern")],
)
def test_a_nul_in_a_rule_is_refused_naming_the_rule(pattern, replacement, part, workdir, write_words):
    named = f"The {part} of the rule {pattern.replace(chr(0), chr(92) + 'u0000')} holds U+0000"
    message = re.escape(named)
    with pytest.raises(WordListError, match=message):
        WordList({pattern: replacement})
    [check] = WordList({pattern: replacement}, validate=False).check(unicode=True)
    assert check.problem.startswith(named)
    (workdir / "a.srt").write_text(f"1\n{T1}\nan a\n", encoding="utf-8")
    with pytest.raises(RuntimeError, match=message):
        modify_subs.overwrite_subs("a.srt", write_words({pattern: replacement}))
