"""python count_calls.py SIM GATE QUBITS N K

Makes SIM's live register of N qubits (as the harness does) and applies one
gate K times through the harness's adapter: the program that table.py runs
under callgrind. QUBITS is "q" or "a,b"; rotations use the harness's angle.
"""
from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from velquin_bench.circuits import ANGLE, Op  # noqa: E402
from velquin_bench.sims.registry import simulator_class  # noqa: E402

ROTATIONS = ("rx", "ry", "rz")


def main(argv: list[str]) -> int:
    sim_name, gate, qubits, n, calls = argv
    sim = simulator_class(sim_name)(1)
    op = Op(gate, tuple(int(q) for q in qubits.split(",")), ANGLE if gate in ROTATIONS else None)
    state = sim.gate_state(int(n))
    call = sim.gate_call(state, op)
    for _ in range(int(calls)):
        call()
    sim.release(state)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
