"""Dynamic circuits and noise against Aer's density-matrix method.

Distributions are compared by a chi-square test of homogeneity (velquin's counts against
Aer's, outcomes expected fewer than 5 times merged into one bin) at level 1e-4 each: with the
fixed seeds below every test is deterministic, and over fresh seeds the chance of any false
alarm in this file is below 2e-3.
"""

import math

import numpy as np
import pytest
from qiskit import ClassicalRegister, QuantumCircuit, transpile
from qiskit.circuit.classical import expr
from qiskit.primitives import BitArray
from qiskit.providers.fake_provider import GenericBackendV2
from qiskit.quantum_info import SparsePauliOp
from qiskit_aer import AerSimulator
from qiskit_aer.noise import (
    NoiseModel,
    ReadoutError,
    amplitude_damping_error,
    depolarizing_error,
    pauli_error,
    phase_damping_error,
    thermal_relaxation_error,
)
from qiskit_aer.primitives import EstimatorV2 as AerEstimator
from random_circuits import AER_GATES, random_circuit, random_dynamic_circuit
from scipy.stats import chi2_contingency

import velquin_qiskit as vq

LEVEL = 1e-4
SHOTS = 10_000


def p_value(ours, theirs):
    keys = sorted(set(ours) | set(theirs))
    table = np.array([[ours.get(k, 0) for k in keys], [theirs.get(k, 0) for k in keys]], float)
    expected = table.sum(0) * table.sum(1)[:, None] / table.sum()
    rare = expected.min(0) < 5
    if rare.any():
        table = np.column_stack([table[:, ~rare], table[:, rare].sum(1)])
    return 1.0 if table.shape[1] < 2 else chi2_contingency(table, correction=False).pvalue


def random_noise_model(seed, n_qubits):
    """Depolarizing errors on some gates, thermal relaxation and amplitude damping on some
    qubits, a two-qubit error composed as Aer's device models compose theirs (depolarizing,
    then relaxation on each qubit), phase damping after resets, bit flips before
    measurements, readout errors."""
    rng = np.random.default_rng(seed)
    one = [name for name, arity, _ in AER_GATES if arity == 1]
    two = [name for name, arity, _ in AER_GATES if arity == 2]
    model = NoiseModel()
    model.add_all_qubit_quantum_error(depolarizing_error(rng.uniform(0.02, 0.1), 1),
                                      list(rng.choice(one, 8, replace=False)))
    model.add_all_qubit_quantum_error(depolarizing_error(rng.uniform(0.05, 0.2), 2),
                                      list(rng.choice(two, 5, replace=False)))
    q = [int(i) for i in rng.permutation(n_qubits)]
    model.add_quantum_error(thermal_relaxation_error(50, rng.choice([40, 80]), 8),
                            list(rng.choice(one, 4, replace=False)), [q[0]], warnings=False)
    model.add_quantum_error(amplitude_damping_error(rng.uniform(0.1, 0.3)), ["x", "h", "ry"],
                            [q[1]], warnings=False)
    relaxation = thermal_relaxation_error(50, 40, 10)
    model.add_quantum_error(depolarizing_error(0.3, 2).compose(relaxation.tensor(relaxation)),
                            list(rng.choice(two, 3, replace=False)), q[:2], warnings=False)
    model.add_all_qubit_quantum_error(phase_damping_error(0.2), ["reset"])
    model.add_all_qubit_quantum_error(pauli_error([("X", 0.05), ("I", 0.95)]), ["measure"])
    model.add_all_qubit_readout_error(ReadoutError([[0.95, 0.05], [0.1, 0.9]]))
    model.add_readout_error(ReadoutError([[0.8, 0.2], [0.3, 0.7]]), [q[2]], warnings=False)
    return model


def aer_counts(circuit, noise_model, shots=SHOTS, backend=None):
    simulator = backend or AerSimulator(method="density_matrix", noise_model=noise_model)
    counts = simulator.run(circuit, shots=shots, seed_simulator=11).result().get_counts()
    return {key.replace(" ", ""): n for key, n in counts.items()}


