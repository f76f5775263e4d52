"""python table.py [--peers velquin,Lightning,qulacs] [--ns 10,14] [--gates h,cz] [--out FILE]

Instructions per gate call, counted by callgrind (valgrind --tool=callgrind), for
velquin and its peers on one thread: for each peer, register size n and case, the
instructions of K calls minus those of none, over K. A peer's fixed cost per call
(Python's call, argument handling, dispatch) comes from h(0) at two sizes (per call
= fixed + per amplitude x 2^n); the table gives it and, per case at the larger size,
(per call - fixed) / 2^n. Counts do not depend on the machine's load, so a small
change in a kernel shows where timings on a shared machine cannot. valgrind emulates
no AVX-512: every peer runs the code it picks for an AVX2 machine.

`table.py --child PEER GATE QUBITS N K` is the program run under callgrind: the
peer's live register through the harness's adapter (velquin_bench/peers), one gate K times.
"""
from __future__ import annotations

import argparse
import importlib
import os
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from velquin_bench.peers import PEERS  # noqa: E402
from velquin_bench.workloads.engine import ANGLE, Op  # noqa: E402


def child(peer: str, gate: str, qubits: str, n: str, calls: str) -> None:
    module = importlib.import_module(f"velquin_bench.peers.{PEERS[peer]}")
    op = Op(gate, tuple(int(q) for q in qubits.split(",")), ANGLE if gate in ("rx", "ry", "rz") else None)
    call = module.make_gate((int(n), op), "default", 1)
    for _ in range(int(calls)):
        call()


def cases(n: int) -> list[tuple[str, str, str]]:
    """(gate, qubits, role): roles name positions independently of n."""
    mid, top = n // 2, n - 1
    ones = [(g, str(q), role) for g in ("h", "x", "rz", "ry", "sx")
            for role, q in (("0", 0), ("1", 1), ("2", 2), ("mid", mid), ("top", top))]
    pairs = {"0,1": (0, 1), "0,top": (0, top), "top,0": (top, 0), "mid-1,mid": (mid - 1, mid),
             "1,top": (1, top), "2,top": (2, top)}
    return ones + [(g, f"{a},{b}", role) for g in ("cx", "cz", "swap") for role, (a, b) in pairs.items()]


def instructions(peer: str, gate: str, qubits: str, n: int, calls: int) -> int:
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", sys.executable,
                           __file__, "--child", peer, gate, qubits, str(n), str(calls)],
                          env=dict(os.environ, OMP_NUM_THREADS="1", PYTHONHASHSEED="0"),
                          capture_output=True, text=True, check=False)
    found = re.search(r"Collected : (\d+)", done.stderr)
    if done.returncode != 0 or not found:
        raise RuntimeError(f"{peer} {gate}({qubits}) n={n}: {done.stderr[-800:]}")
    return int(found.group(1))


def per_call(peer: str, gate: str, qubits: str, n: int, baseline: dict) -> float:
    """K calls less none (register made, call bound, nothing applied: the same for every
    case up to a few hundred instructions, so counted once per peer and size)."""
    calls = max(32, 2 ** (19 - n))
    if (peer, n) not in baseline:
        baseline[(peer, n)] = instructions(peer, "h", "0", n, 0)
    return (instructions(peer, gate, qubits, n, calls) - baseline[(peer, n)]) / calls


def main(argv: list[str]) -> int:
    if argv[:1] == ["--child"]:
        child(*argv[1:])
        return 0
    parser = argparse.ArgumentParser(prog="table.py")
    parser.add_argument("--peers", default="velquin,Lightning,qulacs")
    parser.add_argument("--ns", default="10,14", help="two sizes: the fixed cost from both, the table at the larger")
    parser.add_argument("--gates", default="", help="only these gates (comma list)")
    parser.add_argument("--out", default="", help="also write the table here")
    args = parser.parse_args(argv)
    peers, (small, large), baseline = args.peers.split(","), (int(n) for n in args.ns.split(",")), {}
    chosen = [c for c in cases(large) if not args.gates or c[0] in args.gates.split(",")]
    counts, fixed = {}, {}
    for peer in peers:
        low, high = per_call(peer, "h", "0", small, baseline), per_call(peer, "h", "0", large, baseline)
        fixed[peer] = low - (high - low) / (2**large - 2**small) * 2**small
        for gate, qubits, role in chosen:
            counts[(peer, gate, role)] = per_call(peer, gate, qubits, large, baseline)
            print(f"{peer} {gate}({role}): {counts[(peer, gate, role)]:.0f} per call", file=sys.stderr)
    lines = [f"Instructions on one thread (callgrind, AVX2 code paths) at n = {large}: per amplitude, "
             "after the fixed cost per call. Positions: mid = n/2, top = n-1.", "",
             "| | " + " | ".join(peers) + " |", "|---|" + "---|" * len(peers),
             "| fixed per call | " + " | ".join(f"{fixed[p]:.0f}" for p in peers) + " |"]
    lines += [f"| {gate}({role}) | " + " | ".join(f"{(counts[(p, gate, role)] - fixed[p]) / 2**large:.2f}"
                                               for p in peers) + " |" for gate, _, role in chosen]
    print("\n".join(lines))
    if args.out:
        Path(args.out).write_text("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
