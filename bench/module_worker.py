"""Runs one of the module's passes in a fresh interpreter and prints what it measured.

  module_worker.py time EXTENSION PASS SUBFILE WORDS REPEATS  -> JSON list of seconds
  module_worker.py cpu EXTENSION PASS SUBFILE WORDS REPEATS   -> the same in CPU seconds
  module_worker.py memory EXTENSION PASS SUBFILE WORDS       -> JSON peak RSS growth in bytes

EXTENSION is "installed" or the path of a modify_subs extension built elsewhere (the
compile-per-text baseline); it is loaded under the module's own name. "api" runs the
public API's rewrite or export instead, with the word list loaded before any measurement,
as a caller that rewrites many files loads it once.
"""

from __future__ import annotations

import importlib.util
import json
import sys
import time
from collections.abc import Callable
from pathlib import Path


def load(extension: str):
    if extension == "installed":
        import c_quorvant.modify_subs as module

        return module
    module_spec = importlib.util.spec_from_file_location("c_quorvant.modify_subs", extension)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def pass_runner(extension: str, pass_name: str, subfile: str, words: str) -> Callable[[], object]:
    """One run of the pass; a falsy result is a failure (the API raises instead)."""
    if extension == "api":
        from c_quorvant import WordList, export, rewrite

        word_list = WordList.load(words)
        api_pass = {"export": export, "rewrite": rewrite}[pass_name]
        return lambda: api_pass(subfile, word_list)
    module = load(extension)
    module_pass = {"export": module.modify_subs_py, "rewrite": module.overwrite_subs}[pass_name]
    return lambda: module_pass(subfile, words)


def status_bytes(field: str) -> int:
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024
    raise RuntimeError(f"no {field} in /proc/self/status")


def reset_peak_rss() -> None:
    """The peak that getrusage reports starts at the RSS of the parent that forked this process,
    so the kernel's high-water mark is reset instead."""
    Path("/proc/self/clear_refs").write_text("5")


def main(mode: str, extension: str, pass_name: str, subfile: str, words: str, *rest: str) -> None:
    run = pass_runner(extension, pass_name, subfile, words)
    if mode == "memory":
        reset_peak_rss()
        baseline = status_bytes("VmRSS")
        if not run():
            raise SystemExit("the pass failed")
        print(json.dumps(status_bytes("VmHWM") - baseline))
        return
    # CPU time counts every thread of the process, the API's worker thread included.
    clock = time.process_time if mode == "cpu" else time.perf_counter
    times = []
    for _ in range(int(rest[0])):
        start = clock()
        if not run():
            raise SystemExit("the pass failed")
        times.append(clock() - start)
    print(json.dumps(times))


if __name__ == "__main__":
    main(*sys.argv[1:])
