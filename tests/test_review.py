"""The review page's server and session without a browser: what it refuses, how it
stops, and that its changes and writes are the passes' own."""

import json
import shutil
import signal
import socket

import pytest
from conftest import DATA_DIR, quorvant, run_python

from c_quorvant import _api, api
from c_quorvant.review.server import ReviewServer, is_loopback
from c_quorvant.review.session import Session, cue_times
from c_quorvant.text_encoding import choose

pytest.importorskip("starlette")

EPISODE = (
    "1\n00:00:01,000 --> 00:00:02,000\nHello Tanaka-san.\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\nA cat, senpai.\n\n"
    "2\n00:00:05,000 --> 00:00:06,000\nHello Tanaka-san.\n\n"
    "3\n00:00:07,000 --> 00:00:08,000\nNothing to change.\n"
)
RULES = {"-san": "", "cat": "dog", "dog": "wolf", "\\bsenpai\\b": "upperclassman"}


@pytest.fixture
def season(workdir, write_words):
    (workdir / "ep1.srt").write_text(EPISODE, encoding="utf-8")
    shutil.copy(DATA_DIR / "y_haruhi-01-pt.ass", workdir / "ep2.ass")
    return write_words(RULES)


def settings_for(*args):
    """The Settings the command line makes of `review ARGS`."""
    from c_quorvant.cli import _dispatch, build_parser

    seen = []
    parsed = build_parser().parse_args(["review", *args])
    parsed.debug, parsed.verbosity = False, 0
    import c_quorvant.cli.review as review

    original = review.run_review
    review.run_review = lambda _args, settings: seen.append(settings) or 0
    try:
        _dispatch(parsed, lambda: None)
    finally:
        review.run_review = original
    return seen[0]


@pytest.mark.parametrize("disabled", [(), ("cat",), ("dog",), ("-san",), ("cat", "dog", "-san", "\\bsenpai\\b")])
def test_changes_without_rules_are_previews_with_the_rest(season, disabled):
    session = Session(settings_for(".", "-w", season))
    worked = session.work(frozenset(disabled))
    words = api.WordList({pattern: value for pattern, value in RULES.items() if pattern not in disabled})
    expected = [(file.path, api.preview(file.path, words)) for file in session.episodes]
    shown = [(session.episodes[change["file"]].path, change["before"], change["after"]) for change in worked.changes]
    assert shown == [(path, before, after) for path, found in expected for _key, before, after in found.changes]
    hits = dict(zip([rule.pattern for rule in session.rules], worked.hits, strict=True))
    totals = {pattern: sum(found.rules.get(pattern, 0) for _path, found in expected) for pattern in RULES}
    assert hits == {pattern: 0 if pattern in disabled else count for pattern, count in totals.items()}


def test_apply_leaves_rejected_texts_even_under_a_repeated_cue_number(workdir, season):
    session = Session(settings_for("ep1.srt", "-w", season))
    changes = session.work(frozenset()).changes
    # The second "Hello Tanaka-san." is the third text, under the cue number 2 given twice.
    repeated = [change for change in changes if change["before"] == "Hello Tanaka-san."]
    assert [(change["key"], change["position"]) for change in repeated] == [("1", 0), ("2", 2)]
    (done,) = session.apply(frozenset({"dog"}), {0: {2}})
    assert done["status"] == "written"
    texts = api.export_texts((workdir / "[Quorvanted] ep1.srt").read_bytes(), "srt", api.WordList({}))
    assert list(texts.values()) == ["Hello Tanaka.", "A dog, upperclassman.", "Hello Tanaka-san.", "Nothing to change."]


