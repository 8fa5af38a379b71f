import codecs
import functools
import json
import re
import unicodedata

import pytest
from conftest import DATA_DIR, quorvant

from c_quorvant import WordList, WordListError, export, export_texts, preview, rewrite, rewrite_bytes
from c_quorvant.errors import UnrepresentableTextError
from c_quorvant.text_encoding import choose

# (encoding given, encoding the bytes are in, a line of dialogue, a rule in its script)
ENCODINGS = [
    ("cp1252", "cp1252", "Então, você tem que entrar.", ("você", "tu")),
    ("cp1250", "cp1250", "Dzień dobry, jak się masz?", ("się", "sie")),
    ("cp1251", "cp1251", "Привет, как дела?", ("как", "что")),
    ("cp1253", "cp1253", "Καλημέρα, τι κάνεις;", ("κάνεις", "λες")),
    ("cp1254", "cp1254", "Günaydın, nasılsın?", ("nasılsın", "iyi misin")),
    ("cp1255", "cp1255", "שלום, מה שלומך?", ("שלומך", "נשמע")),
    ("cp1256", "cp1256", "مرحبا، كيف حالك؟", ("حالك", "الحال")),
    ("cp1257", "cp1257", "Labas rytas, kaip sekasi? Ačiū.", ("Ačiū", "Dėkui")),
    ("koi8-r", "koi8-r", "Спасибо, до свидания.", ("до свидания", "пока")),
    ("iso-8859-2", "iso-8859-2", "Dobrý den, jak se máš?", ("máš", "daří")),
    ("gbk", "gbk", "你好，我们可以走了。", ("可以", "应该")),
    # 可 is a5 69 and ナ 83 69 in these: the ASCII rule below must not take their second byte for an "i".
    ("big5", "big5", "你好，我們可以走了。", ("我們", "咱們")),
    ("shift_jis", "shift_jis", "田中さん、ナイフをありがとう。", ("さん", "様")),
    ("euc-jp", "euc-jp", "田中さん、ありがとう。", ("ありがとう", "どうも")),
    ("euc-kr", "euc-kr", "안녕하세요, 고맙습니다.", ("고맙습니다", "감사합니다")),
    ("utf-16-le", "utf-16-le", "Привет, 可以", ("Привет", "Салют")),
    # Detection on files this small is the benchmark's subject; these are the sure cases.
    ("auto", "utf-16-le", "Привет, 可以", ("Привет", "Салют")),
    ("auto", "utf-16-be", "Привет, 可以", ("Привет", "Салют")),
    ("auto", "cp1251", "Привет, как дела? Всё хорошо, спасибо, как всегда.", ("как", "что")),
]


def subrip(text):
    return (
        f"1\r\n00:00:01,000 --> 00:00:02,000\r\n{text}\r\ni said: hi\r\n\r\n"
        f"2\r\n00:00:03,000 --> 00:00:04,000\r\n{text}\r\n"
    )


def ass(text):
    return (
        "[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
        f"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{text}\\Ni said: hi\r\n"
    )


@pytest.mark.parametrize("format, document", [("srt", subrip), ("ass", ass)])
@pytest.mark.parametrize("given, encoding, text, rule", ENCODINGS)
def test_legacy_files_are_rewritten_as_their_utf8_twin(format, document, given, encoding, text, rule):
    twin = document(text).encode("utf-8")
    data = document(text).encode(encoding)
    words = WordList({rule[0]: rule[1], "\\bi\\b": "I"})

    assert rewrite_bytes(data, format, WordList({}), encoding=given) == data
    rewritten = rewrite_bytes(data, format, words, encoding=given)
    assert rewritten.decode(encoding) == rewrite_bytes(twin, format, words).decode("utf-8")
    assert rule[1] in rewritten.decode(encoding)
    texts = export_texts(data, format, words, encoding=given)
    assert texts == export_texts(twin, format, words)
    assert texts["1"].startswith(text.replace(*rule))


