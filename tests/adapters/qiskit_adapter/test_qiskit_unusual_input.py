"""Unusual and bad input through every Qiskit front door, drawn by hypothesis.

Each drawn call runs on velquin and on Qiskit's reference (StatevectorSampler,
StatevectorEstimator, BasicSimulator, Statevector): both give the same result, or both raise
an error of the same kind, velquin's with the reference's text or one naming what the user
gave. Where velquin refuses what the reference answers, the case says so (``refuses``) and
why. Circuits prepare basis states (x gates, rx of 0 or pi), so every generator gives the same
shots.
"""

import math
import signal
import threading
from dataclasses import dataclass

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from qiskit import ClassicalRegister, QuantumCircuit
from qiskit.circuit import Parameter
from qiskit.primitives import StatevectorEstimator, StatevectorSampler
from qiskit.providers import JobStatus
from qiskit.providers.basic_provider import BasicSimulator
from qiskit.quantum_info import SparsePauliOp, Statevector
from random_circuits import random_circuit

import velquin_qiskit as vq

THETA = Parameter("theta")
BAD_SEEDS = [-1, 1.5, "x"]
SEEDS = [None, 5, [1, 2], "generator", "sequence", "random_state", *BAD_SEEDS]
SHOTS = [None, 1, 7, 0, -3, 2.0, True, 2**40]  # 2**40 shots cannot fit in memory


def seed_of(form):
    """A fresh seed object per side, so both start from the same generator state."""
    fresh = {"generator": lambda: np.random.default_rng(3),
             "sequence": lambda: np.random.SeedSequence(3),
             "random_state": lambda: np.random.RandomState(3)}
    return fresh[form]() if isinstance(form, str) and form in fresh else form


@dataclass
class Case:
    ours: object                  # () -> velquin's result
    reference: object             # () -> the reference's result, or None where there is none
    compare: object               # (ours, reference) -> None, asserting that they agree
    named: tuple                  # velquin's own error names one of these
    refuses: type | None = None   # velquin refuses (this kind) whatever the reference does


@st.composite
def circuits(draw, measured=True, parameter=True):
    n = draw(st.integers(1, 3))
    circuit = QuantumCircuit(n)
    for q in range(n):
        if draw(st.booleans()):
            circuit.x(q)
    if parameter and draw(st.booleans()):
        circuit.rx(THETA, draw(st.integers(0, n - 1)))
    for k in range(draw(st.integers(0, 2)) if measured else 0):
        register = ClassicalRegister(draw(st.integers(0, 3)), f"c{k}")
        circuit.add_register(register)
        for bit in register:
            circuit.measure(draw(st.integers(0, n - 1)), bit)
    return circuit


@st.composite
def parameter_values(draw, circuit):
    """Values of theta in several shapes (0 or pi), now and then one NaN or infinity."""
    if circuit.num_parameters == 0:
        return None
    shape = draw(st.sampled_from([(), (2,), (2, 1), (0,)]))
    values = np.array(draw(st.lists(st.sampled_from([0.0, np.pi]), min_size=int(np.prod(shape)),
                                    max_size=int(np.prod(shape))))).reshape(*shape, 1)
    if values.size and draw(st.integers(0, 3)) == 0:
        values.flat[draw(st.integers(0, values.size - 1))] = draw(st.sampled_from([np.nan, np.inf]))
    return values


def same_bits(ours, reference):
    assert len(ours) == len(reference) and ours.metadata == reference.metadata
    for got, want in zip(ours, reference):
        assert got.metadata == want.metadata and set(got.data) == set(want.data)
        for name in want.data:
            a, b = got.data[name], want.data[name]
            assert (a.shape, a.num_bits, a.num_shots) == (b.shape, b.num_bits, b.num_shots)
            assert np.array_equal(a.array, b.array)


