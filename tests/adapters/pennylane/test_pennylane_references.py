"""velquin.qubit against PennyLane's own default.qubit: states, expectation values, samples, VQE."""

import numpy as np
import pennylane as qml
import pytest
from pennylane import numpy as pnp
from pennylane_circuits import pauli_hamiltonian, random_circuit
from scipy import stats
from velquin_pennylane import batch
from velquin_pennylane.translate import translate

PHASE_ONLY = {"GlobalPhase", "Identity", "PauliRot"}  # PauliRot of identities: a phase


def innermost(op):
    while hasattr(op, "base"):
        op = op.base
    return op


WIRE_SETS = {"ints": [0, 1, 2, 3, 4], "ints out of order": [3, 1, 4, 0, 2],
             "mixed labels": ["a", 7, "q", -1, "b"]}


def both(function, wires, seed):
    """Results on velquin.qubit and on default.qubit of one batch: the function's tape, then
    twice the same in velquin.qubit's gates with every scalar parameter (angles,
    coefficients) redrawn, the second time also on reversed wires. The first two share a
    structure, which velquin.qubit translates once and binds to each tape's angles."""
    tape = qml.tape.make_qscript(function)()
    ours = qml.device("velquin.qubit", wires=wires)
    (lowered,), _ = ours.preprocess_transforms()((tape,))
    scalars = [i for i, p in enumerate(lowered.get_parameters()) if np.ndim(p) == 0]
    rng = np.random.default_rng(seed)
    redrawn = [lowered.bind_new_parameters(rng.uniform(-4, 4, len(scalars)), scalars)
               for _ in range(2)]
    reverse = dict(zip(wires, reversed(wires)))
    reversed_wires = qml.tape.QuantumScript([op.map_wires(reverse) for op in redrawn[1].operations],
                                            [mp.map_wires(reverse) for mp in redrawn[1].measurements])
    tapes = [tape, redrawn[0], reversed_wires]
    return [qml.execute(tapes, device) for device in (ours, qml.device("default.qubit", wires=wires))]


@pytest.mark.parametrize("graph", [False, True], ids=["decompose", "graph decompose"])
@pytest.mark.parametrize("labels", WIRE_SETS)
@pytest.mark.parametrize("seed", range(4))
def test_random_circuits_match_default_qubit(seed, labels, graph):
    wires = WIRE_SETS[labels]
    queue = random_circuit(wires, 80, [seed, list(WIRE_SETS).index(labels)])
    hamiltonian = pauli_hamiltonian(wires, 8, seed)
    hermitian = qml.Hermitian(qml.matrix(pauli_hamiltonian(wires[1:3], 3, seed + 1)), wires[1:3])

    def state():
        queue()
        return qml.state()

    def measured():
        queue()
        return (qml.expval(hamiltonian), qml.var(hamiltonian.terms()[1][0]),
                qml.expval(hermitian), qml.probs(wires=[wires[3], wires[0]]),
                qml.density_matrix(wires=wires[2]))

    with qml.decomposition.toggle_graph_ctx(graph):
        # The device's own operations reach the engine whole: preprocessing keeps each one,
        # and each is one engine operation (none: a phase or nothing).
        device = qml.device("velquin.qubit", wires=wires)
        tape = qml.tape.make_qscript(queue)()
        (lowered,), _ = device.preprocess_transforms()((tape,))
        native = [op for op in tape.operations if device.capabilities.supports_operation(op)]
        assert len(native) > 60 and {id(op) for op in native} <= {id(op) for op in lowered}
        qubit = {w: i for i, w in enumerate(wires)}
        for op in native:
            count = len(translate([op], qubit).ops)
            assert count == 1 or count == 0 and innermost(op).name in PHASE_ONLY
        for ours, reference in zip(*both(state, wires, seed)):
            # Per amplitude, global phase included.
            assert np.max(np.abs(ours - reference)) < 1e-12
        for our_tape, reference_tape in zip(*both(measured, wires, seed)):
            for ours, reference in zip(our_tape, reference_tape):
                assert np.max(np.abs(ours - reference)) < 1e-12


# Each check below fails a correct device with probability ALPHA; with the checks of all
# parameters together, the file's statistical false-alarm rate is below 1e-3. The seeds
# are fixed, so a run is deterministic: this is the chance that a seed was unlucky.
ALPHA = 1e-5


@pytest.mark.parametrize("seed", range(3))
def test_sampled_distributions_match_exact_ones(seed):
    wires = WIRE_SETS["mixed labels"][:4]
    queue = random_circuit(wires, 25, seed)
    word = qml.X(wires[0]) @ qml.Y(wires[2])
    shots = (20000, 20000)

    def exact():
        queue()
        return qml.probs(wires=wires), qml.expval(word)

    def sampled():
        queue()
        return qml.counts(wires=wires, all_outcomes=True), qml.sample(word)

    probs, mean = qml.QNode(exact, qml.device("default.qubit", wires=wires))()
    dev = qml.device("velquin.qubit", wires=wires, seed=seed)
    runs = qml.QNode(sampled, dev, shots=shots)()
    assert len(runs) == len(shots)
    for (counts, signs), n in zip(runs, shots):
        observed = np.array([counts[format(i, "04b")] for i in range(16)])
        assert observed.sum() == n
        assert np.all(observed[probs < 1e-14] == 0)
        expected = probs * n
        assert stats.chisquare(observed[expected > 0], expected[expected > 0]).pvalue > ALPHA
        plus = int(np.sum(signs == 1))
        assert plus + int(np.sum(signs == -1)) == n
        assert stats.binomtest(plus, n, (1 + mean) / 2).pvalue > ALPHA


@pytest.mark.parametrize("diff_method", ["parameter-shift", "finite-diff"])
def test_vqe_on_four_qubits_reaches_the_ground_energy(diff_method, monkeypatch):
    """H2 in a minimal basis: one double excitation from Hartree-Fock reaches the ground state."""
    hamiltonian, n = qml.qchem.molecular_hamiltonian(
        ["H", "H"], np.array([0.0, 0.0, -0.6614, 0.0, 0.0, 0.6614]))
    ground = np.linalg.eigvalsh(qml.matrix(hamiltonian, wire_order=range(n)))[0]

    def energy(theta):
        qml.BasisState(np.array([1, 1, 0, 0]), wires=range(n))
        qml.DoubleExcitation(theta, wires=range(n))
        return qml.expval(hamiltonian)

    ours = qml.QNode(energy, qml.device("velquin.qubit", wires=n), diff_method=diff_method)
    reference = qml.QNode(energy, qml.device("default.qubit", wires=n), diff_method="backprop")
    start = pnp.array(0.3, requires_grad=True)
    tolerance = 1e-12 if diff_method == "parameter-shift" else 1e-6
    calls = []
    run_job = batch.run_job
    monkeypatch.setattr(batch, "run_job", lambda job: calls.append(job) or run_job(job))
    assert abs(qml.grad(ours)(start) - qml.grad(reference)(start)) < tolerance
    # The forward tape, then every shifted tape as one program in one engine call.
    assert len(calls) == 2 and calls[1].rows.shape[0] > 1
    theta, optimizer = start, qml.GradientDescentOptimizer(0.4)
    for _ in range(40):
        theta = optimizer.step(ours, theta)
    assert abs(ours(theta) - ground) < 1e-9
