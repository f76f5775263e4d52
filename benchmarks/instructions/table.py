"""python table.py [--sims velquin,Lightning,qulacs] [--ns 10,14] [--gates h,cz] [--out FILE]

Instructions per gate call, counted by callgrind (valgrind --tool=callgrind),
for velquin and its peers on one thread: for each simulator, register size n
and case, the instructions of K calls minus those of none, over K. A
simulator's fixed cost per call (Python's call, argument handling, dispatch)
comes from h(0) at two sizes (per call = fixed + per amplitude x 2^n; qubit 0
takes the same path at every size); the table gives it and, per case at the
larger size, (per call - fixed) / 2^n. Counts do not depend on the machine's load, so small changes
in a kernel show up where timings on a shared machine cannot.

valgrind emulates no AVX-512: under it every simulator runs the code it picks
for an AVX2 machine (velquin its AVX2 variant).
"""
from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROTATIONS = ("rz", "ry")
SINGLE = ("h", "x", "rz", "ry", "sx")
PAIRS = ("cx", "cz", "swap")


def cases(n: int) -> list[tuple[str, str, str]]:
    """(gate, qubits, role): roles name positions independently of n."""
    mid, top = n // 2, n - 1
    found = []
    for gate in SINGLE:
        for role, q in (("0", 0), ("1", 1), ("2", 2), ("mid", mid), ("top", top)):
            found.append((gate, str(q), role))
    for gate in PAIRS:
        for role, (a, b) in (("0,1", (0, 1)), ("0,top", (0, top)), ("top,0", (top, 0)),
                             ("mid-1,mid", (mid - 1, mid)), ("1,top", (1, top)),
                             ("2,top", (2, top))):
            found.append((gate, f"{a},{b}", role))
    return found


def instructions(sim: str, gate: str, qubits: str, n: int, calls: int) -> int:
    env = dict(os.environ, OMP_NUM_THREADS="1", PYTHONHASHSEED="0")
    done = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", sys.executable,
         str(HERE / "count_calls.py"), sim, gate, qubits, str(n), str(calls)],
        env=env, capture_output=True, text=True, check=False)
    found = re.search(r"Collected : (\d+)", done.stderr)
    if done.returncode != 0 or not found:
        raise RuntimeError(f"{sim} {gate}({qubits}) n={n}: {done.stderr[-800:]}")
    return int(found.group(1))


_baseline: dict[tuple[str, int], int] = {}


def per_call(sim: str, gate: str, qubits: str, n: int) -> float:
    """Instructions of one call: K calls less none (the register made, the
    call bound, nothing applied; the same for every case up to a few hundred
    instructions, so it is counted once per simulator and size)."""
    calls = max(32, 2 ** (19 - n))
    if (sim, n) not in _baseline:
        _baseline[(sim, n)] = instructions(sim, "h", "0", n, 0)
    return (instructions(sim, gate, qubits, n, calls) - _baseline[(sim, n)]) / calls


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(prog="table.py")
    parser.add_argument("--sims", default="velquin,Lightning,qulacs")
    parser.add_argument("--ns", default="10,14", help="two register sizes: the fixed cost "
                        "from both, the table at the larger")
    parser.add_argument("--gates", default="", help="only these gates (comma list)")
    parser.add_argument("--out", default="", help="also write the table here")
    args = parser.parse_args(argv)
    sims = args.sims.split(",")
    small, large = (int(n) for n in args.ns.split(","))
    chosen = [c for c in cases(large) if not args.gates or c[0] in args.gates.split(",")]
    counts: dict[tuple[str, str, str], float] = {}
    fixed = {}
    for sim in sims:
        low, high = per_call(sim, "h", "0", small), per_call(sim, "h", "0", large)
        fixed[sim] = low - (high - low) / (2**large - 2**small) * 2**small
        for gate, qubits, role in chosen:
            counts[(sim, gate, role)] = per_call(sim, gate, qubits, large)
            print(f"{sim} {gate}({role}): {counts[(sim, gate, role)]:.0f} per call at n={large}",
                  file=sys.stderr, flush=True)
    lines = [f"Instructions on one thread (callgrind, AVX2 code paths) at n = {large}: per amplitude, "
             "after the fixed cost per call. Positions: mid = n/2, top = n-1.", "",
             "| | " + " | ".join(sims) + " |", "|---|" + "---|" * len(sims),
             "| fixed per call | " + " | ".join(f"{fixed[s]:.0f}" for s in sims) + " |"]
    for gate, _, role in chosen:
        cells = [f"{(counts[(s, gate, role)] - fixed[s]) / 2**large:.2f}" for s in sims]
        lines.append(f"| {gate}({role}) | " + " | ".join(cells) + " |")
    text = "\n".join(lines) + "\n"
    print(text)
    if args.out:
        Path(args.out).write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