@st.composite
def sampler_case(draw):
    pubs, counts = [], []
    shots, default = draw(st.sampled_from(SHOTS)), draw(st.sampled_from([1024, 3, None]))
    for _ in range(draw(st.integers(1, 2))):
        circuit = draw(circuits())
        values = draw(parameter_values(circuit))
        own = draw(st.sampled_from(SHOTS))
        form = draw(st.integers(0, 1) if values is None else st.integers(2, 3))
        pubs.append([circuit, (circuit,), (circuit, values), (circuit, values, own)][form])
        counts.append(own if form == 3 and own is not None else shots if shots is not None else
                      default)
    seed = draw(st.sampled_from(SEEDS))
    # velquin refuses a bad seed when the sampler is made, and a PUB without a shot count
    # even where Qiskit's reference, having nothing to sample, lets it through (or meets
    # another PUB's fault first).
    refuses = ((ValueError, TypeError) if seed in BAD_SEEDS else
               (TypeError, ValueError, MemoryError) if None in counts else None)
    return Case(
        lambda: vq.SamplerV2(seed=seed_of(seed), default_shots=default).run(
            pubs, shots=shots).result(),
        lambda: StatevectorSampler(seed=seed_of(seed), default_shots=default).run(
            pubs, shots=shots).result(),
        same_bits, ("seed", "shots", "theta"), refuses)


PAULIS = st.sampled_from([["ZZ", "-XX", "+ZI"], ["iYY"], ["-iXY", "iYX"], ["Z"], ["-Z", "X"],
                          ["IXZ", "-YYI"]]).map(SparsePauliOp)  # signs and phases
OBSERVABLE = st.one_of(st.text(alphabet="IXYZ+-", min_size=1, max_size=3), PAULIS)


@st.composite
def estimator_case(draw):
    circuit = draw(circuits(measured=draw(st.integers(0, 3)) == 0))
    observables = draw(st.one_of(OBSERVABLE, st.lists(OBSERVABLE, min_size=1, max_size=2)))
    values = draw(parameter_values(circuit))
    precision = draw(st.sampled_from([None, 0.0, 0.1, -1.0]))
    default, seed = draw(st.sampled_from([0.0, 0.05])), draw(st.sampled_from(SEEDS))
    effective = default if precision is None else precision
    # A measured circuit at a positive precision is a mean over ceil(1 / precision**2)
    # trajectories; the measurements, all final, of a basis state change nothing, so the
    # reference is the exact value without them (Qiskit's reference refuses measurements).
    sampled = circuit.num_clbits > 0 and effective > 0
    unmeasured = circuit.remove_final_measurements(inplace=False) if sampled else circuit

    def pub(of):
        return (of, observables) if values is None else (of, observables, values)

    def compare(got, want):
        a, b = got[0].data, want[0].data
        assert isinstance(a.evs, np.ndarray) and a.evs.shape == b.evs.shape == a.stds.shape
        if sampled:
            assert got[0].metadata["shots"] == math.ceil(1 / effective**2)
            np.testing.assert_allclose(a.evs, b.evs, rtol=0, atol=1e-12)
            return
        assert got[0].metadata == want[0].metadata
        if got[0].metadata["target_precision"] == 0:
            np.testing.assert_allclose(a.evs, b.evs, rtol=0, atol=1e-12)

    labels = observables if isinstance(observables, list) else [observables]
    projector = any(isinstance(o, str) and set(o) & set("+-") for o in labels)
    # A bad seed is refused when the estimator is made. A measured circuit at precision 0 is
    # refused (exact values after a measurement need a density matrix). velquin takes Pauli
    # observables only: Qiskit's reference reads a leading projector as a sign and refuses one
    # elsewhere, so velquin refuses every projector, naming it.
    refuses = ((ValueError, TypeError) if seed in BAD_SEEDS else
               vq.UnsupportedInstructionError if circuit.num_clbits and effective == 0 else
               ValueError if projector else None)
    return Case(
        lambda: vq.EstimatorV2(seed=seed_of(seed), default_precision=default).run(
            [pub(circuit)], precision=precision).result(),
        lambda: StatevectorEstimator(seed=seed_of(seed), default_precision=default).run(
            [pub(unmeasured)], precision=0.0 if sampled else precision).result(),
        compare, ("seed", "measure", "projector", "theta"), refuses)


@st.composite
def backend_case(draw):
    circuit = draw(circuits(parameter=False))
    shots = draw(st.sampled_from([None, 1, 5, 0, -3, 2.0]))
    memory, seed = draw(st.booleans()), draw(st.sampled_from([None, 4, -1, 1.5, [1, 2],
                                                              "generator", "sequence"]))
    options = {"memory": memory, "seed_simulator": seed_of(seed), "shots": shots}

    def compare(got, want):
        assert got.get_counts() == want.get_counts()
        if memory:
            assert got.get_memory() == want.get_memory()

    def run(backend):
        return backend.run(circuit, **options).result()

    # BasicSimulator answers a negative shot count with empty counts; velquin refuses it
    # (after the seed, which both check first).
    negative = isinstance(shots, int) and shots < 0 and seed not in (-1, 1.5)
    return Case(lambda: run(vq.VelquinBackend()), lambda: run(BasicSimulator()), compare,
                ("shots", "seed_simulator"), ValueError if negative else None)