@pytest.mark.parametrize(
    "encoding, text, rule",
    [
        ("cp1252", "Você é legal.", ("legal", "\U0001f600")),
        # cp1250 would write "…" as 0x85, which ISO-8859-16 reads as a C1 control.
        ("iso8859-16", "Ce faci... legal.", ("\\.\\.\\.", "…")),
        # A C1 control a rule writes, which the page could write but a sister page reads as text.
        ("iso8859-5", "Привет, legal.", ("legal", "\x85")),
    ],
)
def test_an_unrepresentable_replacement_fails_naming_cue_character_and_encoding(workdir, encoding, text, rule):
    (workdir / "ep.srt").write_bytes(subrip(text).encode(encoding))
    words = WordList(dict([rule]))
    code = f"U\\+{ord(rule[1]):04X}"
    with pytest.raises(UnrepresentableTextError, match=f"cue 1: .*{code}.*{encoding}") as raised:
        rewrite("ep.srt", words, encoding=encoding)
    assert (raised.value.key, raised.value.character) == ("1", rule[1])
    assert not (workdir / "[Quorvanted] ep.srt").exists()
    converted = rewrite("ep.srt", words, encoding=encoding, output_encoding="utf-8")
    assert converted.output.read_bytes().decode("utf-8") == subrip(re.sub(*rule, text))


# Bytes that read as text in no page clearly: a guess, and in doubt.
UNDECODABLE = b"1\r\n00:00:01,000 --> 00:00:02,000\r\n\x81\x81\x81\x81\r\n"


# (file, encoding reported, confidence)
FILES = [
    ("y_yyh-08-pt-cp1252-gap.srt", "cp1252", 0.5),
    ("y_db10-bom-but-cp1252.ssa", "cp1252", 0.5),
    ("y_russian-cp1251.srt", "cp1251", 0.5),
    ("y_onegai-teacher-01-utf16le.ass", "utf-16-le", 1.0),
    ("y_danish-bom.srt", "utf-8", 1.0),
    ("undecodable.srt", "cp932", 0.25),
]


@pytest.mark.parametrize("name, encoding, confidence", FILES)
def test_files_round_trip_and_export_their_text(workdir, name, encoding, confidence):
    source = DATA_DIR / name
    data = source.read_bytes() if source.exists() else UNDECODABLE
    (workdir / name).write_bytes(data)

    copy = rewrite(name, WordList({}))
    assert (copy.encoding, copy.confidence) == (encoding, confidence)
    assert copy.output.read_bytes() == data
    exported = export(name, WordList({}))
    texts = json.loads(exported.output.read_text("utf-8"))
    assert (exported.texts, exported.changed) == (copy.texts, 0)
    assert any("\ufffd" in text for text in texts.values()) == (confidence == 0.0)


def test_a_lying_mark_is_kept_and_the_rest_decoded(workdir):
    data = (DATA_DIR / "y_db10-bom-but-cp1252.ssa").read_bytes()
    words = WordList({"Só": "Apenas"})
    rewritten = rewrite_bytes(data, "ssa", words)
    assert rewritten.startswith(codecs.BOM_UTF8)
    assert rewritten[3:].decode("cp1252") == re.sub("Só", "Apenas", data[3:].decode("cp1252"), flags=re.IGNORECASE)


@pytest.mark.parametrize(
    "content, problem",
    [
        (b'{"caf\xe9": "x"}', "not UTF-8: byte 0xE9 at byte offset 5"),
        (codecs.BOM_UTF8 + b'{"caf\xc3\xa9": "x"}', None),
    ],
)
def test_word_lists_must_be_utf8(workdir, content, problem):
    (workdir / "words.json").write_bytes(content)
    if problem is None:
        assert dict(WordList.load("words.json")) == {"café": "x"}
        return
    with pytest.raises(WordListError, match=f"words.json: {problem}"):
        WordList.load("words.json")
    checked = quorvant("check", "words.json", cwd=workdir)
    assert checked.returncode == 1 and problem in checked.stderr