@pytest.mark.parametrize("seed", range(8))
def test_dynamic_circuit_counts_match_aer_density_matrix(seed):
    """Seeds 0 and 1 noiseless, the others with a random noise model; even seeds through
    the sampler, odd ones through the backend."""
    circuit = random_dynamic_circuit(3, 25, seed)
    noise = None if seed < 2 else random_noise_model(seed, 3)
    if seed % 2 == 0:
        result = vq.SamplerV2(seed=seed, noise_model=noise).run([circuit], shots=SHOTS).result()
        data = result[0].data
        ours = BitArray.concatenate_bits([data.m, data.out]).get_counts()
    else:
        ours = {key.replace(" ", ""): n for key, n in vq.VelquinBackend(noise_model=noise).run(
            circuit, shots=SHOTS, seed_simulator=seed).result().get_counts().items()}
    assert sum(ours.values()) == SHOTS
    assert p_value(ours, aer_counts(circuit, noise)) > LEVEL


def test_device_noise_from_backend_matches_aer_from_backend():
    device = GenericBackendV2(4, seed=5, control_flow=True)
    ours, aer = vq.VelquinBackend.from_backend(device), AerSimulator.from_backend(
        device, method="density_matrix")
    assert ours.name == f"velquin_from({device.name})" and ours.target is device.target
    assert ours.coupling_map.get_edges() == aer.coupling_map.get_edges()
    circuit = random_dynamic_circuit(3, 15, 21, channels=False)
    circuit.delay(300, 0, unit="ns")                     # relaxation during a delay, as Aer
    circuit.measure(0, 0)
    isa = transpile(circuit, device, seed_transpiler=1, optimization_level=0)
    counts = {k.replace(" ", ""): n for k, n in ours.run(
        isa, shots=SHOTS, seed_simulator=3).result().get_counts().items()}
    assert p_value(counts, aer_counts(isa, None, backend=aer)) > LEVEL


@pytest.mark.parametrize("seed", range(3))
def test_noisy_estimator_averages_trajectories_as_aer_density_matrix(seed):
    """Resets and noise, no measurements: Aer's density matrix gives exact values. Each value
    lies within 5 standard errors (bounded by the coefficients' 1-norm over the square root
    of the trajectories): a false alarm below 1e-6 per value."""
    rng = np.random.default_rng(seed)
    circuit = random_circuit(3, 12, seed, general=False, parameters=2)
    circuit = transpile(circuit, basis_gates=[g[0] for g in AER_GATES], optimization_level=0)
    circuit.reset(int(rng.integers(3)))
    circuit.compose(random_circuit(3, 6, seed + 1, general=False), inplace=True)
    circuit = transpile(circuit, basis_gates=[g[0] for g in AER_GATES] + ["reset"],
                        optimization_level=0)
    noise = random_noise_model(seed, 3)
    observables = [SparsePauliOp(["ZZI", "IXY", "ZII"], [1.0, -0.5, 0.3]), SparsePauliOp("IIZ")]
    values = rng.uniform(-3, 3, (2, 2))
    precision = 0.02
    pub = (circuit, observables, values[:, None, :])
    ours = vq.EstimatorV2(seed=seed, noise_model=noise).run([pub], precision=precision)
    result = ours.result()[0]
    exact = AerEstimator(options={"backend_options": {"method": "density_matrix",
                                                      "noise_model": noise}}).run(
        [pub]).result()[0].data.evs
    assert result.metadata["shots"] == math.ceil(1 / precision**2) == 2500
    assert np.all(result.data.stds == precision)
    bound = 5 * precision * np.array([1.8, 1.0])
    assert np.all(np.abs(result.data.evs - exact) < bound)
    again = vq.EstimatorV2(seed=seed, noise_model=noise).run([pub], precision=precision)
    assert np.array_equal(again.result()[0].data.evs, result.data.evs)


