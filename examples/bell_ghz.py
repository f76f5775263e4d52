"""Bell and GHZ states: amplitudes, seeded counts, and the qubit order of outcomes.

Run: python examples/bell_ghz.py [n_qubits]   (GHZ size, default 10)
"""

import sys

import velquin


def bell_state() -> None:
    sv = velquin.StateVecPy(2, seed=7)
    sv.h(0)
    sv.cx(0, 1)
    amplitudes = sv.amplitudes()
    print("Bell amplitudes:", [f"{a.real:.6f}" for a in amplitudes])
    counts = sv.measure_counts(1000, seed=7)
    print("Bell counts:", dict(sorted(counts.items())))


def ghz_state(n: int) -> None:
    qc = velquin.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    state = qc.statevector()
    nonzero = [i for i, a in enumerate(state) if a != 0]
    print(f"GHZ({n}) nonzero amplitude indices:", nonzero)
    counts = qc.run(1000, seed=1)
    print(f"GHZ({n}) counts:", dict(sorted(counts.items())))


def qubit_order() -> None:
    # Qubit 0 is the least significant bit: it is the rightmost character.
    sv = velquin.StateVecPy(3, seed=0)
    sv.x(0)
    print("x(0) on 3 qubits measures as:", list(sv.measure_counts(5, seed=0)))


def main() -> None:
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    bell_state()
    ghz_state(n)
    qubit_order()


if __name__ == "__main__":
    main()