def test_command_line_reports_encodings_and_warns_when_unsure(workdir, write_words):
    (workdir / "legacy.srt").write_bytes((DATA_DIR / "y_yyh-08-pt-cp1252-gap.srt").read_bytes())
    (workdir / "undecodable.srt").write_bytes(UNDECODABLE)
    words = write_words({"você": "tu"})

    run = quorvant("rewrite", "legacy.srt", "undecodable.srt", "-w", words, "--json", cwd=workdir)
    files = {entry["input"]: entry for entry in json.loads(run.stdout)["files"]}
    assert (files["legacy.srt"]["encoding"], files["legacy.srt"]["confidence"]) == ("cp1252", 0.5)
    assert files["legacy.srt"]["texts_changed"] > 0 and files["legacy.srt"]["alternatives"] == []
    doubtful = files["undecodable.srt"]
    assert doubtful["confidence"] < 0.5 and doubtful["alternatives"]
    runner_up = doubtful["alternatives"][0]
    assert run.stderr.count("--encoding") == 1
    assert f"undecodable.srt: read as {doubtful['encoding']}; {runner_up} also fits; give --encoding" in run.stderr
    assert rewrite("undecodable.srt", WordList({})).alternatives == tuple(doubtful["alternatives"])

    converted = quorvant("rewrite", "legacy.srt", "-w", words, "--output-encoding", "utf-8", cwd=workdir)
    assert converted.returncode == 0
    assert "tu" in (workdir / "[Quorvanted] legacy.srt").read_text("utf-8")
    assert quorvant("preview", "legacy.srt", "-w", words, "--encoding", "nope", cwd=workdir).returncode == 2


def cues(*texts):
    return "\r\n\r\n".join(
        f"{n}\r\n00:00:{n:02},000 --> 00:00:{n:02},900\r\n{text}" for n, text in enumerate(texts, 1)
    ).encode("utf-8")


def legacy(encoding, *texts):
    return cues(*texts).decode("utf-8").encode(encoding)


# cp1258 holds most Vietnamese letters only as a base letter and a combining tone mark (ễ: ê, U+0303).
VIETNAMESE = "Nguyê\u0303n đa\u0303 biê\u0301t %s â\u0301y."