@pytest.mark.parametrize(
    "name, format, encoding",
    [
        ("y_haruhi-01-pt.ass", "ass", "auto"),
        ("y_monsters-win-crlf.srt", "srt", "auto"),
        ("y_dialogue-crlf.vtt", "vtt", "auto"),
        ("y_onegai-teacher-01-utf16le.ass", "ass", "auto"),
        # Named: a guess made anew on the rewritten bytes could differ.
        ("y_russian-cp1251.srt", "srt", "cp1251"),
    ],
)
def test_rewrite_bytes_keeps_the_texts_asked(name, format, encoding):
    data = (DATA_DIR / name).read_bytes()
    # No "a": the WebVTT sample's "&amp;" would be broken, and the rewrite refused.
    words = api.WordList({"[eiou]|а|о": "_"})

    def texts(data, rules=None):
        return list(api.export_texts(data, format, rules or api.WordList({}), encoding=encoding).values())

    def rewritten(keep=()):
        return api.rewrite_bytes(data, format, words, encoding=encoding, keep=keep)

    count = len(texts(data))
    assert rewritten(range(count)) == data
    assert rewritten() != data and rewritten([count + 5]) == rewritten()
    before, after = texts(data), texts(data, words)
    assert texts(rewritten(range(0, count, 2))) == [before[i] if i % 2 == 0 else after[i] for i in range(count)]


@pytest.mark.parametrize(
    "heading, times",
    [
        ("Dialogue: 0,0:00:01.97,1:02:04.36,Default,,0,0,0,,", (1970, 3724360)),
        ("00:31:37,894 --> 00:31:39,928 X1:10", (1897894, 1899928)),
        ("01:02.500 --> 01:04.000 align:start", (62500, 64000)),
        ("", None),
    ],
)
def test_cue_times(heading, times):
    assert cue_times(heading) == times


@pytest.mark.parametrize(
    "name, format, first, last",
    [
        ("y_dialogue-crlf.vtt", "vtt", (1000, 3500), (13000, 15000)),
        ("y_quiz-cr-empty-cues.vtt", "vtt", (500, 2000), (6500, 8000)),
        ("y_monsters-win-crlf.srt", "srt", (1897894, 1899928), (1901933, 1903435)),
        ("y_haruhi-01-pt.ass", "ass", (1970, 4360), (1403740, 1404940)),
        ("y_onegai-teacher-01-utf16le.ass", "ass", (25890, 27950), (1351850, 1353610)),
    ],
)
def test_each_text_is_timed_by_its_own_line(name, format, first, last):
    data = (DATA_DIR / name).read_bytes()
    texts = _api.document_texts(choose(data).to_native(data), format)
    assert len(texts) == len(api.export_texts(data, format, api.WordList({})))
    assert (cue_times(texts[0][2]), cue_times(texts[-1][2])) == (first, last)


@pytest.mark.parametrize(
    "host, loopback",
    [
        ("127.0.0.1", True),
        ("127.0.0.2", True),
        ("::1", True),
        ("localhost", True),
        ("0.0.0.0", False),
        ("10.1.2.3", False),
    ],
)
def test_loopback(host, loopback):
    assert is_loopback(host) == loopback


