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


def adjoint_batch(seed):
    """A function of a vector of angles giving the expectation values of three tapes of one
    random circuit (one structure): the first two with one random half of the circuit's
    angles trainable, the third with another; and the vector's starting value."""
    wires = list(WIRE_SETS.values())[seed % len(WIRE_SETS)]
    tape = qml.tape.make_qscript(random_circuit(wires, 30, [seed, 11], every=True))()
    angles = [i for i, p in enumerate(tape.get_parameters(trainable_only=False))
              if np.ndim(p) == 0]
    rng = np.random.default_rng(seed)
    subsets = [sorted(rng.choice(angles, len(angles) // 2, replace=False)) for _ in range(2)]
    hermitian = qml.Hermitian(qml.matrix(pauli_hamiltonian(wires[1:3], 3, seed + 1)), wires[1:3])
    measurements = [qml.expval(pauli_hamiltonian(wires, 6, seed)), qml.expval(hermitian),
                    qml.expval(0.5 * qml.Y(wires[0]) - 2 * hermitian @ qml.X(wires[4])),
                    qml.expval(qml.Projector([1, 0], wires[3:5]))]
    split = [len(subsets[0]), 2 * len(subsets[0])]

    def expectations(x, device, **options):
        parts = np.split(np.arange(len(x)), split) if isinstance(x, np.ndarray) else None
        chunks = [x[i] for i in parts] if parts is not None else [x[:split[0]],
                                                                  x[split[0]:split[1]],
                                                                  x[split[1]:]]
        tapes = [qml.tape.QuantumScript(tape.bind_new_parameters(values, subset).operations,
                                        measurements)
                 for values, subset in zip(chunks, [subsets[0], subsets[0], subsets[1]])]
        results = qml.execute(tapes, device, **options)
        return qml.math.stack([value for result in results for value in result])

    start = rng.uniform(-4, 4, 2 * len(subsets[0]) + len(subsets[1]))
    return expectations, start, wires


@pytest.mark.parametrize("mode", ["jacobian", "vector-jacobian products", "jax"])
@pytest.mark.parametrize("seed", range(3))
def test_adjoint_derivatives_match_default_qubit_backprop(seed, mode, monkeypatch):
    """Every operation the device declares differentiable, random angles trainable, several
    observables (Pauli sums, Hermitian matrices, sums of both, a projector), three tapes of one
    structure: values and Jacobians as default.qubit's backpropagation gives them."""
    expectations, start, wires = adjoint_batch(seed)
    reference = qml.device("default.qubit", wires=wires)
    want_values = expectations(start, reference)
    want = qml.jacobian(lambda x: expectations(x, reference, diff_method="backprop"))(
        pnp.array(start, requires_grad=True))
    ours = qml.device("velquin.qubit", wires=wires)
    calls = []
    gradients = batch.gradients
    monkeypatch.setattr(batch, "gradients", lambda job: calls.append(job) or gradients(job))
    if mode == "jax":
        import jax

        jax.config.update("jax_enable_x64", True)
        got_values = expectations(jax.numpy.array(start), ours, diff_method="adjoint")
        calls.clear()
        got = jax.jacobian(lambda x: expectations(x, ours, diff_method="adjoint"))(
            jax.numpy.array(start))
    else:
        options = {"diff_method": "adjoint", "device_vjp": mode != "jacobian"}
        got_values = expectations(pnp.array(start, requires_grad=False), ours, **options)
        calls.clear()
        got = qml.jacobian(lambda x: expectations(x, ours, **options))(
            pnp.array(start, requires_grad=True))
    assert np.max(np.abs(np.asarray(got_values) - want_values)) < 1e-10
    assert np.asarray(got).shape == want.shape
    assert np.max(np.abs(np.asarray(got) - want)) < 1e-10
    # The three tapes' derivatives came from one engine call, one row each.
    assert calls and all(job.rows.shape[0] == 3 for job in calls)
    if mode != "vector-jacobian products":
        assert len(calls) == 1