# (shape, file bytes, options, encoding and confidence reported, rule, a text of the export)
# fmt: off
SHAPES = [
    ("cp1252 typographic", legacy("cp1252", "I don’t feel well…", "I’m fine, “really”.", "Don’t go – please."),
     {}, ("cp1252", 0.5), ("I’m", "I am"), "I am fine, “really”."),
    # One stray cp1252 byte in UTF-8: kept as it is, the rest read as UTF-8, and said so.
    ("mostly utf-8", cues("Você está aqui?", "Não sei.") + b" \x92", {}, ("utf-8", 0.0), ("aqui", "aqui\u00a0!"),
     "Você está aqui\u00a0!?"),
    ("iso-2022-jp", "\r\n".join(["1", "00:00:01,000 --> 00:00:02,000", "私は、ここにいます。"]).encode("iso2022_jp"),
     {}, ("iso2022_jp", 1.0), ("私", "僕"), "僕は、ここにいます。"),
    ("cp950", legacy("cp950", "我們可以走了嗎？", "裏面有人／外面沒有。", "你好，我們走吧～"), {}, ("cp950", 0.5),
     ("裏面", "裡面"), "裡面有人／外面沒有。"),
    ("cp932", legacy("cp932", "ありがとう～", "①番の部屋はどこですか？", "田中さん、こんにちは。"), {}, ("cp932", 0.5),
     ("～", "！"), "ありがとう！"),
    ("cp874", legacy("cp874", "“ครับ” ฉันนอนไม่หลับ…", "พ่อของเธออยู่ที่ไหน", "เขาออกไปเมื่อชั่วโมงก่อน"), {},
     ("cp874", 0.5), ("ครับ", "ค่ะ"), "“ค่ะ” ฉันนอนไม่หลับ…"),
    ("cp1250", legacy("cp1250", "Dušan Žiak: „Ďakujem“…", "Stojí to 20 €, šťastný?"), {}, ("cp1250", 0.5),
     ("Žiak", "Ž."), "Dušan Ž.: „Ďakujem“…"),
    # Short files whose few letters read as letters in several sister pages: the page
    # whose reading is one language's wins (cp1250 would make "děláš" "děláą"), in doubt.
    ("iso-8859-2, short", legacy("iso8859_2", "Co tu děláš tak pozdě?", "Nic."), {}, ("iso8859-2", 0.25),
     ("tak", "tam"), "Co tu děláš tam pozdě?"),
    ("cp1254, short", legacy("cp1254", "Kim o? Kapıda.", "Bilmem.…"), {}, ("cp1254", 0.5), ("Kapıda", "Burada"),
     "Kim o? Burada."),
    ("iso-8859-9, short", legacy("iso8859_9", "Koş!", "Her şey yolunda."), {}, ("cp1254", 0.25), ("Koş", "Dur"),
     "Dur!"),
    ("koi8-u", legacy("koi8_u", "Олексію, де ти?", "Їжа готова, іди сюди."), {}, ("koi8-u", 0.25),
     ("Олексію", "Петре"), "Петре, де ти?"),
    ("utf-16 without a mark", cues("Привет, как дела?").decode().encode("utf-16-le"), {}, ("utf-16-le", 0.5),
     ("как", "что"), "Привет, что дела?"),
    ("forced, with a mark", codecs.BOM_UTF8 + cues("Привет!"), {"encoding": "cp1251"}, ("utf-8", 1.0),
     ("Привет", "Салют"), "Салют!"),
    ("fallback, with a mark", codecs.BOM_UTF8 + cues("Привет!"), {"fallback_encoding": "cp1251"}, ("utf-8", 1.0),
     ("Привет", "Салют"), "Салют!"),
    ("fallback, UTF-8", cues("Привет!"), {"fallback_encoding": "koi8_r"}, ("utf-8", 1.0), ("Привет", "Салют"),
     "Салют!"),
    ("fallback, legacy", legacy("koi8_r", "Привет!"), {"fallback_encoding": "koi8_r"}, ("koi8-r", 1.0),
     ("Привет", "Салют"), "Салют!"),
    # Short Western files, whose few letters read as letters in the Central European page too.
    ("cp1252, Spanish ¿ ó", legacy("cp1252", "¿Dónde estabas anoche?"), {}, ("cp1252", 0.5),
     ("Dónde", "Adónde"), "¿Adónde estabas anoche?"),
    ("cp1252, Icelandic", legacy("cp1252", "Hvað ertu að gera? Þetta er ótrúlegt."), {}, ("cp1252", 0.5),
     ("gera", "segja"), "Hvað ertu að segja? Þetta er ótrúlegt."),
    # Readings of other sister pages fit nearly as well: read right, but in doubt.
    ("cp1252, Italian è", legacy("cp1252", "È una promessa, è vero."), {}, ("cp1252", 0.25),
     ("una", "la"), "È la promessa, è vero."),
    ("cp1255, niqqud", legacy("cp1255", "שָׁלוֹם, מָה שְׁלוֹמְךָ?"), {}, ("cp1255", 0.25), ("מָה", "איך"),
     "שָׁלוֹם, איך שְׁלוֹמְךָ?"),
    ("iso-8859-4", legacy("iso8859_4", "Ką tu darai? Mūsų namas gražus."), {}, ("iso8859-4", 0.5),
     ("darai", "veiki"), "Ką tu veiki? Mūsų namas gražus."),
    ("iso-8859-16", legacy("iso8859_16", "„Ce faci?” Mulțumesc, știu că vrei să pleci."), {},
     ("iso8859-16", 0.25), ("faci", "zici"), "„Ce zici?” Mulțumesc, știu că vrei să pleci."),
    ("cp1258, decomposed", cues(VIETNAMESE % "anh").decode().encode("cp1258"), {}, ("cp1258", 0.5), ("anh", "chị"),
     VIETNAMESE % "chị"),
    ("euc-kr, one cue", legacy("euc_kr", "안녕하세요"), {}, ("cp949", 0.5), ("안녕", "반갑"), "반갑하세요"),
    ("cp949 syllables", legacy("cp949", "똠방각하, 햏자 뷁!"), {}, ("cp949", 0.5), ("햏자", "선생"),
     "똠방각하, 선생 뷁!"),
    # UTF-16 whose characters hold the byte 0x1B (Л is 1B 04), and CJK text with few zero bytes.
    ("utf-16, ESC bytes", cues("Лето. Привет, Луна!").decode().encode("utf-16-le"), {}, ("utf-16-le", 0.5),
     ("Луна", "Солнце"), "Лето. Привет, Солнце!"),
    ("utf-16, Thai ป", cues("ปลา ปู").decode().encode("utf-16-le"), {}, ("utf-16-le", 0.5), ("ปู", "กุ้ง"), "ปลา กุ้ง"),
    ("utf-16, Japanese", cues(*["今日は良い天気ですね。私は学校に行きます。" * 8] * 3).decode().encode("utf-16-le"), {},
     ("utf-16-le", 0.5), ("学校", "会社"), "今日は良い天気ですね。私は会社に行きます。" * 8),
    # A cp1251 file with UTF-8 cues joined to it: read as the page, and in doubt.
    ("joined", legacy("cp1251", *["Привет, как дела? Всё хорошо."] * 20) + b"\r\n\r\n"
     + cues(*["Пока, до завтра!"] * 3), {}, ("cp1251", 0.25), ("хорошо", "плохо"), "Привет, как дела? Всё плохо."),
]
# fmt: on


