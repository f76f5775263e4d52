"""Quantum Fourier transform, checked against NumPy's FFT.

velquin's gate set has no controlled phase, so it is built from rz and cx:
CP(lam) = rz(t, lam/2) cx(c, t) rz(t, -lam/2) cx(c, t) rz(c, lam/2), up to a
global phase. The QFT maps amplitudes a to sqrt(N) * ifft(a) (qubit 0 is the
least significant bit, as in Qiskit), so the fidelity with NumPy's result
must be 1 to rounding.

Run: python examples/qft.py [n_qubits]   (default 16)
"""

import math
import sys
import time

import numpy as np

import velquin


def controlled_phase(qc: velquin.QuantumCircuit, lam: float, control: int, target: int) -> None:
    qc.rz(target, lam / 2)
    qc.cx(control, target)
    qc.rz(target, -lam / 2)
    qc.cx(control, target)
    qc.rz(control, lam / 2)


def append_qft(qc: velquin.QuantumCircuit, n: int) -> None:
    for j in reversed(range(n)):
        qc.h(j)
        for k in reversed(range(j)):
            controlled_phase(qc, math.pi / 2 ** (j - k), k, j)
    for q in range(n // 2):
        qc.swap(q, n - 1 - q)


def append_periodic_state(qc: velquin.QuantumCircuit, n: int) -> None:
    # Equal weight on the indices 1, 5, 9, ...: period 4, offset 1.
    qc.x(0)
    for q in range(2, n):
        qc.h(q)


def main() -> None:
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 16
    prepare = velquin.QuantumCircuit(n)
    append_periodic_state(prepare, n)
    before = prepare.statevector()

    full = velquin.QuantumCircuit(n)
    append_periodic_state(full, n)
    append_qft(full, n)
    start = time.perf_counter()
    after = full.statevector()
    elapsed = time.perf_counter() - start

    expected = np.fft.ifft(before) * math.sqrt(len(before))
    fidelity = abs(np.vdot(expected, after)) ** 2
    print(f"QFT on {n} qubits: {elapsed * 1e3:.1f} ms")
    print(f"fidelity with NumPy's FFT: {fidelity:.12f}")
    counts = full.run(1000, seed=3)
    print("counts (period 4 gives peaks at multiples of N/4):", dict(sorted(counts.items())))


if __name__ == "__main__":
    main()
