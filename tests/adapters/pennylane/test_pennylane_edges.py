"""velquin.qubit at its edges: seeds, threads and executors, refusals, idle and deferred wires,
unusual and bad input."""

import concurrent.futures
import multiprocessing
import os
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import pennylane as qml
import pytest
from pennylane import numpy as pnp
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from pennylane.exceptions import DeviceError, WireError
from pennylane_seeded_runs import fingerprint
from velquin_adapters import TooManyQubitsError

HERE = Path(__file__).resolve().parent


def fingerprint_in_child(seed, threads):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads))
    result = subprocess.run([sys.executable, str(HERE / "pennylane_seeded_runs.py"), str(seed)],
                            capture_output=True, text=True, env=env, cwd=HERE, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def test_seeds_fix_every_sample_at_any_thread_count_and_on_any_executor():
    serial = fingerprint_in_child(5, threads=1)
    assert fingerprint_in_child(5, threads=2) == serial
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=context) as pool:
        assert fingerprint(5, executor=pool) == serial
    assert fingerprint(6) != serial


def test_consecutive_batches_draw_fresh_samples_and_exact_ones_draw_nothing():
    def sample():
        qml.Hadamard(0)
        return qml.sample(wires=0)

    def exact():
        qml.Hadamard(0)
        return qml.probs(wires=0)

    def first_two(interleave):
        dev = qml.device("velquin.qubit", wires=1, seed=np.random.default_rng(3))
        node = qml.QNode(sample, dev, shots=64)
        first = node()
        if interleave:
            qml.QNode(exact, dev)()
        return first, node()

    first, second = first_two(interleave=False)
    assert not np.array_equal(first, second)
    for ours, again in zip((first, second), first_two(interleave=True)):
        assert np.array_equal(ours, again)


@pytest.mark.parametrize("operation, named", [
    (lambda: qml.DepolarizingChannel(0.1, wires=0), "DepolarizingChannel"),
    (lambda: qml.Projector([1], wires=0), "Projector"),
    (lambda: qml.StatePrep(np.array([0.6, 0.8]), wires=0), "StatePrep"),
    (lambda: qml.measure(0, postselect=1), "Postselection"),
])
def test_what_is_not_exactly_unitary_is_refused_naming_it(operation, named):
    def circuit():
        qml.Hadamard(0)
        operation()
        return qml.expval(qml.Z(0))

    with pytest.raises((DeviceError, ValueError), match=named):
        qml.QNode(circuit, qml.device("velquin.qubit", wires=2))()


class Twist(qml.operation.Operation):
    """A gate with an angle, a matrix, and neither a generator nor a decomposition."""

    num_wires = 1
    num_params = 1

    @staticmethod
    def compute_matrix(theta):
        return qml.RX.compute_matrix(theta)


H = qml.Hamiltonian(pnp.array([0.5, -1.0], requires_grad=False), [qml.Z(0), qml.X(0) @ qml.Y(1)])


def _ansatz(x):
    qml.RX(x, wires=0)
    qml.CRot(x, 0.3, -x, wires=[0, 1])


# (diff_method, shots, circuit): "best" picks the adjoint method only where it applies (else
# parameter-shift), and what the adjoint method cannot do is refused naming it.
ADJOINT_CASES = {
    "expval": (lambda x: (_ansatz(x), qml.expval(H))[1], None, "adjoint"),
    "shots": (lambda x: (_ansatz(x), qml.expval(H))[1], 100, "parameter-shift"),
    "variance": (lambda x: (_ansatz(x), qml.var(qml.Z(1)))[1], None, "parameter-shift"),
    "trainable coefficient": (lambda x: (_ansatz(x), qml.expval(
        qml.Hamiltonian(pnp.array([x, 1.0]), [qml.Z(0), qml.Z(1)])))[1], None, "parameter-shift"),
    "mid-circuit measurement": (lambda x: (_ansatz(x), qml.cond(qml.measure(0), qml.RY)(
        x, wires=1), qml.expval(qml.Z(1)))[2], None, "adjoint"),  # deferred: exact
    "no derivative": (lambda x: (Twist(x, wires=0), qml.expval(qml.Z(0)))[1], None, "Twist"),
}
ADJOINT_REFUSALS = {"shots": "Finite shots", "variance": "var", "no derivative": "Twist"}