def _flow_pairs():
    """Pairs of circuits that must be the same program: the same seed gives the same bits."""
    base = QuantumCircuit(3, 3)
    base.h([0, 1, 2])
    base.measure([0, 1], [0, 1])
    pairs = []
    boxed, inlined = base.copy(), base.copy()            # a box is its body in place
    with boxed.box():
        boxed.rx(0.4, 2)
        boxed.cx(2, 0)
    inlined.rx(0.4, 2)
    inlined.cx(2, 0)
    pairs.append((boxed, inlined))
    on_expr, on_register = base.copy(), base.copy()      # a switch on c ^ 3 is one on c
    with on_expr.switch(expr.bit_xor(on_expr.cregs[0], 3)) as case:
        with case(1, 6):
            on_expr.x(2)
        with case(case.DEFAULT):
            on_expr.h(2)
    with on_register.switch(on_register.cregs[0]) as case:
        with case(2, 5):
            on_register.x(2)
        with case(case.DEFAULT):
            on_register.h(2)
    pairs.append((on_expr, on_register))
    looped, unrolled = base.copy(), base.copy()          # a for loop binds its parameter
    with looped.for_loop(range(1, 3)) as step:
        looped.ry(0.5 * step - 0.2, 2)
    unrolled.ry(0.3, 2)
    unrolled.ry(0.8, 2)
    pairs.append((looped, unrolled))
    legacy, modern = base.copy(), base.copy()            # (register, value) is register == value
    with legacy.if_test((legacy.cregs[0], 2)):
        legacy.x(2)
    with modern.if_test(expr.equal(modern.cregs[0], 2)):
        modern.x(2)
    pairs.append((legacy, modern))
    for circuit in (pair for pair_ in pairs for pair in pair_):
        circuit.measure(2, 2)
    return pairs


@pytest.mark.parametrize("index", range(4))
def test_control_flow_forms_give_the_same_bits(index):
    first, second = _flow_pairs()[index]
    run = [vq.SamplerV2(seed=3).run([c], shots=500).result()[0].data.c.array for c in
           (first, second)]
    assert np.array_equal(*run) and len(np.unique(run[0])) > 1


def _correlated_readout():
    model = NoiseModel()
    model.add_readout_error(ReadoutError([[0.9, 0.1, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0],
                                          [0, 0, 0.1, 0.9]]), [0, 1])
    return model


def _gate_noise():
    model = NoiseModel()
    model.add_all_qubit_quantum_error(depolarizing_error(0.1, 2), ["cx"])
    return model


# (noise model, primitive, error, text)
NOISE_REFUSALS = [
    (_correlated_readout, "sampler", vq.UnsupportedInstructionError,
     "'measure' (circuit.data[3] on qubits [0]): the noise model's readout error on qubits "
     "(0, 1) is correlated"),
    (_gate_noise, "estimator", vq.UnsupportedInstructionError,
     "PUB 0: exact noisy expectation values need a density matrix, which velquin does not "
     "simulate (the noise model gives 'cx' (circuit.data[1] on qubits [0, 1]) an error); give "
     "a positive precision"),
    (lambda: "depolarizing", "sampler", TypeError, "noise_model must be a qiskit_aer.noise"),
]


@pytest.mark.parametrize("model, primitive, error, text", NOISE_REFUSALS)
def test_noise_refusals_name_what_cannot_be_simulated(model, primitive, error, text):
    circuit = QuantumCircuit(2)
    circuit.h(0)
    circuit.cx(0, 1)
    with pytest.raises(error) as raised:
        if primitive == "sampler":
            circuit.measure_all()
            vq.SamplerV2(noise_model=model()).run([circuit])
        else:
            vq.EstimatorV2(noise_model=model()).run([(circuit, SparsePauliOp("ZZ"))])
    assert text in str(raised.value)