@pytest.mark.parametrize(
    "data, options, read_as, rule, text", [shape[1:] for shape in SHAPES], ids=[shape[0] for shape in SHAPES]
)
def test_each_shape_is_read_right_and_reported_alike(workdir, data, options, read_as, rule, text):
    (workdir / "ep.srt").write_bytes(data)
    words = WordList({rule[0]: rule[1], "\\bi\\b": "I", "o": "0"})
    verdicts = {
        (result.encoding, result.confidence)
        for result in (
            rewrite("ep.srt", WordList({}), **options),
            export("ep.srt", words, **options),
            preview("ep.srt", words, **options),
        )
    }
    assert verdicts == {read_as}
    assert (workdir / "[Quorvanted] ep.srt").read_bytes() == data
    exported = json.loads((workdir / "[Quorvanted] ep.json").read_text("utf-8"))
    assert text.replace("o", "0") in exported.values()
    rewritten = rewrite_bytes(data, "srt", words, **options)
    twin = export_texts(rewritten, "srt", WordList({}), **options)
    # The export file shows a byte that did not decode as U+FFFD.
    # Canonically equivalent: a rule's "ị" is written as cp1258 holds it, i and U+0323.
    assert {
        key: unicodedata.normalize("NFC", value.encode(errors="surrogateescape").decode(errors="replace"))
        for key, value in twin.items()
    } == {key: unicodedata.normalize("NFC", value) for key, value in exported.items()}


@pytest.mark.parametrize("option", ["encoding", "fallback_encoding", "output_encoding"])
def test_only_text_codecs_are_accepted(workdir, write_words, option):
    (workdir / "ep.srt").write_bytes(cues("Hi"))
    with pytest.raises(ValueError, match="rot13"):
        rewrite("absent.srt", WordList({}), **{option: "rot13"})
    flag = "--" + option.replace("_", "-")
    run = quorvant("rewrite", "ep.srt", "-w", write_words({}), flag, "base64", cwd=workdir)
    assert run.returncode == 2 and "base64" in run.stderr


def test_command_line_shows_guesses_and_warns_of_stray_bytes(workdir, write_words):
    (workdir / "guessed.srt").write_bytes(SHAPES[0][1])
    (workdir / "stray.srt").write_bytes(SHAPES[1][1])
    run = quorvant("rewrite", "guessed.srt", "stray.srt", "-w", write_words({}), cwd=workdir)
    assert "guessed.srt -> [Quorvanted] guessed.srt (cp1252, guessed)" in run.stdout
    assert "stray.srt: some of its bytes are not utf-8" in run.stderr and "--fallback-encoding" in run.stderr

    # A mixed folder: the fallback reads the legacy file and leaves the UTF-8 one alone.
    (workdir / "utf8.srt").write_bytes(cues("Привет!"))
    (workdir / "koi8.srt").write_bytes(legacy("koi8_r", "Привет!"))
    run = quorvant(
        "export", "utf8.srt", "koi8.srt", "-w", write_words({}), "--fallback-encoding", "koi8-r", "--json", cwd=workdir
    )
    files = {entry["input"]: (entry["encoding"], entry["confidence"]) for entry in json.loads(run.stdout)["files"]}
    assert files == {"utf8.srt": ("utf-8", 1.0), "koi8.srt": ("koi8-r", 1.0)}
    assert json.loads((workdir / "[Quorvanted] koi8.json").read_text("utf-8")) == {"1": "Привет!"}


