"""The review page in Chromium, as a person uses it: what it shows, what ticking and
keys do, and the files Apply leaves."""

import os
import shutil

import pytest
from conftest import DATA_DIR

from c_quorvant import api

pytest.importorskip("starlette")
sync_api = pytest.importorskip("playwright.sync_api")

CHROMIUM = "/usr/bin/chromium"
pytestmark = pytest.mark.skipif(not os.path.exists(CHROMIUM), reason=f"no Chromium at {CHROMIUM}")

SCRIPTED = "<script>document.title = 'run'</script> Tanaka-san"
EPISODE = (
    "1\n00:00:01,000 --> 00:00:02,000\nHello Tanaka-san.\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\nA cat, senpai.\n\n"
    f"3\n00:10:05,000 --> 00:10:06,000\n{SCRIPTED}\n\n"
    "4\n00:20:07,000 --> 00:20:08,000\nNothing to change.\n"
)
RULES = {"-san": "", "cat": "dog", "dog": "wolf", "\\bsenpai\\b": "upperclassman", "ш": "Ш"}
NO_RULES = api.WordList({})


@pytest.fixture(scope="module")
def browser():
    with sync_api.sync_playwright() as playwright:
        launched = playwright.chromium.launch(executable_path=CHROMIUM)
        yield launched
        launched.close()


@pytest.fixture
def season(workdir, write_words):
    (workdir / "ep1.srt").write_text(EPISODE, encoding="utf-8")
    shutil.copy(DATA_DIR / "y_haruhi-01-pt.ass", workdir / "ep2.ass")
    shutil.copy(DATA_DIR / "y_russian-cp1251.srt", workdir / "ep3.srt")
    return write_words(RULES)


@pytest.fixture
def open_page(browser, start_review):
    pages = []

    def open_it(*args):
        review = start_review(*args)
        page = browser.new_page(viewport={"width": 1400, "height": 900})
        pages.append(page)
        page.goto(review.url)
        page.wait_for_selector("body[data-state=ready]")
        return page

    yield open_it
    for page in pages:
        page.close()


def change(page, before):
    return page.locator(f"xpath=//*[@data-change][@data-before={_xpath(before)}]")


def rule(page, pattern):
    return page.locator(f"xpath=//*[@data-rule={_xpath(pattern)}]")


def _xpath(text):
    return "concat(" + ', "\'", '.join(f"'{part}'" for part in text.split("'")) + ", '')"


def texts_of(path, encoding="auto"):
    return list(api.export_texts(path.read_bytes(), "srt", NO_RULES, encoding=encoding).values())


def wait_written(page):
    page.wait_for_selector("#results:not([hidden])")
    page.wait_for_selector("body[data-state=ready]")
    return {
        item.get_attribute("data-path"): item.get_attribute("data-result")
        for item in page.locator("[data-result]").all()
    }


def test_the_page_shows_what_preview_finds(season, open_page):
    page = open_page(".", "-w", season)
    # The README's picture, when asked for.
    if os.environ.get("REVIEW_SCREENSHOT"):
        page.screenshot(path=os.environ["REVIEW_SCREENSHOT"])
    words = api.WordList(RULES)
    for name in ("ep1.srt", "ep2.ass", "ep3.srt"):
        found = api.preview(name, words)
        row = page.locator(f"[data-file-row='./{name}']")
        assert f"{len(found.changes)} change" in row.inner_text()
        assert page.locator(f"[data-file='./{name}']").count() == len(found.changes)
        assert row.locator(".guessed").count() == (found.confidence == 0.5)
        assert row.locator("canvas.timeline").is_visible()
    totals = {
        pattern: sum(api.preview(name, words).rules.get(pattern, 0) for name in ("ep1.srt", "ep2.ass", "ep3.srt"))
        for pattern in RULES
    }
    shown = {
        rule.get_attribute("data-rule"): int(rule.locator(".count").inner_text())
        for rule in page.locator("[data-rule]").all()
    }
    assert shown == totals
    # The one-rule filter and the search box leave only what they name.
    page.select_option("#rule-filter", label="\\bsenpai\\b")
    assert [row.get_attribute("data-before") for row in page.locator("[data-change]:visible").all()] == [
        "A cat, senpai."
    ]
    page.select_option("#rule-filter", "")
    page.fill("#search", "tanaka")
    assert page.locator("[data-change]:visible").count() == 2
    page.fill("#search", "")


