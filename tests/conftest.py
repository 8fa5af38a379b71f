import json
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

DATA_DIR = Path(__file__).parent / "data"


def run_python(code):
    """Runs `code` in a child interpreter, so that a crash fails one test instead of the run."""
    # -P: the source tree in the working directory must not shadow the installed package.
    return subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120
    )


def quorvant(*args, cwd):
    """The command line in a child process, run as `python -m c_quorvant`."""
    return subprocess.run(
        [sys.executable, "-m", "c_quorvant", *args], cwd=cwd, capture_output=True, text=True, timeout=120
    )


@pytest.fixture
def workdir(tmp_path, monkeypatch):
    """A private, empty working directory: the passes name their outputs relative to it."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def write_words(workdir):
    """Writes a replacement word list into the working directory and returns its name."""

    def write(rules, name="words.json"):
        (workdir / name).write_text(json.dumps(rules, ensure_ascii=False), encoding="utf-8")
        return name

    return write


@pytest.fixture
def snapshot(workdir):
    """Every file under the working directory with its bytes, to show what a call changed."""

    def take():
        return {str(p.relative_to(workdir)): p.read_bytes() for p in sorted(workdir.rglob("*")) if p.is_file()}

    return take