@pytest.mark.parametrize(
    "data, read_as",
    [
        ("1\r\nПривет".encode("utf-32-le"), ("utf-32-le", 0.5)),
        ("1\r\n안녕하세요".encode("iso2022_kr"), ("iso2022_kr", 1.0)),
        ("1\r\n你好，世界".encode("hz"), ("hz", 0.5)),
        # ISO-2022-CN has no Python codec: matched byte-wise, and said so.
        (b"1\r\n\x1b$)A\x0e<:Ky\x0f\r\n", (None, 0.0)),
        # HZ's shift in ASCII that is no HZ text, and a terminal's colour escape.
        (b"1\r\n~{ not hz ~}", ("utf-8", 1.0)),
        (b"1\r\n\x1b[31mred\x1b[0m", ("utf-8", 1.0)),
    ],
    ids=["utf-32", "iso-2022-kr", "hz", "iso-2022-cn", "tilde brace", "colour escape"],
)
def test_rarer_shapes_are_told_by_their_bytes(data, read_as):
    decoding = choose(data)
    assert (decoding.encoding, decoding.confidence) == read_as


NFD = functools.partial(unicodedata.normalize, "NFD")


# (encoding, first cue as stored, rule, first cue as written, mode): the second cue, "Cảm ơn." as
# stored, is left alone and keeps its bytes.
# fmt: off
EQUIVALENT = [
    # cp1258 stores ễ as ê and U+0303: the composed rule matches, and "ầ" is written as â and U+0300.
    ("cp1258", VIETNAMESE % "anh", ("Nguyễn", "Trần"), "Trâ\u0300n đa\u0303 biê\u0301t anh â\u0301y.", True),
    ("utf-8", NFD("Nguyễn đã biết anh ấy."), ("Nguyễn", "Trần"), NFD("Trần đã biết anh ấy."), True),
    ("utf-8", "Nguyễn đã biết anh ấy.", (NFD("Nguyễn"), "Trần"), "Trần đã biết anh ấy.", True),
    ("utf-8", NFD("Nguyễn đã biết anh ấy."), ("Nguyễn", "Trần"), NFD("Nguyễn đã biết anh ấy."), False),
]
# fmt: on


@pytest.mark.parametrize("encoding, stored, rule, written, unicode", EQUIVALENT)
def test_character_mode_matches_canonically_equivalent_text(workdir, encoding, stored, rule, written, unicode):
    left_alone = "Ca\u0309m ơn." if encoding == "cp1258" else NFD("Cảm ơn.")
    data = cues(stored, left_alone).decode().encode(encoding)
    rewritten = rewrite_bytes(data, "srt", WordList(dict([rule])), encoding=encoding, unicode=unicode)
    assert rewritten == cues(written, left_alone).decode().encode(encoding)
    (workdir / "ep.srt").write_bytes(data)
    assert preview("ep.srt", WordList(dict([rule])), unicode=unicode, encoding=encoding).rules == (
        {rule[0]: 1} if unicode else {}
    )


@pytest.mark.parametrize("strays, mostly_utf8", [(1, True), (2, False)])
def test_mostly_utf8_holds_at_two_sequences_a_stray_byte(strays, mostly_utf8):
    # Two UTF-8 sequences for each stray byte is still UTF-8 with a few strays; one stray more is not.
    data = b"1\r\n00:00:01,000 --> 00:00:02,000\r\nCaf\xc3\xa9 \xc3\xa9" + b" \xe9" * strays + b"\r\n"
    decoding = choose(data)
    assert ((decoding.encoding, decoding.confidence) == ("utf-8", 0.0)) == mostly_utf8


def test_diff_shows_the_new_text_in_the_output_encoding(workdir, write_words):
    (workdir / "ep.srt").write_bytes(legacy("cp1252", "Un café."))
    words = write_words({"café": "café crème"})
    run = quorvant(
        "rewrite", "ep.srt", "-w", words, "--encoding", "cp1252", "--output-encoding", "utf-8", "--diff", cwd=workdir
    )
    assert "\n-Un café.\n" in run.stdout and "\n+Un café crème.\n" in run.stdout
