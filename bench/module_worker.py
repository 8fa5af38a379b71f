"""Runs one of the module's passes in a fresh interpreter and prints what it measured.

  module_worker.py time EXTENSION PASS SUBFILE WORDS REPEATS  -> JSON list of seconds
  module_worker.py memory EXTENSION PASS SUBFILE WORDS       -> JSON peak RSS growth in bytes

EXTENSION is "installed" or the path of a modify_subs extension built elsewhere (the
compile-per-text baseline); it is loaded under the module's own name.
"""

from __future__ import annotations

import importlib.util
import json
import resource
import sys
import time


def load(extension: str):
    if extension == "installed":
        import c_quorvant.modify_subs as module

        return module
    module_spec = importlib.util.spec_from_file_location("c_quorvant.modify_subs", extension)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def peak_rss_bytes() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def main(mode: str, extension: str, pass_name: str, subfile: str, words: str, *rest: str) -> None:
    module = load(extension)
    run = {"export": module.modify_subs_py, "rewrite": module.overwrite_subs}[pass_name]
    if mode == "memory":
        baseline = peak_rss_bytes()
        if not run(subfile, words):
            raise SystemExit("the pass failed")
        print(json.dumps(peak_rss_bytes() - baseline))
        return
    times = []
    for _ in range(int(rest[0])):
        start = time.perf_counter()
        if not run(subfile, words):
            raise SystemExit("the pass failed")
        times.append(time.perf_counter() - start)
    print(json.dumps(times))


if __name__ == "__main__":
    main(*sys.argv[1:])
