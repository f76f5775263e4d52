"""The README's PennyLane section prints what it shows, and the device is found by name alone."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]


def run_script(path):
    result = subprocess.run([sys.executable, str(path)], capture_output=True, text=True,
                            cwd=ROOT, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout


def readme_pennylane_blocks():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    return re.findall(r"```python pennylane\n(.*?)```\n+```text\n(.*?)```", text, re.S)


@pytest.mark.parametrize("index", range(1))
def test_readme_pennylane_block_prints_what_the_readme_shows(index, tmp_path):
    blocks = readme_pennylane_blocks()
    assert len(blocks) == 1
    code, shown = blocks[index]
    assert "import velquin" not in code  # the entry point alone must find the device
    script = tmp_path / "block.py"
    script.write_text(code)
    assert run_script(script) == shown
