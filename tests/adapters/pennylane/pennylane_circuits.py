"""Random PennyLane circuits, mostly of gates velquin does not have, on any wire labels."""

import numpy as np
import pennylane as qml
from scipy.stats import unitary_group

# (operation, number of wires, number of angles); most are outside velquin's sixteen gates.
GATES = [
    (qml.U3, 1, 3), (qml.Rot, 1, 3), (qml.PhaseShift, 1, 1), (qml.SX, 1, 0),
    (lambda wires: qml.adjoint(qml.SX(wires)), 1, 0), (lambda wires: qml.adjoint(qml.T(wires)), 1, 0),
    (qml.RX, 1, 1), (qml.Hadamard, 1, 0), (qml.CRX, 2, 1), (qml.CRot, 2, 3),
    (qml.ControlledPhaseShift, 2, 1), (qml.IsingXY, 2, 1), (qml.ISWAP, 2, 0), (qml.CY, 2, 0),
    (qml.Toffoli, 3, 0), (qml.CSWAP, 3, 0), (qml.MultiRZ, 3, 1), (qml.DoubleExcitation, 4, 1),
    (qml.DoubleExcitationPlus, 4, 1),  # has no decomposition: goes through its matrix
    (qml.GlobalPhase, 1, 1),
    (lambda wires: qml.QubitUnitary(unitary_group.rvs(4, random_state=len(wires)), wires), 2, 0),
]


def random_circuit(wires, depth, seed):
    """A function queuing a state preparation and ``depth`` random gates on ``wires``."""
    rng = np.random.default_rng(seed)
    choices = [rng.integers(len(GATES)) for _ in range(depth)]
    picks = [(GATES[c], rng.permutation(len(wires))[:GATES[c][1]], rng.uniform(-4, 4, 3))
             for c in choices]
    amplitudes = rng.normal(size=2) + 1j * rng.normal(size=2)

    def queue():
        qml.StatePrep(amplitudes / np.linalg.norm(amplitudes), wires=wires[-1])
        for (gate, _, n_angles), where, angles in picks:
            gate(*angles[:n_angles], wires=[wires[i] for i in where])

    return queue


def pauli_hamiltonian(wires, terms, seed):
    """A Hamiltonian of ``terms`` random Pauli words on ``wires``."""
    rng = np.random.default_rng(seed)
    paulis = [qml.Identity, qml.X, qml.Y, qml.Z]
    words = [qml.prod(*(paulis[rng.integers(4)](w) for w in wires)) for _ in range(terms)]
    return qml.Hamiltonian(rng.normal(size=terms), words)
