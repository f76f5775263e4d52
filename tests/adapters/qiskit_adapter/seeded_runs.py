"""One seeded sweep through both primitives; its fingerprint must not depend on where it ran.

Run as a script, it prints the fingerprint of a serial run.
"""

import hashlib
import sys

import numpy as np
from qiskit import ClassicalRegister
from qiskit.quantum_info import SparsePauliOp
from random_circuits import random_circuit

import velquin_qiskit as vq

N_QUBITS = 17  # velquin threads its gates from 16 qubits on


def fingerprint(seed, executor=None):
    circuit = random_circuit(N_QUBITS, 60, 1, parameters=3)
    values = np.random.default_rng(0).uniform(-3, 3, (2, 3, 3))
    measured = circuit.copy()
    register = ClassicalRegister(5, "m")
    measured.add_register(register)
    measured.measure([16, 0, 3, 9, 12], register)
    sampled = vq.SamplerV2(seed=seed, executor=executor).run(
        [(measured, values), (measured, values[0, 0])], shots=300).result()
    observable = SparsePauliOp(["Z" * N_QUBITS, "X" + "I" * (N_QUBITS - 2) + "Y"], [1.0, 0.3])
    estimated = vq.EstimatorV2(seed=seed, executor=executor).run(
        [(circuit, observable, values)], precision=0.05).result()
    digest = hashlib.sha256()
    for result in sampled:
        digest.update(result.data.m.array.tobytes())
    digest.update(estimated[0].data.evs.tobytes())
    return digest.hexdigest()


if __name__ == "__main__":
    print(fingerprint(int(sys.argv[1])))