JSON = "application/json"
# (method, path, body, headers replacing the visit's, status); `{token}` and `{port}` filled in.
REQUESTS = [
    ("GET", "/", None, {"Cookie": None}, 403),
    ("GET", "/?token=wrong", None, {"Cookie": None}, 403),
    ("GET", "/?token={token}", None, {"Cookie": None}, 303),
    ("GET", "/", None, {}, 200),
    ("GET", "/api/state?token={token}", None, {"Cookie": None}, 403),
    ("GET", "/api/state", None, {"Host": "localhost:{port}"}, 200),
    ("GET", "/api/state", None, {"Host": "rebound.example:{port}"}, 400),
    ("GET", "/api/state", None, {"Host": ""}, 400),
    ("POST", "/api/changes", "{}", {"Content-Type": JSON, "X-Review-Token": "{token}"}, 200),
    ("POST", "/api/changes", "{}", {"Content-Type": JSON}, 403),
    ("POST", "/api/changes", "disabled=", {"Content-Type": "application/x-www-form-urlencoded"}, 415),
    (
        "POST",
        "/api/changes",
        "{}",
        {"Content-Type": JSON, "X-Review-Token": "{token}", "Origin": "http://rebound.example"},
        403,
    ),
    (
        "POST",
        "/api/changes",
        "{}",
        {"Content-Type": JSON, "X-Review-Token": "{token}", "Sec-Fetch-Site": "cross-site"},
        403,
    ),
    ("PUT", "/api/changes", "{}", {"Content-Type": JSON, "X-Review-Token": "{token}"}, 405),
    ("POST", "/api/changes", '{"disabled": ["../ep1.srt"]}', {"Content-Type": JSON, "X-Review-Token": "{token}"}, 400),
    ("POST", "/api/apply", '{"rejected": [["ep1.srt", 0]]}', {"Content-Type": JSON, "X-Review-Token": "{token}"}, 400),
    ("POST", "/api/apply", '{"rejected": [[7, 0]]}', {"Content-Type": JSON, "X-Review-Token": "{token}"}, 400),
    ("POST", "/api/apply", "[]", {"Content-Type": JSON, "X-Review-Token": "{token}"}, 400),
    ("GET", "/static/review.js", None, {}, 200),
    ("GET", "/static/index.html", None, {}, 404),
    ("GET", "/static/../session.py", None, {}, 404),
    ("GET", "/static/%2e%2e%2fsession.py", None, {}, 404),
    ("GET", "/static/..%2f..%2fep1.srt", None, {}, 404),
    ("GET", "/ep1.srt", None, {}, 404),
]


def test_requests_refused_and_let_through(workdir, season, start_review):
    review = start_review(".", "-w", season)
    seen = []
    for method, path, body, headers, _status in REQUESTS:
        filled = {
            name: None if value is None else value.format(token=review.token, port=review.port)
            for name, value in headers.items()
        }
        status, _text = review.request(method, path.format(token=review.token), body, filled)
        seen.append(status)
    assert seen == [status for *_request, status in REQUESTS]
    # Nothing refused wrote anything.
    assert sorted(path.name for path in workdir.iterdir()) == ["ep1.srt", "ep2.ass", "words.json"]


def test_finishing_stops_the_server(season, start_review):
    review = start_review(".", "-w", season)
    assert review.post("/api/finish", {}) == (200, '{"finished":true}')
    assert review.process.wait(timeout=30) == 0
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection(("127.0.0.1", review.port), timeout=5)


def test_a_request_after_finishing_is_refused(season):
    session = Session(settings_for(".", "-w", season))
    with ReviewServer(session) as server:
        cookie = f"quorvant_review={server.token}"
        server.finished.set()
        import http.client

        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=30)
        connection.request("GET", "/api/state", headers={"Cookie": cookie})
        assert connection.getresponse().status == 410
        connection.close()


@pytest.mark.parametrize("document", ['{"(": "x"}', '{"a": "b"'])
def test_a_broken_word_list_is_told_as_rewrite_tells_it(workdir, start_review, document):
    (workdir / "ep1.srt").write_text(EPISODE, encoding="utf-8")
    (workdir / "bad.json").write_text(document, encoding="utf-8")
    told = quorvant("rewrite", "ep1.srt", "-w", "bad.json", cwd=workdir).stderr
    review = start_review("ep1.srt", "-w", "bad.json")
    problem = json.loads(review.request("GET", "/api/state")[1])["problem"]
    assert told and [f"quorvant: {line}" for line in problem.splitlines()] == told.splitlines()
    assert review.post("/api/apply", {})[0] == 409
    assert not (workdir / "[Quorvanted] ep1.srt").exists()


def test_without_the_extra_review_names_it(season):
    result = run_python(
        f"""
        import sys
        sys.modules["starlette"] = None
        from c_quorvant.cli import main
        sys.exit(main(["review", "ep1.srt", "-w", {season!r}, "--no-browser"]))
        """
    )
    assert result.returncode == 1
    assert 'pip install "c_quorvant[review]"' in result.stderr


def test_ctrl_c_stops_the_review(season, start_review):
    review = start_review(".", "-w", season)
    review.process.send_signal(signal.SIGINT)
    assert review.process.wait(timeout=30) == 130
    assert review.process.stderr.read().endswith("quorvant: interrupted\n")