def test_a_cue_holding_markup_shows_it_as_text(season, open_page):
    page = open_page("ep1.srt", "-w", season)
    scripted = change(page, SCRIPTED)
    assert SCRIPTED in scripted.locator(".before").inner_text()
    assert page.locator("#changes script").count() == 0
    assert page.title() == "Review: quorvant"


@pytest.mark.parametrize(
    "options, output, backup",
    [
        ((), "[Quorvanted] ep1.srt", None),
        (("-o", "clean", "--name", "{name}"), "clean/ep1.srt", None),
        (("--in-place",), "ep1.srt", "ep1.srt.orig"),
    ],
)
def test_unticked_changes_and_rules_stay_out_of_what_apply_writes(workdir, season, open_page, options, output, backup):
    page = open_page("ep1.srt", "ep3.srt", "-w", season, *options)
    original = (workdir / "ep1.srt").read_bytes()
    rule(page, "\\bsenpai\\b").locator("input").uncheck()
    page.wait_for_selector("body[data-state=ready]")
    assert change(page, "A cat, senpai.").locator(".after").inner_text().endswith("A wolf, senpai.")
    assert rule(page, "\\bsenpai\\b").locator(".count").inner_text() == "off"
    change(page, "Hello Tanaka-san.").locator("input").uncheck()
    page.get_by_role("button", name="Apply").click()
    assert wait_written(page) == {"ep1.srt": "written", "ep3.srt": "written"}
    assert texts_of(workdir / output) == [
        "Hello Tanaka-san.",
        "A wolf, senpai.",
        "<script>document.title = 'run'</script> Tanaka",
        "Nothing to change.",
    ]
    kept_rules = api.WordList({pattern: value for pattern, value in RULES.items() if pattern != "\\bsenpai\\b"})
    ep3 = os.path.join(
        os.path.dirname(output), "ep3.srt" if output != "[Quorvanted] ep1.srt" else "[Quorvanted] ep3.srt"
    )
    assert (workdir / ep3).read_bytes() == api.rewrite_bytes(
        (DATA_DIR / "y_russian-cp1251.srt").read_bytes(), "srt", kept_rules
    )
    if backup:
        assert (workdir / backup).read_bytes() == original


def test_a_file_changed_on_disk_is_not_written(workdir, season, open_page):
    page = open_page("ep1.srt", "ep2.ass", "-w", season)
    (workdir / "ep1.srt").write_text(EPISODE.replace("Nothing", "Something"), encoding="utf-8")
    page.get_by_role("button", name="Apply").click()
    assert wait_written(page) == {"ep1.srt": "failed", "ep2.ass": "written"}
    assert "changed on disk" in page.locator("[data-path='ep1.srt']").inner_text()
    assert not (workdir / "[Quorvanted] ep1.srt").exists()


def test_keys_move_tick_and_apply(workdir, season, open_page):
    page = open_page("ep1.srt", "-w", season)
    page.keyboard.press("j")
    page.keyboard.press("j")
    assert page.evaluate("document.activeElement.closest('[data-change]').dataset.before") == "A cat, senpai."
    page.keyboard.press("Space")
    page.keyboard.press("ArrowDown")
    page.keyboard.press("k")
    assert page.evaluate("document.activeElement.checked") is False
    page.keyboard.press("x")
    page.keyboard.press("ArrowUp")
    page.keyboard.press("x")
    page.keyboard.press("/")
    page.keyboard.type("cat")
    assert page.locator("[data-change]:visible").count() == 1
    page.keyboard.press("Escape")
    page.keyboard.press("Control+Enter")
    assert wait_written(page) == {"ep1.srt": "written"}
    assert texts_of(workdir / "[Quorvanted] ep1.srt") == [
        "Hello Tanaka-san.",
        "A wolf, upperclassman.",
        "<script>document.title = 'run'</script> Tanaka",
        "Nothing to change.",
    ]


@pytest.mark.parametrize("document", ['{"(": "x"}', '{"a": "b"'])
def test_a_broken_word_list_shows_the_command_lines_message(workdir, open_page, document):
    (workdir / "ep1.srt").write_text(EPISODE, encoding="utf-8")
    (workdir / "bad.json").write_text(document, encoding="utf-8")
    from conftest import quorvant

    told = quorvant("rewrite", "ep1.srt", "-w", "bad.json", cwd=workdir).stderr
    page = open_page("ep1.srt", "-w", "bad.json")
    shown = page.locator("#problem").inner_text()
    assert [f"quorvant: {line}" for line in shown.splitlines()] == told.splitlines()
    assert page.get_by_role("button", name="Apply").is_disabled()