@pytest.mark.parametrize("case", ADJOINT_CASES)
def test_best_takes_the_adjoint_method_where_it_applies_and_adjoint_refuses_the_rest(case):
    circuit, shots, best = ADJOINT_CASES[case]
    x = pnp.array(0.4, requires_grad=True)
    dev = qml.device("velquin.qubit", wires=3)  # a spare wire to defer a measurement onto
    qnode = qml.QNode(circuit, dev, shots=shots)
    reference = qml.QNode(circuit, qml.device("default.qubit", wires=3), diff_method="backprop")
    if best == "Twist":  # no method can differentiate it on the device: refused by all
        with pytest.raises(DeviceError, match="Twist"):
            qml.grad(qnode)(x)
    else:
        assert qml.workflow.get_best_diff_method(qnode)(x) == best
        if shots is None:
            assert abs(qml.grad(qnode)(x) - qml.grad(reference)(x)) < 1e-12
    adjoint = qml.QNode(circuit, dev, shots=shots, diff_method="adjoint")
    if case in ADJOINT_REFUSALS:
        with pytest.raises(DeviceError, match=ADJOINT_REFUSALS[case]):
            qml.grad(adjoint)(x)
    elif case == "trainable coefficient":  # PennyLane's own rule: zero, with its warning
        with pytest.warns(UserWarning, match="adjoint differentiation method"):
            qml.grad(adjoint)(x)
    else:  # mid-circuit measurements are deferred (exact) without shots
        assert abs(qml.grad(adjoint)(x) - qml.grad(reference)(x)) < 1e-12


def test_only_acting_wires_are_simulated_and_more_than_thirty_are_refused():
    def tape(acting):
        ops = [qml.Hadamard(w) for w in range(acting)] + [qml.Identity(40),
                                                          qml.GlobalPhase(0.5, wires=41)]
        return qml.tape.QuantumScript(ops, [qml.expval(qml.Z(0)), qml.probs(wires=[2, 45])])

    dev = qml.device("velquin.qubit")
    assert dev.simulated_wires(tape(3)) == (0, 1, 2, 45)  # and the measured, idle 45
    ours = qml.execute([tape(3)], dev)[0]
    assert abs(ours[0]) < 1e-12 and np.allclose(ours[1], [0.5, 0, 0.5, 0], rtol=0, atol=1e-15)
    with pytest.raises(TooManyQubitsError, match="31 qubits"):
        dev.simulated_wires(tape(30))  # 30 acting and one measured


def test_mid_circuit_measurements_are_deferred_onto_extra_wires():
    def circuit():
        qml.Hadamard("a")
        qml.RX(0.7, wires="b")
        m = qml.measure("a", reset=True)
        qml.cond(m, qml.CRY)(1.1, wires=["b", "a"])
        return qml.probs(wires=["a", "b"]), qml.expval(m)

    ours = qml.QNode(circuit, qml.device("velquin.qubit"))()
    reference = qml.QNode(circuit, qml.device("default.qubit"), mcm_method="deferred")()
    for a, b in zip(ours, reference):
        assert np.max(np.abs(a - b)) < 1e-12


# Unusual and bad input, drawn by hypothesis. Each drawn QNode runs on velquin.qubit and on
# default.qubit: both give the same result (with shots: the same containers, shapes and keys,
# and the same values, as the circuits prepare basis states), or both raise an error of the
# same kind, velquin's with default.qubit's text or one naming what the user gave. Where
# velquin refuses what default.qubit answers, the case says so (``refuses``) and why.

