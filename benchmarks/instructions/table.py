"""python table.py [--peers velquin,Lightning,qulacs] [--ns 10,14] [--gates h,cz] (see README.md)

Per peer, size and case: the instructions of K calls less those of none, over K, on one
thread. The fixed cost per call comes from h(0) at both sizes (per call = fixed + per
amplitude x 2^n); the table gives it and, per case at the larger size, (per call - fixed) / 2^n.
`--child PEER GATE QUBITS N K` is what runs under callgrind: the harness's make_gate, K times."""
import argparse
import importlib
import os
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from velquin_bench.peers import PEERS  # noqa: E402
from velquin_bench.workloads.engine import ANGLE, Op, plus  # noqa: E402


def count(peer: str, gate: str, qubits: str, n: int, calls: int) -> int:
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", sys.executable,
                           __file__, "--child", peer, gate, qubits, str(n), str(calls)], text=True,
                          env=dict(os.environ, OMP_NUM_THREADS="1", PYTHONHASHSEED="0"), capture_output=True)
    found = re.search(r"Collected : (\d+)", done.stderr)
    if done.returncode != 0 or not found:
        raise RuntimeError(f"{peer} {gate}({qubits}) n={n}: {done.stderr[-800:]}")
    return int(found.group(1))


def main(argv: list[str]) -> int:
    if argv[:1] == ["--child"]:
        peer, gate, qubits, n, calls = argv[1:]
        op = Op(gate, tuple(map(int, qubits.split(","))), ANGLE if gate in ("rx", "ry", "rz") else None)
        call = importlib.import_module(f"velquin_bench.peers.{PEERS[peer]}").make_gate(
            (int(n), op, plus(int(n))), "default", 1)
        for _ in range(int(calls)):
            call()
        return 0
    parser = argparse.ArgumentParser(prog="table.py")
    parser.add_argument("--peers", default="velquin,Lightning,qulacs")
    parser.add_argument("--ns", default="10,14", help="two sizes: the fixed cost from both, the table at the larger")
    parser.add_argument("--gates", default="", help="only these gates (comma list)")
    args = parser.parse_args(argv)
    peers, (small, large) = args.peers.split(","), map(int, args.ns.split(","))
    mid, top = large // 2, large - 1
    cases = [(g, str(q), role) for g in ("h", "x", "rz", "ry", "sx")
             for role, q in (("0", 0), ("1", 1), ("2", 2), ("mid", mid), ("top", top))]
    cases += [(g, f"{a},{b}", role) for g in ("cx", "cz", "swap") for role, (a, b) in {
        "0,1": (0, 1), "0,top": (0, top), "top,0": (top, 0), "mid-1,mid": (mid - 1, mid),
        "1,top": (1, top), "2,top": (2, top)}.items()]
    cases = [c for c in cases if not args.gates or c[0] in args.gates.split(",")]
    baseline: dict = {}

    def per_call(peer, gate, qubits, n):  # K calls less none: the register made, nothing applied
        calls = max(32, 2 ** (19 - n))
        baseline.setdefault((peer, n), count(peer, "h", "0", n, 0))
        return (count(peer, gate, qubits, n, calls) - baseline[(peer, n)]) / calls

    lines = [f"Instructions on one thread (callgrind, AVX2 code paths) at n = {large}: per amplitude, after the "
             "fixed cost per call. Positions: mid = n/2, top = n-1.", "", "| | " + " | ".join(peers) + " |",
             "|---|" + "---|" * len(peers)]
    fixed, rows = {}, {}
    for peer in peers:
        low, high = per_call(peer, "h", "0", small), per_call(peer, "h", "0", large)
        fixed[peer] = low - (high - low) / (2**large - 2**small) * 2**small
        for gate, qubits, role in cases:
            rows.setdefault(f"{gate}({role})", []).append(
                f"{(per_call(peer, gate, qubits, large) - fixed[peer]) / 2**large:.2f}")
            print(f"{peer} {gate}({role}) done", file=sys.stderr)
    lines.append("| fixed per call | " + " | ".join(f"{fixed[p]:.0f}" for p in peers) + " |")
    print("\n".join(lines + [f"| {label} | " + " | ".join(cells) + " |" for label, cells in rows.items()]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
