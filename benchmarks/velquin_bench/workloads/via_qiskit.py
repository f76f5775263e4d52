"""Through Qiskit: velquin_qiskit's primitives and statevector() against Qiskit Aer. The
timed call starts from the user's circuit: conversion (velquin's translation, Aer's
transpile) is part of every figure."""
import numpy as np

from ..declare import DEFAULT, Target, Workload

LIBRARY = ("QFT", "QuantumVolume", "EfficientSU2", "QAOAAnsatz")


def ansatz(n: int, layers: int):  # per layer ry and rz on every qubit, then a cz ladder
    from qiskit import QuantumCircuit
    from qiskit.circuit import ParameterVector

    theta, qc = ParameterVector("theta", 2 * n * layers), QuantumCircuit(n)
    for layer in range(layers):
        for q in range(n):
            qc.ry(theta[2 * (layer * n + q)], q)
            qc.rz(theta[2 * (layer * n + q) + 1], q)
        for q in range(n - 1):
            qc.cz(q, q + 1)
    return qc


def estimator_sweep(n, case, quick):
    from qiskit.quantum_info import SparsePauliOp

    rng, circuit = np.random.default_rng(12), ansatz(n, 6)
    observable = SparsePauliOp(["".join(rng.choice(list("IXYZ"), n)) for _ in range(20)],
                               rng.normal(size=20))
    values = rng.uniform(-np.pi, np.pi, (100 if quick else 1000, circuit.num_parameters))
    return lambda est: lambda: est.run([(circuit, observable, values)]).result()[0].data.evs


def sampler_shots(n, case, quick):
    circuit = ansatz(n, 2)
    circuit = circuit.assign_parameters(np.random.default_rng(24).uniform(
        -np.pi, np.pi, circuit.num_parameters))
    circuit.measure_all()
    return lambda sampler: lambda: sampler.run([circuit], shots=10**5).result()[0].data.meas


def library(n: int, case: str, measured: bool, quick: bool):
    """One circuit of Qiskit's library, its parameters bound to seeded random values."""
    from qiskit import QuantumCircuit
    from qiskit.circuit.library import QFTGate, efficient_su2, qaoa_ansatz, quantum_volume
    from qiskit.quantum_info import SparsePauliOp

    if case == "QFT":
        qc = QuantumCircuit(n)
        qc.append(QFTGate(n), range(n))
    elif case == "QuantumVolume":
        qc = quantum_volume(n, seed=n)
    elif case == "EfficientSU2":
        qc = efficient_su2(n)
    else:  # maxcut on a ring: ZZ on every edge
        ring = [("ZZ", [q, (q + 1) % n], 1.0) for q in range(n)]
        qc = qaoa_ansatz(SparsePauliOp.from_sparse_list(ring, n), reps=2)
    if qc.num_parameters:
        qc = qc.assign_parameters(np.random.default_rng(n).uniform(-np.pi, np.pi, qc.num_parameters))
    if measured:
        qc.measure_all()
    return {"circuit": qc, "shots": 10**4, "aer": {"method": "statevector"}}


def qnn(n, case, quick):
    """EstimatorQNN forward and backward: ry encoding of each input, then EfficientSU2."""
    from qiskit import QuantumCircuit
    from qiskit.circuit import ParameterVector
    from qiskit.circuit.library import efficient_su2
    from qiskit.quantum_info import SparsePauliOp
    from qiskit_machine_learning.neural_networks import EstimatorQNN

    inputs, weights, qc = ParameterVector("x", n), efficient_su2(n), QuantumCircuit(n)
    for q in range(n):
        qc.ry(inputs[q], q)
    qc.compose(weights, inplace=True)
    rng = np.random.default_rng(100)
    rows, point = rng.uniform(-1, 1, (5 if quick else 100, n)), rng.uniform(-1, 1, weights.num_parameters)

    def play(estimator, gradient):
        network = EstimatorQNN(circuit=qc, observables=SparsePauliOp("Z" * n), input_params=list(inputs),
                               weight_params=list(weights.parameters), estimator=estimator, gradient=gradient,
                               default_precision=0.0)  # exact values, as velquin's estimator gives
        return lambda: (network.forward(rows, point), network.backward(rows, point)[1])

    return play


_library_targets = (
    Target("no row above 1.0x Aer default at n <= 16", lambda r: r.n <= 16, vs="Aer default"),
    Target("no row above 0.4x Aer default at n >= 20", lambda r: r.n >= 20, vs="Aer default", limit=0.4))
_aer_library, _one = {"velquin": (DEFAULT,), "Aer": (DEFAULT, "fusion off")}, {"velquin": (DEFAULT,), "Aer": (DEFAULT,)}

WORKLOADS = [
    Workload("EstimatorV2, 1,000 parameter sets", "qiskit", "estimator", estimator_sweep, (12,), _one,
             "one `EstimatorV2.run` of a 6-layer ansatz with a 20-term observable over 1,000 "
             "parameter sets (quick: 100), against `qiskit_aer.primitives.EstimatorV2`",
             check="values", tolerance=1e-8, reps=2, rounds=3, profile=True,
             targets=(Target("EstimatorV2: faster than Aer", strict=True),)),
    Workload("SamplerV2, 10^5 shots", "qiskit", "sampler", sampler_shots, (24,), _one,
             "one `SamplerV2.run` of a bound 2-layer ansatz, measure_all, against "
             "`qiskit_aer.primitives.SamplerV2`", quick_ns=(20,), check="dist", tolerance=0.02,
             reps=2, rounds=3, profile=True, targets=(Target("SamplerV2: faster than Aer", strict=True),)),
    Workload("circuit library, statevector()", "qiskit", "qiskit_statevector",
             lambda n, case, quick: library(n, case, False, quick), (10, 16, 20, 24), _aer_library,
             "`velquin_qiskit.statevector(circuit)` against `AerSimulator(method=\"statevector\")`: "
             "transpile, run, `get_statevector`", quick_ns=(16,), cases=lambda n: list(LIBRARY),
             check="state", reps=lambda n: 3 if n <= 20 else 1, profile=True, targets=_library_targets),
    Workload("circuit library, SamplerV2 10^4 shots", "qiskit", "qiskit_shots",
             lambda n, case, quick: library(n, case, True, quick), (10, 16, 20, 24), _aer_library,
             "`velquin_qiskit.SamplerV2().run` against `AerSimulator(method=\"statevector\")`: "
             "transpile, run, `get_counts`", quick_ns=(16,), cases=lambda n: list(LIBRARY),
             check="dist", tolerance=0.05, reps=lambda n: 3 if n <= 20 else 1, profile=True,
             targets=_library_targets),
    Workload("EstimatorQNN forward and backward, 100 rows", "qiskit", "qnn", qnn, (12,), _one,
             "qiskit-machine-learning `EstimatorQNN` on EfficientSU2 (96 weights): `forward` and "
             "`backward` over 100 input rows (quick: 5); velquin with its adjoint gradient where "
             "velquin_qiskit has one, else parameter shift; Aer with parameter shift",
             check="values", tolerance=1e-8, reps=1, rounds=2, profile=True,
             targets=(Target("EstimatorQNN: faster than Aer", vs="Aer default", strict=True),)),
]
