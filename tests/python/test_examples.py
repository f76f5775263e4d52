"""Every example script and the README's quick start run and print the results they claim."""
import ast
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
import velquin

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"


def child_env():
    # The children must import the same velquin as these tests.
    env = dict(os.environ)
    module_dir = str(Path(velquin.__file__).parent)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    return env


def run_python(args, timeout=120):
    result = subprocess.run([sys.executable, *args], capture_output=True, text=True,
                            env=child_env(), cwd=ROOT, timeout=timeout)
    assert result.returncode == 0, result.stderr
    return result.stdout


def printed_dict(output, label):
    line = next(line for line in output.splitlines() if line.startswith(label))
    return ast.literal_eval(line[len(label):].strip())


def test_demo():
    out = run_python([EXAMPLES / "demo.py"])
    bell = printed_dict(out, "Bell counts (1000 shots, seed 7):")
    assert set(bell) == {"00", "11"} and sum(bell.values()) == 1000
    ghz = printed_dict(out, "GHZ(5) counts (1000 shots, seed 1):")
    assert set(ghz) == {"00000", "11111"} and sum(ghz.values()) == 1000


def test_bell_ghz():
    out = run_python([EXAMPLES / "bell_ghz.py", "10"])
    bell = printed_dict(out, "Bell counts:")
    assert set(bell) == {"00", "11"} and sum(bell.values()) == 1000
    assert printed_dict(out, "GHZ(10) nonzero amplitude indices:") == [0, 1023]
    ghz = printed_dict(out, "GHZ(10) counts:")
    assert set(ghz) == {"0" * 10, "1" * 10} and sum(ghz.values()) == 1000
    assert printed_dict(out, "x(0) on 3 qubits measures as:") == ["001"]


@pytest.mark.parametrize("n", [5, 16])
def test_qft_matches_numpy_fft(n):
    out = run_python([EXAMPLES / "qft.py", str(n)])
    fidelity = float(re.search(r"fidelity with NumPy's FFT: ([0-9.]+)", out).group(1))
    assert fidelity > 1 - 1e-9
    counts = printed_dict(out, "counts (period 4 gives peaks at multiples of N/4):")
    peaks = {format(k << (n - 2), f"0{n}b") for k in range(4)}
    assert set(counts) == peaks and sum(counts.values()) == 1000


def test_grover_finds_the_marked_string():
    out = run_python([EXAMPLES / "grover.py"])
    header = re.search(r"Grover on 12 qubits, marked ([01]{12}), (\d+) iterations", out)
    marked, iterations = header.group(1), int(header.group(2))
    assert iterations == 50
    success = float(re.search(r"success probability: ([0-9.]+)", out).group(1))
    assert success > 0.999
    found = re.search(r"most frequent of 100 shots: ([01]+) \((\d+) times\)", out)
    assert found.group(1) == marked and int(found.group(2)) >= 95
    assert re.search(r"simulation time: [0-9.]+ s", out)


def test_grover_with_another_marked_string():
    out = run_python([EXAMPLES / "grover.py", "12", "0b000000000001"])
    assert "most frequent of 100 shots: 000000000001" in out


def test_parallel_runs_equal_serial_runs():
    out = run_python([EXAMPLES / "parallel_runs.py"], timeout=300)
    assert re.search(r"12 circuits of 16 qubits on \d+ worker processes", out)
    assert "identical to a serial run: True" in out


def readme_blocks():
    """The README's python blocks, each with the text block that follows it as its output."""
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    pattern = re.compile(r"```python\n(.*?)```\n+(?:```text\n(.*?)```)?", re.S)
    return [(m.group(1), m.group(2)) for m in pattern.finditer(text)]


def test_readme_python_blocks_run_and_print_what_the_readme_shows():
    blocks = readme_blocks()
    assert blocks, "the README has no python examples"
    for code, shown in blocks:
        out = run_python(["-c", code])
        if shown is not None:
            assert out == shown, f"README output differs for:\n{code}"
