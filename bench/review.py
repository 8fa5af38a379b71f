"""Times the review page in Chromium on a season: 72 files of 600 cues (ASS and SubRip
in turn) with a 40-rule list.

    .venv/bin/python bench/review.py [--files N] [--cues N] [--rules N] [--repeats N]

1. the page usable: from asking Chromium for the printed address to the first changes
   shown with every control working (the page's body says data-usable="true"), target
   under 2 s; beside it the time until every change is on the page (data-state="ready")
   and the time `quorvant review` takes to read the files and print the address;
2. a rule turned off: from unticking it to the page painting the changes worked out
   again without it, by the page's clock, target under 300 ms; the median of --repeats
   for the rule with the most hits and for the median of those with hits, the rule turned on
   again between them.

Chromium is Debian's (/usr/bin/chromium), driven by playwright.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import inputs
from playwright.sync_api import sync_playwright

CHROMIUM = "/usr/bin/chromium"
USABLE_LIMIT = 2.0
REWORK_LIMIT = 0.3


def write_season(directory: Path, files: int, cues: int, rules: int) -> str:
    rng = random.Random(2026)
    texts = []
    for number in range(1, files + 1):
        if number % 2:
            data = inputs.ass_file(cues, rng)
            (directory / f"episode-{number:02}.ass").write_bytes(data)
        else:
            data = inputs.srt_file(cues, rng)
            (directory / f"episode-{number:02}.srt").write_bytes(data)
        texts.append(data.decode("utf-8", "replace"))
    (directory / "words.json").write_text(json.dumps(inputs.word_list(rules, texts)), encoding="utf-8")
    return "words.json"


# Unticks the rule's box and waits, in the page, for the changes without it to be
# shown and painted; then ticks it again. Milliseconds by the page's own clock.
TOGGLE = """async (pattern) => {
  const rule = [...document.querySelectorAll("[data-rule]")].find((node) => node.dataset.rule === pattern);
  const box = rule.querySelector("input");
  const settled = () => new Promise((resolve) => {
    const look = () => (document.body.dataset.state === "ready" ? resolve() : requestAnimationFrame(look));
    look();
  });
  const painted = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
  const start = performance.now();
  box.click();
  await settled();
  await painted();
  const took = performance.now() - start;
  box.click();
  await settled();
  return took;
}"""


def toggled(page, pattern: str) -> float:
    return page.evaluate(TOGGLE, pattern)


def verdict(seconds: float, limit: float) -> str:
    return f"{'met' if seconds < limit else 'MISSED'} (target < {limit * 1000:.0f} ms)"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=72)
    parser.add_argument("--cues", type=int, default=600)
    parser.add_argument("--rules", type=int, default=40)
    parser.add_argument("--repeats", type=int, default=5)
    options = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        season = Path(folder)
        words = write_season(season, options.files, options.cues, options.rules)
        started = time.perf_counter()
        review = subprocess.Popen(
            [sys.executable, "-m", "c_quorvant", "review", ".", "-w", words, "--no-browser"],
            cwd=season,
            stdout=subprocess.PIPE,
            text=True,
        )
        try:
            url = review.stdout.readline().split()[-1]  # type: ignore[union-attr]
            served = time.perf_counter() - started
            with sync_playwright() as playwright:
                browser = playwright.chromium.launch(executable_path=CHROMIUM)
                page = browser.new_page(viewport={"width": 1400, "height": 900})
                asked = time.perf_counter()
                page.goto(url, wait_until="commit")
                page.wait_for_selector("body[data-usable=true]", timeout=60_000)
                usable = time.perf_counter() - asked
                page.wait_for_selector("body[data-state=ready]", timeout=60_000)
                whole = time.perf_counter() - asked
                changes = page.locator("[data-change]").count()
                counts = page.eval_on_selector_all("[data-rule] .count", "nodes => nodes.map(n => +n.textContent)")
                patterns = page.eval_on_selector_all("[data-rule]", "nodes => nodes.map(n => n.dataset.rule)")
                ranked = sorted(zip(counts, patterns, strict=True), reverse=True)
                hit = [rule for rule in ranked if rule[0]]
                chosen = {"busiest": hit[0], "median": hit[len(hit) // 2]}
                reworks = {
                    name: [toggled(page, pattern) for _ in range(options.repeats)]
                    for name, (_hits, pattern) in chosen.items()
                }
                page.click("#finish")
                browser.close()
            review.wait(timeout=60)
        finally:
            if review.poll() is None:
                review.kill()
                review.wait()
    print(f"{options.files} files of {options.cues} cues, {options.rules} rules: {changes} changes")
    print(f"read and served in {served * 1000:.0f} ms (the address printed)")
    print(f"page usable in Chromium: {usable * 1000:.0f} ms  {verdict(usable, USABLE_LIMIT)}")
    print(f"every change on the page: {whole * 1000:.0f} ms")
    print(f"load average while it ran: {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    for name, (hits, pattern) in chosen.items():
        rework = statistics.median(reworks[name])
        print(
            f"the {name} rule {pattern} ({hits} hits) turned off: median {rework:.0f} ms of {options.repeats} "
            f"({', '.join(f'{r:.0f}' for r in reworks[name])})  {verdict(rework / 1000, REWORK_LIMIT)}"
        )


if __name__ == "__main__":
    main()
