"""velquin_qiskit against Qiskit's own references on random circuits."""

import numpy as np
import pytest
from qiskit import ClassicalRegister, QuantumCircuit, QuantumRegister
from qiskit.primitives import (
    BackendEstimatorV2,
    BackendSamplerV2,
    StatevectorEstimator,
    StatevectorSampler,
)
from qiskit.circuit import ControlledGate
from qiskit.circuit.library import UnitaryGate
from qiskit.providers.basic_provider import BasicSimulator
from qiskit.quantum_info import SparsePauliOp, Statevector, random_unitary
from random_circuits import SKIP, STANDARD, random_circuit
from scipy.stats import chisquare

import velquin_qiskit as vq
from velquin_qiskit.translation import translate

# Every standard gate, and each controlled one again with an open control state.
GATE_CASES = [(name, None) for name in sorted(set(STANDARD) - SKIP)] + [
    (name, 0) for name in sorted(STANDARD) if isinstance(STANDARD[name], ControlledGate)]


@pytest.mark.parametrize("name, ctrl_state", GATE_CASES)
def test_each_standard_gate_is_one_engine_operation_with_qiskits_matrix(name, ctrl_state):
    rng = np.random.default_rng(len(GATE_CASES) + sum(map(ord, name)))
    angles = rng.uniform(-2 * np.pi, 2 * np.pi, len(STANDARD[name].params))
    gate = STANDARD[name].base_class(*angles, **({} if ctrl_state is None else
                                                 {"ctrl_state": ctrl_state}))
    alone = QuantumCircuit(gate.num_qubits)
    alone.append(gate, range(gate.num_qubits))
    ops = translate(alone).program.ops
    assert len(ops) == (0 if name in ("id", "global_phase") else 1)
    n = max(1, gate.num_qubits)
    circuit = QuantumCircuit(n)
    circuit.append(UnitaryGate(random_unitary(2**n, seed=rng.integers(2**31))), range(n))
    circuit.append(gate, range(gate.num_qubits))
    np.testing.assert_allclose(vq.statevector(circuit).data, Statevector(circuit).data,
                               rtol=0, atol=1e-12)

# (register size, qubits the gates use, parameters): idle qubits on several cases.
CASES = [(3, None, 0), (5, None, 3), (6, [0, 2, 5], 2), (7, [1, 3, 4, 6], 0), (4, [2], 1)]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("n, qubits, n_params", CASES)
def test_statevector_equals_qiskit_with_global_phase(n, qubits, n_params, seed):
    circuit = random_circuit(n, 40, seed, qubits=qubits, parameters=n_params)
    bound = circuit.assign_parameters(np.random.default_rng(seed).uniform(-3, 3, n_params))
    ours = vq.statevector(bound)
    assert isinstance(ours, Statevector) and ours.dims() == (2,) * n
    np.testing.assert_allclose(ours.data, Statevector(bound).data, rtol=0, atol=1e-12)
    # The velquin circuit has the same state up to the global phase it cannot carry.
    overlap = np.vdot(vq.from_qiskit(bound).statevector(), ours.data)
    assert abs(abs(overlap) - 1) < 1e-12


def random_observables(rng, n, shape):
    """Pauli sums with random coefficients, touching every qubit (idle ones too)."""
    out = np.empty(shape, dtype=object)
    for index in np.ndindex(*shape):
        labels = ["".join(rng.choice(list("IXYZ"), n)) for _ in range(6)]
        labels.append("Z" * n)
        out[index] = SparsePauliOp(labels, rng.normal(size=len(labels)))
    return out.tolist()


