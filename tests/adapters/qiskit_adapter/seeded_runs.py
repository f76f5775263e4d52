"""One seeded sweep through both primitives, the backend and the gradient, noiseless and noisy;
its fingerprint must not depend on where it ran.

Run as a script, it prints the fingerprint of a serial run.
"""

import hashlib
import sys

import numpy as np
from qiskit import ClassicalRegister
from qiskit.quantum_info import SparsePauliOp
from qiskit_aer.noise import NoiseModel, ReadoutError, amplitude_damping_error, depolarizing_error
from random_circuits import random_circuit

import velquin_qiskit as vq

N_QUBITS = 17  # velquin threads its gates from 16 qubits on


def noise_model():
    model = NoiseModel()
    model.add_all_qubit_quantum_error(depolarizing_error(0.02, 2), ["cx", "cz"])
    model.add_all_qubit_quantum_error(amplitude_damping_error(0.05), ["h", "x"])
    model.add_all_qubit_readout_error(ReadoutError([[0.97, 0.03], [0.05, 0.95]]))
    return model


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
    # A dynamic, noisy circuit: a mid-circuit measurement steering the next gates.
    dynamic = random_circuit(N_QUBITS, 20, 2, general=False, parameters=3)
    dynamic.add_register(ClassicalRegister(2, "m"))
    dynamic.measure(4, 0)
    with dynamic.if_test((dynamic.clbits[0], 1)):
        dynamic.h(range(N_QUBITS))
    dynamic.compose(random_circuit(N_QUBITS, 10, 3, general=False), inplace=True)
    noisy = dynamic.copy()
    noisy.measure(7, 1)
    model = noise_model()
    trajectories = vq.SamplerV2(seed=seed, executor=executor, noise_model=model).run(
        [(noisy, values[0])], shots=40).result()
    noisy_values = vq.EstimatorV2(seed=seed, executor=executor, noise_model=model).run(
        [(dynamic, observable, values[0])], precision=0.3).result()
    backend = vq.VelquinBackend(executor=executor, noise_model=model).run(
        [noisy.assign_parameters(values[0, 0]), noisy.assign_parameters(values[1, 2])],
        shots=30, seed_simulator=seed, memory=True).result()
    gradient = vq.AdjointEstimatorGradient().run(
        [circuit] * 3, [observable] * 3, values[0]).result()
    digest = hashlib.sha256()
    for result in sampled:
        digest.update(result.data.m.array.tobytes())
    digest.update(estimated[0].data.evs.tobytes())
    digest.update(trajectories[0].data.m.array.tobytes())
    digest.update(noisy_values[0].data.evs.tobytes())
    digest.update(repr([backend.get_memory(i) for i in range(2)]).encode())
    for row in gradient.gradients:
        digest.update(np.asarray(row).tobytes())
    return digest.hexdigest()


if __name__ == "__main__":
    print(fingerprint(int(sys.argv[1])))
