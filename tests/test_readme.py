"""The README's Python blocks run as written, in a copy of the bundled examples/."""

import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).parent.parent
BLOCKS = [
    pytest.param(match[1], id=f"line-{ROOT.joinpath('README.md').read_text()[: match.start()].count(chr(10)) + 1}")
    for match in re.finditer(r"^```python\n(.*?)^```", (ROOT / "README.md").read_text(encoding="utf-8"), re.M | re.S)
]

assert len(BLOCKS) >= 4, "the README's Python blocks were not found"


@pytest.mark.parametrize("code", BLOCKS)
def test_a_readme_block_runs_as_written(tmp_path, code):
    shutil.copytree(ROOT / "examples", tmp_path, dirs_exist_ok=True)

    # -P: the source tree must not shadow the installed package.
    result = subprocess.run(
        [sys.executable, "-P", "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=300
    )

    assert result.returncode == 0, result.stderr
    assert "failed" not in result.stdout