# 0 and pi give basis states (the same shots everywhere); the others are unusual on purpose.
ANGLES = [0.0, np.pi, np.pi + 0j, 0, np.nan, np.inf, 0.5j]
SHOTS = [None, 1, 5, [3, (2, 2)], 2**40]  # 2**40 shots of samples cannot fit in memory
BAD_SEEDS = [-1, 1.5, "x"]
SEEDS = [None, 7, "generator", "sequence", *BAD_SEEDS]


@dataclass
class Case:
    run: object                  # device name -> the QNode's result
    named: tuple                 # velquin's own error names one of these
    refuses: type | None = None  # velquin refuses (this kind) whatever default.qubit does
    random: bool = False         # the values are random (classical shadows): compare shapes
    drawn: str = ""              # what was drawn, for a failure's report
    compared: bool = True        # default.qubit takes the same arguments


def seed_of(form):
    """A fresh seed object per device, so both start from the same generator state."""
    fresh = {"generator": lambda: np.random.default_rng(3), "sequence": lambda: np.random.SeedSequence(3)}
    return fresh[form]() if isinstance(form, str) and form in fresh else form


@st.composite
def qnode_cases(draw):
    n = draw(st.integers(1, 3))
    spare = draw(st.booleans())  # a device without wires: deferred measurements fit
    shots = draw(st.sampled_from(SHOTS))
    seed = draw(st.sampled_from(SEEDS))
    flips = draw(st.lists(st.booleans(), min_size=n, max_size=n))
    rx = draw(st.one_of(st.none(), st.tuples(st.integers(0, n - 1), st.sampled_from(ANGLES))))
    broadcast = rx is not None and draw(st.booleans())
    mcm = draw(st.booleans())
    w = draw(st.integers(0, n - 1))
    pair = [0, 1] if n > 1 else [0]
    outcomes = draw(st.booleans())

    def herm():
        return qml.Hermitian(np.diag([1.0, 2.0]), wires=w)

    if shots is None:
        pool = [lambda: qml.expval(qml.Z(w)), lambda: qml.var(qml.X(w)),
                lambda: qml.probs(wires=pair), qml.state, lambda: qml.expval(herm()),
                lambda: qml.expval(qml.Z(w) + qml.Z(w)),
                lambda: qml.expval(qml.prod(*map(qml.Z, pair)))]
    else:
        pool = [lambda: qml.sample(wires=pair), lambda: qml.sample(qml.Z(w)),
                lambda: qml.sample(qml.Z(w) + qml.Z(w)),
                lambda: qml.counts(qml.Z(w), all_outcomes=outcomes),
                lambda: qml.counts(herm(), all_outcomes=outcomes),
                lambda: qml.counts(qml.prod(*map(qml.Z, pair)), all_outcomes=outcomes),
                lambda: qml.counts(wires=pair, all_outcomes=outcomes),
                lambda: qml.expval(qml.Z(w) + qml.Z(w)),
                lambda: qml.classical_shadow(wires=[w]), lambda: qml.shadow_expval(qml.Z(w))]
    if shots is not None and mcm:  # default.qubit's one-shot measurements take no shadows
        pool = pool[:8]
    picks = draw(st.lists(st.integers(0, len(pool) - 1), min_size=1, max_size=3, unique=True))
    angle = None if rx is None else np.array([rx[1], rx[1]]) if broadcast else rx[1]

    def circuit():
        for q, flip in enumerate(flips):  # every wire is used: deferring needs one more
            qml.X(q) if flip else qml.Identity(q)
        if angle is not None:
            qml.RX(angle, wires=rx[0])
        measured = qml.measure(0) if mcm else None
        measurements = [pool[i]() for i in picks]
        if mcm:
            measurements.append(qml.expval(measured))
        return measurements[0] if len(measurements) == 1 else tuple(measurements)

    def run(name):
        # velquin.qubit defers mid-circuit measurements without shots and measures them
        # shot by shot with shots; default.qubit's reference defers them, on a spare wire
        # even where velquin.qubit's wires have none with shots (its one-shot method fails
        # some measurements of samples: not velquin's to compare).
        method, wires = None, None if spare else n
        if mcm and name == "default.qubit" and (spare or shots is not None):
            method, wires = "deferred", None
        dev = qml.device(name, wires=wires, seed=seed_of(seed))
        return qml.QNode(circuit, dev, shots=shots, mcm_method=method)()

    value = None if rx is None else complex(rx[1])
    named, refuses = ("seed", "RX", "bytes", "measure"), None
    if seed in BAD_SEEDS:  # the device refuses it when it is made, before anything else
        named = ("seed",)
    elif mcm and not spare and shots is None:  # deferring needs a spare wire (checked first)
        refuses, named = WireError, ("measure",)
    elif shots is not None and value is not None and not np.isfinite(value):
        refuses, named = DeviceError, ("RX",)  # default.qubit samples zeros from NaN amplitudes
    elif value is not None and value.imag != 0:
        refuses, named = DeviceError, ("RX",)  # a complex angle: not unitary
    drawn = (f"wires={None if spare else n} shots={shots} seed={seed} flips={flips} rx={rx} "
             f"broadcast={broadcast} mcm={mcm} measurements={picks} all_outcomes={outcomes}")
    return Case(run, named, refuses, shots is not None and bool({8, 9} & set(picks)), drawn)