@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("n, qubits, n_params", CASES)
def test_estimator_equals_statevector_estimator(n, qubits, n_params, seed):
    rng = np.random.default_rng(seed)
    circuit = random_circuit(n, 30, seed, qubits=qubits, parameters=n_params)
    values = rng.uniform(-3, 3, (3, 1, n_params))      # broadcasts against 2 observables
    pubs = [(circuit, random_observables(rng, n, (2,)), values),
            (circuit, random_observables(rng, n, (3, 2)), values[0, 0])]
    ours = vq.EstimatorV2(seed=1).run(pubs).result()
    reference = StatevectorEstimator().run(pubs).result()
    assert ours.metadata == reference.metadata
    for got, want in zip(ours, reference):
        assert got.data.evs.shape == want.data.evs.shape == got.data.stds.shape
        np.testing.assert_allclose(got.data.evs, want.data.evs, rtol=0, atol=1e-12)
        assert not got.data.stds.any()
        assert got.metadata == want.metadata


def test_estimator_precision_adds_seeded_noise_of_that_width():
    circuit = random_circuit(4, 30, 3)
    observable = SparsePauliOp(["ZZII", "XIXI"], [0.5, 0.25])
    exact = vq.EstimatorV2().run([(circuit, observable)]).result()[0].data.evs
    pub = (circuit, [observable] * 4000)
    noisy = vq.EstimatorV2(seed=5).run([pub], precision=0.1).result()[0]
    again = vq.EstimatorV2(seed=5).run([pub], precision=0.1).result()[0]
    assert np.array_equal(noisy.data.evs, again.data.evs)
    assert np.all(noisy.data.stds == 0.1) and noisy.metadata["target_precision"] == 0.1
    # Mean within 5 standard errors and width within 5 %: a false alarm is far below 1e-6.
    deviation = noisy.data.evs - exact
    assert abs(deviation.mean()) < 5 * 0.1 / np.sqrt(4000)
    assert abs(deviation.std() / 0.1 - 1) < 0.05


def scrambled_measurements(n, rng):
    """Two registers, bits measured out of order; one bit twice, one never, idle qubits too."""
    circuit = QuantumCircuit(QuantumRegister(n), ClassicalRegister(3, "alpha"),
                             ClassicalRegister(n - 1, "beta"))
    clbits = list(rng.permutation(circuit.num_clbits))
    for qubit, clbit in zip(rng.permutation(n), clbits[:-1]):
        circuit.measure(int(qubit), int(clbit))
    circuit.measure(0, int(clbits[0]))                 # overwrites: the last measurement counts
    return circuit


@pytest.mark.parametrize("seed", range(4))
def test_sampler_lays_out_registers_as_statevector_sampler(seed):
    rng = np.random.default_rng(seed)
    n = 6
    circuit = QuantumCircuit(n)
    circuit.x([int(q) for q in rng.choice([0, 1, 2, 3], 2, replace=False)])  # 4 and 5 stay idle
    circuit = circuit.compose(scrambled_measurements(n, rng))
    wide = ClassicalRegister(70, "gamma")              # wider than one 64-bit word
    circuit.add_register(wide)
    circuit.measure([int(q) for q in rng.integers(n, size=70)], wide)
    values = np.zeros((2, 3, 0))
    ours = vq.SamplerV2(seed=1).run([(circuit, values)], shots=7).result()
    reference = StatevectorSampler(seed=1).run([(circuit, values)], shots=7).result()
    assert ours.metadata == reference.metadata and ours[0].metadata == reference[0].metadata
    for name in ["alpha", "beta", "gamma"]:
        got, want = ours[0].data[name], reference[0].data[name]
        assert (got.shape, got.num_bits, got.num_shots) == (want.shape, want.num_bits, 7)
        assert np.array_equal(got.array, want.array)  # deterministic outcome: same bits


