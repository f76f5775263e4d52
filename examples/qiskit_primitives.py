"""Qiskit circuits on velquin: the two primitives, the backend and OpenQASM.

A parameterised ansatz swept over many parameter sets with EstimatorV2 (checked
against Qiskit's own StatevectorEstimator), a GHZ circuit written in OpenQASM 3
sampled with SamplerV2, and the same circuit through VelquinBackend, where an
existing Qiskit program changes one line.

Run: python examples/qiskit_primitives.py   (needs: pip install "velquin[qiskit]")
"""

import numpy as np
from qiskit import QuantumCircuit, transpile
from qiskit.circuit import ParameterVector
from qiskit.primitives import StatevectorEstimator
from qiskit.quantum_info import SparsePauliOp

import velquin_qiskit

GHZ_QASM = """
OPENQASM 3.0;
include "stdgates.inc";
qubit[5] q;
bit[5] c;
h q[0];
cx q[0], q[1];
cx q[1], q[2];
cx q[2], q[3];
cx q[3], q[4];
c = measure q;
"""


def ansatz(n_qubits: int, layers: int) -> QuantumCircuit:
    """Hardware-efficient: ry and rz on every qubit, then a ladder of cz, per layer."""
    theta = ParameterVector("theta", 2 * n_qubits * layers)
    circuit = QuantumCircuit(n_qubits)
    for layer in range(layers):
        for q in range(n_qubits):
            circuit.ry(theta[2 * (layer * n_qubits + q)], q)
            circuit.rz(theta[2 * (layer * n_qubits + q) + 1], q)
        for q in range(n_qubits - 1):
            circuit.cz(q, q + 1)
    return circuit


def main() -> None:
    n = 6
    circuit = ansatz(n, 3)
    hamiltonian = SparsePauliOp.from_sparse_list(
        [("ZZ", [q, q + 1], -1.0) for q in range(n - 1)] + [("X", [q], -0.5) for q in range(n)],
        num_qubits=n)
    values = np.random.default_rng(1).uniform(-np.pi, np.pi, (50, circuit.num_parameters))

    estimator = velquin_qiskit.EstimatorV2()
    energies = estimator.run([(circuit, hamiltonian, values)]).result()[0].data.evs
    reference = StatevectorEstimator().run([(circuit, hamiltonian, values)]).result()[0].data.evs
    print(f"estimator: {len(energies)} parameter sets, lowest energy {energies.min():.6f}")
    print(f"largest difference from StatevectorEstimator: {np.abs(energies - reference).max():.1e}")

    ghz = velquin_qiskit.load_qasm(GHZ_QASM)
    sampler = velquin_qiskit.SamplerV2(seed=11)
    counts = sampler.run([ghz], shots=1000).result()[0].data.c.get_counts()
    print(f"sampler, GHZ from OpenQASM 3: {dict(sorted(counts.items()))}")

    backend = velquin_qiskit.VelquinBackend()  # the one changed line: was AerSimulator()
    job = backend.run(transpile(ghz, backend), shots=1000, seed_simulator=11)
    print(f"backend counts: {dict(sorted(job.result().get_counts().items()))}")


if __name__ == "__main__":
    main()
