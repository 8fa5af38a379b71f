"""The Python blocks of the README and docs/ run as written, in a copy of the bundled examples/."""

import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).parent.parent
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]


def python_blocks(path):
    text = path.read_text(encoding="utf-8")
    for match in re.finditer(r"^```python\n(.*?)^```", text, re.M | re.S):
        line = text[: match.start()].count("\n") + 1
        yield pytest.param(match[1], id=f"{path.relative_to(ROOT)}:{line}")


BLOCKS = [block for path in DOCUMENTS for block in python_blocks(path)]

assert len(BLOCKS) >= 4, "the documents' Python blocks were not found"


@pytest.mark.parametrize("code", BLOCKS)
def test_a_documented_block_runs_as_written(tmp_path, code):
    shutil.copytree(ROOT / "examples", tmp_path, dirs_exist_ok=True)

    # -P: the source tree must not shadow the installed package.
    result = subprocess.run(
        [sys.executable, "-P", "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=300
    )

    assert result.returncode == 0, result.stderr
    assert "failed" not in result.stdout
