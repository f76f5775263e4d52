"""The Qiskit example and the README's Qiskit section run and print what they claim."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]


def run_script(path, timeout=300):
    result = subprocess.run([sys.executable, str(path)], capture_output=True, text=True,
                            cwd=ROOT, timeout=timeout)
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_example_matches_qiskit_and_samples_ghz():
    out = run_script(ROOT / "examples" / "qiskit_primitives.py")
    difference = float(re.search(r"difference from StatevectorEstimator: (\S+)", out).group(1))
    assert difference < 1e-12
    for label in ["sampler, GHZ from OpenQASM 3:", "backend counts:"]:
        counts = eval(re.search(re.escape(label) + r" (\{.*\})", out).group(1))
        assert set(counts) == {"00000", "11111"} and sum(counts.values()) == 1000


def readme_qiskit_blocks():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    pattern = re.compile(r"```python qiskit\n(.*?)```\n+```text\n(.*?)```", re.S)
    return pattern.findall(text)


@pytest.mark.parametrize("index", range(4))
def test_readme_qiskit_block_prints_what_the_readme_shows(index, tmp_path):
    blocks = readme_qiskit_blocks()
    assert len(blocks) == 4
    code, shown = blocks[index]
    script = tmp_path / "block.py"
    script.write_text(code)
    assert run_script(script) == shown