@st.composite
def state_case(draw):
    kind = draw(st.sampled_from(["circuit", "empty", "not a circuit"]))
    circuit = {"circuit": lambda: draw(circuits(measured=False, parameter=False)),
               "empty": lambda: QuantumCircuit(0, global_phase=draw(st.sampled_from([0.0, 0.5]))),
               "not a circuit": lambda: draw(st.sampled_from(["x", 3, None]))}[kind]()
    reference = (lambda: Statevector(circuit)) if kind != "not a circuit" else None
    named = (type(circuit).__name__, "no qubits")
    if draw(st.booleans()):  # from_qiskit: a velquin circuit, which holds no global phase
        def overlap(got, want):
            assert abs(abs(np.vdot(got, want.data)) - 1) < 1e-12

        refuses = {"circuit": None, "empty": ValueError, "not a circuit": TypeError}[kind]
        return Case(lambda: vq.from_qiskit(circuit).statevector(), reference, overlap, named,
                    refuses)

    def same_state(got, want):
        np.testing.assert_allclose(got.data, want.data, rtol=0, atol=1e-12)

    return Case(lambda: vq.statevector(circuit), reference, same_state, named,
                TypeError if kind == "not a circuit" else None)


def kind_of(error):
    """The kind of a reference's error: its first built-in or Qiskit class (NumPy raises a
    MemoryError of its own); Qiskit refuses a non-finite binding with RuntimeError or
    ZeroDivisionError, velquin with ValueError, naming the parameter."""
    if isinstance(error, (RuntimeError, ArithmeticError)):
        return ValueError
    return next(c for c in type(error).__mro__
                if c.__module__ == "builtins" or c.__module__.startswith("qiskit"))


def outcome(call):
    try:
        return call(), None
    except Exception as error:  # noqa: BLE001 - the kind is what is compared
        return None, error


@pytest.mark.filterwarnings("ignore::UserWarning")  # circuits without classical registers
@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(case=st.one_of(sampler_case(), estimator_case(), backend_case(), state_case()))
def test_unusual_input_gives_the_references_answer_or_names_the_input(case):
    got, ours = outcome(case.ours)
    want, reference = outcome(case.reference) if case.reference else (None, None)
    if type(ours) is type(reference) and reference is not None and str(ours) == str(reference):
        return  # Qiskit's own validation (of PUBs, shots, precision) refused it on both sides
    if case.refuses is not None:
        assert isinstance(ours, case.refuses), (ours, reference)
    elif reference is None:
        assert ours is None, ours
        case.compare(got, want)
        return
    else:
        assert isinstance(ours, kind_of(reference)), (ours, reference)
    assert any(word in str(ours) for word in case.named), (ours, reference)


@pytest.mark.parametrize("primitive", ["sampler", "estimator"])
def test_ctrl_c_while_waiting_stops_the_running_job(primitive):
    circuit = random_circuit(20, 60, 3, general=False, parameters=2)
    values = np.random.default_rng(0).uniform(-3, 3, (400, circuit.num_parameters))
    if primitive == "sampler":
        circuit.measure_all()
        job = vq.SamplerV2(seed=1).run([(circuit, values)], shots=10)
    else:
        job = vq.EstimatorV2().run([(circuit, SparsePauliOp("Z" * 20), values)])
    main = threading.main_thread().ident                   # Ctrl-C, as the main thread gets it
    # Python's own handler: an earlier test's library (a Dask cluster, say) may have left
    # SIGINT ignored, and then no Ctrl-C would reach the job.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        threading.Timer(0.5, signal.pthread_kill, (main, signal.SIGINT)).start()
        with pytest.raises(KeyboardInterrupt):
            job.result()
    finally:
        signal.signal(signal.SIGINT, previous)
    job._future.exception()                                 # waits for the worker to stop
    assert job.status() == JobStatus.CANCELLED              # it stopped: it did not finish
