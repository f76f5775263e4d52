"""Grover search for one marked bitstring among 2**n, 12 qubits by default.

The multi-controlled Z that both the oracle and the diffusion need is built
without ancillas from the identity
    x_0 x_1 ... x_{n-1} = 2**(1-n) * sum over non-empty S of (-1)**(|S|-1) * parity(S),
so exp(i pi x_0...x_{n-1}) is one rz per subset S, applied to a qubit that
holds parity(S). A Gray-code walk over the subsets keeps each parity in place
with a single cx per step (2**n rz and about 2**n cx in all, exact up to a
global phase). Each extra qubit costs about eight times as much (2**n gates per
call, on twice the amplitudes, and sqrt(2) times the iterations), so 12
qubits run in seconds and 14 in about a minute.

Run: python examples/grover.py [n_qubits] [marked]   (default: 12 and 0b101101101001)
"""

import math
import sys
import time

import velquin


def append_multi_controlled_z(qc: velquin.QuantumCircuit, n: int) -> None:
    # Subsets are walked grouped by their highest qubit `top`; the lower part
    # runs through a Gray code, so each step flips one control into `top`.
    unit = math.pi / 2 ** (n - 1)
    for top in range(n):
        held = 0  # the lower qubits whose parity `top` currently carries
        for step in range(1 << top):
            if step:
                flipped = (step & -step).bit_length() - 1  # the bit this Gray step changes
                qc.cx(flipped, top)
                held ^= 1 << flipped
            size = held.bit_count() + 1
            qc.rz(top, unit if size % 2 else -unit)
        if top:
            qc.cx(top - 1, top)  # the walk ends holding only qubit top - 1: undo it


def append_phase_flip(qc: velquin.QuantumCircuit, n: int, marked: int) -> None:
    zeros = [q for q in range(n) if not (marked >> q) & 1]
    for q in zeros:
        qc.x(q)
    append_multi_controlled_z(qc, n)
    for q in zeros:
        qc.x(q)


def grover_circuit(n: int, marked: int) -> tuple[velquin.QuantumCircuit, int]:
    iterations = math.floor(math.pi / 4 * math.sqrt(2**n))
    qc = velquin.QuantumCircuit(n)
    for q in range(n):
        qc.h(q)
    for _ in range(iterations):
        append_phase_flip(qc, n, marked)  # oracle
        for q in range(n):
            qc.h(q)
        append_phase_flip(qc, n, 0)  # reflection about |0...0>, i.e. about the mean
        for q in range(n):
            qc.h(q)
    return qc, iterations


def main() -> None:
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 12
    marked = int(sys.argv[2], 0) if len(sys.argv) > 2 else 0b1011_0110_1001 % 2**n
    qc, iterations = grover_circuit(n, marked)
    sv = velquin.StateVecPy(n, seed=11)
    start = time.perf_counter()
    qc.apply_gates(sv)
    elapsed = time.perf_counter() - start
    success = abs(sv.amplitudes()[marked]) ** 2
    counts = sv.measure_counts(100)
    found, hits = max(counts.items(), key=lambda item: item[1])
    print(f"Grover on {n} qubits, marked {marked:0{n}b}, {iterations} iterations")
    print(f"success probability: {success:.6f}")
    print(f"most frequent of 100 shots: {found} ({hits} times)")
    print(f"simulation time: {elapsed:.2f} s")


if __name__ == "__main__":
    main()