@st.composite
def executor_cases(draw):
    """An executor that is none (default.qubit has no such argument)."""
    executor = draw(st.sampled_from([5, "pool", object()]))

    def run(_):
        dev = qml.device("velquin.qubit", wires=1, executor=executor)
        return qml.QNode(lambda: qml.expval(qml.Z(0)), dev)()

    return Case(run, ("executor",), TypeError, drawn=f"executor={executor!r}", compared=False)


def same(ours, reference, values):
    """The same containers, shapes, keys and (``values``) numbers; where default.qubit's
    number is NaN, velquin's is too (velquin propagates NaN into every amplitude)."""
    if isinstance(reference, dict):
        assert type(ours) is dict and list(ours) == list(reference), (ours, reference)
        if values:
            assert list(ours.values()) == list(reference.values()), (ours, reference)
    elif isinstance(reference, (tuple, list)):
        assert type(ours) is type(reference) and len(ours) == len(reference), (ours, reference)
        for a, b in zip(ours, reference):
            same(a, b, values)
    else:
        a, b = np.asarray(ours), np.asarray(reference)
        assert a.shape == b.shape and a.dtype.kind == b.dtype.kind, (ours, reference)
        if values:
            lost = np.isnan(b)
            assert np.all(np.isnan(a)[lost]), (ours, reference)
            finite = ~lost & ~np.isnan(a)
            assert np.allclose(a[finite], b[finite], rtol=0, atol=1e-12), (ours, reference)


def outcome(call):
    try:
        return call(), None
    except Exception as error:  # noqa: BLE001 - the kind is what is compared
        return None, error


def kind_of(error):
    """The kind of default.qubit's error: its first built-in or PennyLane class."""
    return next(c for c in type(error).__mro__
                if c.__module__ == "builtins" or c.__module__.startswith("pennylane"))


@pytest.mark.filterwarnings("ignore")
@settings(max_examples=600, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(case=st.one_of(qnode_cases(), executor_cases()))
def test_unusual_input_gives_default_qubits_answer_or_names_the_input(case):
    got, ours = outcome(lambda: case.run("velquin.qubit"))
    want, reference = outcome(lambda: case.run("default.qubit")) if case.compared else (None, None)
    if reference is not None and type(ours) is type(reference) and str(ours) == str(reference):
        return  # PennyLane's own validation (shots, wires) refused it on both sides
    if case.refuses is not None:
        assert isinstance(ours, case.refuses), (ours, reference)
    elif reference is None:
        assert ours is None, ours
        same(got, want, values=not case.random)
        return
    else:
        assert isinstance(ours, kind_of(reference)), (ours, reference)
    assert any(word in str(ours) for word in case.named), (ours, reference)