@pytest.mark.parametrize("seed", range(3))
def test_sampled_distribution_matches_exact_probabilities(seed):
    """Chi-square goodness of fit at level 1e-4 for each of 3 parameter sets (fixed seeds)."""
    circuit = random_circuit(4, 40, seed + 10, parameters=2)
    alpha = ClassicalRegister(4, "alpha")
    circuit.add_register(alpha)
    circuit.measure([2, 0, 3, 1], alpha)
    values = np.random.default_rng(seed).uniform(-3, 3, (3, 2))
    result = vq.SamplerV2(seed=seed).run([(circuit, values)], shots=20000).result()[0]
    for k in range(3):
        bound = circuit.remove_final_measurements(inplace=False).assign_parameters(values[k])
        probs = Statevector(bound).probabilities_dict()
        expected = np.zeros(16)
        for key, p in probs.items():  # clbit b holds qubit [2, 0, 3, 1][b]
            expected[sum(int(key[-1 - q]) << b for b, q in enumerate([2, 0, 3, 1]))] += p
        counts = result.data.alpha.get_int_counts(k)
        observed = np.array([counts.get(i, 0) for i in range(16)])
        keep = expected > 1e-9
        assert observed[~keep].sum() == 0
        expected = expected[keep] / expected[keep].sum() * 20000
        assert chisquare(observed[keep], expected).pvalue > 1e-4


def test_backend_results_read_as_basic_simulators():
    circuit = QuantumCircuit(QuantumRegister(5), ClassicalRegister(2, "a"), ClassicalRegister(3, "b"))
    circuit.x([0, 3])
    circuit.h(4)
    circuit.measure([0, 1, 3, 4], [4, 0, 1, 2])
    ours = vq.VelquinBackend().run([circuit, circuit], shots=64, seed_simulator=3, memory=True)
    reference = BasicSimulator().run(circuit, shots=64, seed_simulator=3, memory=True).result()
    result = ours.result()
    assert set(result.get_counts(1)) == set(reference.get_counts()) == {"101 10", "100 10"}
    assert sorted(set(result.get_memory(0))) == sorted(set(reference.get_memory()))
    assert sum(result.get_counts(0).values()) == 64 and len(result.get_memory(0)) == 64
    header = result.results[0].header
    assert header["creg_sizes"] == [["a", 2], ["b", 3]] and header["memory_slots"] == 5
    wide = QuantumCircuit(QuantumRegister(2), ClassicalRegister(3, "a"), ClassicalRegister(67, "b"))
    wide.x(1)
    wide.h(0)
    wide.measure([1, 0] + [1] * 68, range(70))         # 70 classical bits: beyond one word
    ours = vq.VelquinBackend().run(wide, shots=32, seed_simulator=3, memory=True).result()
    reference = BasicSimulator().run(wide, shots=32, seed_simulator=3, memory=True).result()
    assert set(ours.get_counts()) == set(reference.get_counts())
    assert set(ours.get_memory()) == set(reference.get_memory())


def test_qiskit_backend_primitives_run_on_the_backend():
    """BackendSamplerV2 and BackendEstimatorV2 on VelquinBackend: within 5 standard errors."""
    backend = vq.VelquinBackend()
    circuit = random_circuit(3, 25, 4, parameters=2)
    values = np.random.default_rng(4).uniform(-3, 3, (2, 2))
    observable = SparsePauliOp(["ZZI", "IXX", "YIZ"], [1.0, 0.5, -0.7])
    exact = StatevectorEstimator().run([(circuit, observable, values)]).result()[0].data.evs
    estimator = BackendEstimatorV2(backend=backend, options={"seed_simulator": 11})
    from qiskit import transpile
    isa = transpile(circuit, backend)
    estimate = estimator.run([(isa, observable.apply_layout(isa.layout), values)],
                             precision=0.01).result()[0].data
    assert np.all(np.abs(estimate.evs - exact) < 5 * np.maximum(estimate.stds, 1e-3))

    measured = isa.copy()
    measured.measure_all()
    sampler = BackendSamplerV2(backend=backend, options={"seed_simulator": 11})
    counts = sampler.run([(measured, values)], shots=20000).result()[0].data.meas
    for k in range(2):
        probs = Statevector(circuit.assign_parameters(values[k])).probabilities()
        observed = counts.get_int_counts(k)
        expected = np.array([observed.get(i, 0) for i in range(8)]) / 20000
        assert np.all(np.abs(expected - probs) < 5 * np.sqrt(probs * (1 - probs) / 20000) + 1e-9)
