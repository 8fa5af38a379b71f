#!/usr/bin/env python3
"""Plants each fault of FAULTS alone in a scratch copy of the tree, runs the tests
that should catch it, and prints which did.

A C++ fault is first tried on the C++ tests alone (the suite the sanitizer run
shares); the Python tests then get a module built with it. A Python fault is
planted in a copy of the installed package that PYTHONPATH puts first.

    .venv/bin/python tools/mutants.py [--only SUBSTRING] [--check]
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutants"
TREE = WORK / "tree"
CPP_BUILD = WORK / "cpp"
MODULE_BUILD = WORK / "module"
SITE = WORK / "site"
CORE = "modules/modify_subs/"
TEST_SECONDS = 900


@dataclass(frozen=True)
class Fault:
    """One planted fault: `before` appears exactly once in `path` and becomes `after`."""

    path: str
    before: str
    after: str
    why: str
    gtest: str = ""  # the C++ tests that should catch it (a --gtest_filter)
    pytest: tuple[str, ...] = field(default_factory=tuple)

    @property
    def native(self) -> bool:
        return self.path.startswith(CORE)

    @property
    def cpp(self) -> bool:
        return self.native and not self.path.endswith(".pyx")


# Realistic single faults, spread over every folder of the core and the package.
FAULTS = [
    # text/
    Fault(
        CORE + "text/utf8_text.cpp",
        "if (lead == 0xED) high = 0x9F;",
        "",
        "surrogates read as UTF-8",
        "*Utf8*:*JsonText*",
        ("tests/test_encodings.py",),
    ),
    Fault(
        CORE + "text/utf8_text.cpp",
        "lead >= 0xC2 && lead <= 0xDF",
        "lead >= 0xC0 && lead <= 0xDF",
        "overlong two-byte forms read as UTF-8",
        "*Utf8*:*JsonText*",
        ("tests/test_encodings.py",),
    ),
    Fault(
        CORE + "text/tag_runs.cpp",
        'std::string_view("Nnh").find',
        'std::string_view("Nn").find',
        "ASS \\h left to the rules",
        "*TagRuns*:*Substitution*",
        ("tests/test_api.py",),
    ),
    # pattern/
    Fault(
        CORE + "pattern/pattern_literals.cpp",
        "if (repeat.atLeastOnce && isStronger(atom.inner, _best))",
        "if (isStronger(atom.inner, _best))",
        "an optional group's literal taken as required",
        "*RequiredLiterals*:*PlainLiteral*:*Substitution*",
        ("tests/test_word_lists.py",),
    ),
    Fault(
        CORE + "pattern/pattern_literals.cpp",
        'if (repeat.present) {  // "ab+c" holds "ab" and "bc"',
        "if (false) {",
        "a repeated literal's run kept whole",
        "*RequiredLiterals*:*PlainLiteral*:*Substitution*",
        ("tests/test_api.py",),
    ),
    # stack/
    Fault(
        CORE + "stack/recursion_budget.cpp",
        "return perTextByte * static_cast<double>(textLength) + fixed;",
        "return fixed;",
        "the stack estimate ignores the text's length",
        "*StackEstimate*:*RecursionBudget*:*LargeStack*",
        ("tests/test_bad_inputs.py",),
    ),
    # rules/
    Fault(
        CORE + "rules/replacement_format.cpp",
        "} else if (next == '&') {",
        "} else if (next == '%') {",
        "$& written as it stands",
        "*Substitution*",
        ("tests/test_api.py",),
    ),
    Fault(
        CORE + "rules/replacement_format.cpp",
        "group = group * 10 + (format[pos] - '0');",
        "group = format[pos] - '0';",
        "$12 read as $2",
        "*Substitution*",
        ("tests/test_api.py",),
    ),
    Fault(
        CORE + "rules/case_shape.h",
        "if (smalls == 0 && capitals >= 2) {",
        "if (smalls == 0 && capitals >= 1) {",
        "one capital shaped as ALL CAPS",
        "*PreservedCase*:*Substitution*",
        ("tests/test_word_lists.py",),
    ),
    Fault(
        CORE + "rules/case_shape.h",
        "} else if (firstCapital && !capitalAfterFirst) {",
        "} else if (firstCapital) {",
        "mixed case shaped as Title",
        "*PreservedCase*:*Substitution*",
        ("tests/test_word_lists.py",),
    ),
    # io/
    Fault(
        CORE + "io/output.cpp",
        "if (replacedPermissions) *replacedPermissions &= permissionCeiling;",
        "",
        "a replaced output keeps bits its input lacks",
        "*WriteWholeFile*:*Export*:*ExistingOutput*",
        ("tests/test_outputs.py",),
    ),
    Fault(
        CORE + "io/output.cpp",
        "if (_created && !_committed) ::unlink(_path.c_str());",
        "",
        "a failed write leaves its temporary file",
        "*WriteWholeFile*:*Export*:*ExistingOutput*",
        ("tests/test_outputs.py",),
    ),
    # document/
    Fault(
        CORE + "document/webvtt_spans.cpp",
        "return count == 3 && minutes <= 59",
        "return count >= 3 && minutes <= 59",
        "4-digit WebVTT milliseconds accepted",
        "*WebVtt*:*DocumentLayer*",
        ("tests/test_documents.py",),
    ),
    Fault(
        CORE + "document/webvtt_spans.cpp",
        "if (count != 2) return false;\n    if (hours",
        "if (count < 1) return false;\n    if (hours",
        "1-digit WebVTT minutes accepted",
        "*WebVtt*:*DocumentLayer*",
        ("tests/test_documents.py",),
    ),
    Fault(
        CORE + "document/written_form.cpp",
        '.append("--&gt;");',
        '.append("-->");',
        "--> not escaped in WebVTT",
        "*WebVtt*:*DocumentLayer*",
        ("tests/test_written_forms.py",),
    ),
    Fault(
        CORE + "document/written_form.cpp",
        "written += \"\\\\N\";\n        if (text[at] == '\\r' && at + 1 < text.size() && text[at + 1] == '\\n')",
        "written += \"\\\\N\";\n        if (text[at] == '\\n' && at + 1 < text.size() && text[at + 1] == '\\r')",
        "ASS \\r\\n pairing reversed",
        "*DocumentLayer*:*RewritePass*",
        ("tests/test_written_forms.py",),
    ),
    Fault(
        CORE + "document/written_form.cpp",
        "joined += i - 1 < ends.size() ? ends[i - 1] : lineEnd;",
        "joined += lineEnd;",
        "a text's line ends replaced by the file's",
        "*DocumentLayer*:*Srt*",
        ("tests/test_written_forms.py",),
    ),
    Fault(
        CORE + "document/subtitle_document.cpp",
        'span.key() + "#" + std::to_string(times)',
        'span.key() + "#" + std::to_string(times - 1)',
        "N#2 keys written N#1",
        "*DocumentLayer*:*Failures*:*RunPass*",
        ("tests/test_documents.py",),
    ),
    Fault(
        CORE + "document/written_form.cpp",
        "if (!line.empty()) written.push_back(withEscapedArrows(line));",
        "written.push_back(withEscapedArrows(line));",
        "an empty WebVTT line written into a cue",
        "*WebVtt*:*DocumentLayer*",
        ("tests/test_written_forms.py",),
    ),
    # passes/ and the module
    Fault(
        CORE + "modifysubs.cpp",
        "fullString.size() >= ending.size() &&",
        "fullString.size() > ending.size() &&",
        "a file named exactly .srt refused",
        "*EndsWith*:*Dispatch*",
        ("tests/test_dispatch.py",),
    ),
    Fault(
        CORE + "subrip.cpp",
        "return hours * 3600000 + mins * 60000",
        "return hours * 360000 + mins * 60000",
        "hours counted as six minutes",
        "*TimeMSec*:*CueAnalysis*",
        (),
    ),
    # The binding
    Fault(
        CORE + "_api.pyx",
        "return text.encode('utf-8', 'surrogateescape')",
        "return text.encode('utf-8', 'replace')",
        "surrogate escapes lost on the way in",
        "",
        ("tests/test_api.py", "tests/test_word_lists.py"),
    ),
    # The package
    Fault(
        "c_quorvant/api.py",
        "key=lambda rule: _utf8(rule.pattern)",
        "key=lambda rule: rule.pattern",
        "rules sorted by code point",
        "",
        ("tests/test_word_lists.py",),
    ),
    Fault(
        "c_quorvant/api.py",
        'True: ("ass", True)}',
        'True: ("srt", True)}',
        "protect_tags=True on a text alone protects SubRip tags",
        "",
        ("tests/test_api.py",),
    ),
    Fault(
        "c_quorvant/text_encoding.py",
        "return multibyte >= 2 * stray",
        "return multibyte > 2 * stray",
        "the mostly-UTF-8 boundary moved",
        "",
        ("tests/test_encodings.py",),
    ),
    Fault(
        "c_quorvant/cli/preview.py",
        'body += _marked(" ", kept) + _marked("-", removed) + _marked("+", added)',
        'body += _marked(" ", kept) + _marked("+", removed) + _marked("-", added)',
        "--diff shows the change the wrong way round",
        "",
        ("tests/test_encodings.py", "tests/test_cli.py"),
    ),
    Fault(
        "c_quorvant/cli/cluster.py",
        "return [Result(job.index, problem=problem) for job, _ in batch]",
        "return [Result(batch[0][0].index, problem=problem)]",
        "a failing cluster batch reports its first file",
        "",
        ("tests/test_cluster.py",),
    ),
    Fault(
        "c_quorvant/formats.py",
        'stem, dot, own = name.rpartition(".")',
        'stem, dot, own = name.partition(".")',
        "the output name cut at the first dot",
        "",
        ("tests/test_formats.py", "tests/test_cli.py"),
    ),
    Fault(
        "c_quorvant/cli/inputs.py",
        "if name.startswith(OUTPUT_PREFIX) and not options.include_outputs:",
        "if name.startswith(OUTPUT_PREFIX) and options.include_outputs:",
        "earlier outputs taken as inputs",
        "",
        ("tests/test_cli.py",),
    ),
    Fault(
        "c_quorvant/cli/report.py",
        'return 2 if failed else 1 if self._count("changed") else 0',
        'return 1 if failed else 1 if self._count("changed") else 0',
        "preview --exit-code: failures read as changes",
        "",
        ("tests/test_cli.py",),
    ),
    Fault(
        "c_quorvant/errors.py",
        'super().__init__(reason if path is None else f"{os.fsdecode(path)}: {reason}")',
        "super().__init__(reason)",
        "a file's failure no longer names the file",
        "",
        ("tests/test_failures.py", "tests/test_api.py"),
    ),
    Fault(
        "c_quorvant/text_encoding.py",
        "if stray == 0:",
        "if stray <= 1:",
        "one stray byte read as UTF-8",
        "",
        ("tests/test_encodings.py",),
    ),
]


def run(command: list[str], cwd: Path, env: dict[str, str] | None = None, seconds: float = TEST_SECONDS) -> bool:
    """Whether `command` succeeded; a command past its time counts as failed."""
    try:
        done = subprocess.run(
            command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=seconds
        )
    except subprocess.TimeoutExpired:
        return False
    return done.returncode == 0


def copy_tree() -> None:
    listed = (
        subprocess.run(
            ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            cwd=ROOT,
            capture_output=True,
            check=True,
        )
        .stdout.decode()
        .split("\0")
    )
    for name in filter(None, listed):
        source = ROOT / name
        if source.is_file():
            target = TREE / name
            target.parent.mkdir(parents=True, exist_ok=True)
            if not target.exists() or target.read_bytes() != source.read_bytes():
                shutil.copy2(source, target)


def cmake(*args: str) -> list[str]:
    return [str(Path(sys.executable).parent / "cmake"), *args]


def build_cpp() -> bool:
    return run(cmake("--build", str(CPP_BUILD), "--target", "core_tests"), ROOT, seconds=1800)


def build_module() -> bool:
    if not run(cmake("--build", str(MODULE_BUILD)), ROOT, seconds=1800):
        return False
    for library in MODULE_BUILD.glob("*.so"):
        shutil.copy2(library, SITE / "c_quorvant" / library.name)
    return True


def prepare() -> None:
    copy_tree()
    shutil.rmtree(SITE / "c_quorvant", ignore_errors=True)
    shutil.copytree(TREE / "c_quorvant", SITE / "c_quorvant")
    python = str(Path(sys.executable))
    ok = (
        run(
            cmake(
                "-S",
                str(TREE),
                "-B",
                str(CPP_BUILD),
                "-G",
                "Ninja",
                "-DQUORVANT_BUILD_TESTS=ON",
                "-DCMAKE_BUILD_TYPE=Debug",
            ),
            ROOT,
        )
        and build_cpp()
    )
    ok = (
        ok
        and run(
            cmake(
                "-S",
                str(TREE),
                "-B",
                str(MODULE_BUILD),
                "-G",
                "Ninja",
                "-DQUORVANT_BUILD_MODULE=ON",
                "-DCMAKE_BUILD_TYPE=Release",
                f"-DPython_EXECUTABLE={python}",
            ),
            ROOT,
        )
        and build_module()
    )
    if not ok:
        sys.exit("mutants: the scratch tree does not build as it is")


def pytest_kills(fault: Fault) -> bool:
    env = {**os.environ, "PYTHONPATH": str(SITE)}
    command = [str(Path(sys.executable).parent / "pytest"), "-x", "-q", "-p", "no:cacheprovider", *fault.pytest]
    return bool(fault.pytest) and not run(command, ROOT, env)


def gtest_kills(fault: Fault) -> bool:
    binary = CPP_BUILD / "tests" / "cpp" / "core_tests"
    return bool(fault.gtest) and not run([str(binary), f"--gtest_filter={fault.gtest}"], ROOT)


def planted(fault: Fault, root: Path) -> tuple[Path, str] | None:
    path = root / fault.path
    original = path.read_text(encoding="utf-8")
    if original.count(fault.before) != 1:
        return None
    path.write_text(original.replace(fault.before, fault.after), encoding="utf-8")
    return path, original


def try_fault(fault: Fault) -> str:
    """ "gtest", "pytest", "survived", "stale" (the code moved on) or "no build"."""
    source = planted(fault, TREE)
    if source is None:
        return "stale"
    shadow = None if fault.native else planted(fault, SITE)
    try:
        if fault.cpp:
            if not build_cpp():
                return "no build"
            if gtest_kills(fault):
                return "gtest"
        if fault.native and not build_module():
            return "no build"
        return "pytest" if pytest_kills(fault) else "survived"
    finally:
        for path, original in filter(None, (source, shadow)):
            path.write_text(original, encoding="utf-8")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--only", default="", help="only the faults whose file or description holds this")
    parser.add_argument("--check", action="store_true", help="only check that each fault can still be planted")
    args = parser.parse_args()
    faults = [f for f in FAULTS if args.only in f.path or args.only in f.why]
    if args.check:
        stale = [f for f in faults if (ROOT / f.path).read_text(encoding="utf-8").count(f.before) != 1]
        for fault in stale:
            print(f"stale: {fault.path}: {fault.why}")
        return 1 if stale else 0
    prepare()
    outcomes = []
    for fault in faults:
        started = time.monotonic()
        outcome = try_fault(fault)
        outcomes.append((fault, outcome))
        print(f"{outcome:>8}  {time.monotonic() - started:5.0f} s  {fault.path}: {fault.why}", flush=True)
    if any(fault.native for fault, _ in outcomes):
        build_module()  # leave the scratch module as the tree is
    counted = [(f, o) for f, o in outcomes if o not in ("stale", "no build")]
    killed = sum(o in ("gtest", "pytest") for _, o in counted)
    cpp = [(f, o) for f, o in counted if f.cpp]
    print(
        f"\nkilled {killed} of {len(counted)} ({100 * killed / max(1, len(counted)):.0f}%); "
        f"C++ faults killed by the C++ tests alone: {sum(o == 'gtest' for _, o in cpp)} of {len(cpp)} "
        f"({100 * sum(o == 'gtest' for _, o in cpp) / max(1, len(cpp)):.0f}%); "
        f"{len(outcomes) - len(counted)} stale or not built"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
