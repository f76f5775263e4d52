"""The README's Cirq section runs and prints what it shows."""

import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]


def test_readme_cirq_blocks_print_what_the_readme_shows(tmp_path):
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python cirq\n(.*?)```\n+```text\n(.*?)```", text, re.S)
    assert blocks
    for code, shown in blocks:
        script = tmp_path / "block.py"
        script.write_text(code)
        done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                              cwd=ROOT, timeout=300)
        assert done.returncode == 0, done.stderr
        assert done.stdout == shown
