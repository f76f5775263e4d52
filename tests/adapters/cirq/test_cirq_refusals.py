"""What velquin cannot simulate exactly is refused, naming it and where it is, before any play:
operations, and expectation values of noisy or dynamic circuits."""

import cirq
import numpy as np
import pytest
import sympy
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
import velquin_adapters
import velquin_cirq

Q = cirq.LineQubit.range(4)
M = cirq.measure(Q[0], key="m")


class Wide(cirq.Gate):
    """A unitary on eleven qubits known only by its matrix: too wide to take apart."""

    def _num_qubits_(self):
        return 11

    def _unitary_(self):
        return np.eye(2 ** 11)

    def __str__(self):
        return "Wide"


KRAUS = [np.diag([1.0, 0.6]), np.array([[0, 0.8], [0, 0]])]
LOOP = cirq.CircuitOperation(cirq.FrozenCircuit(cirq.X(Q[0]), cirq.measure(Q[0], key="r")),
                             repeat_until=cirq.KeyCondition(cirq.MeasurementKey("r")),
                             use_repetition_ids=False)

REFUSED = [
    (cirq.Circuit(cirq.H(Q[0]), cirq.measure(Q[0], Q[1], key="c", confusion_map={(0, 1): np.eye(4)})),
     r"in moment 1: its confusion matrix over qubits \(0, 1\) correlates their readout errors"),
    (cirq.Circuit(cirq.H(Q[0]), LOOP),
     r"in moment 1: a loop repeated until a measurement's outcome has as many records"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.KrausChannel(KRAUS, key="k").on(Q[1])),
     r"in moment 0: it records which of its operators was applied under a measurement key"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.RandomGateChannel(sub_gate=cirq.X, probability=sympy.Symbol("p"))
                  .on(Q[1])),
     r"in moment 0: its probabilities are symbols"),
    (cirq.Circuit(cirq.H(Q[0]), M, cirq.X(Q[1]).with_classical_controls(
        cirq.SympyCondition(sympy.Symbol("m") * sympy.Symbol("m") > 0))),
     r"X\(q\(1\)\).with_classical_controls\(m\*\*2 > 0\) in moment 2: m\*\*2 is not a sum of keys"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.MatrixGate(np.eye(3), qid_shape=(3,)).on(cirq.LineQid(5, 3))),
     r"in moment 0: q\(5\) \(d=3\) has dimension 3, and velquin simulates qubits only"),
    (cirq.Circuit(Wide().on(*cirq.LineQubit.range(11))),
     r"Wide.* in moment 0: Cirq cannot decompose Wide.* into velquin's operations \(a matrix of "
     r"at most 10 qubits"),
]


@pytest.mark.parametrize("circuit, message", REFUSED)
def test_unsupported_operations_are_refused_before_anything_is_simulated(
        circuit, message, monkeypatch):
    def no_play(*args):
        raise AssertionError("a refused circuit was simulated")
    monkeypatch.setattr(velquin_adapters.Program, "compiled", no_play)
    simulator = velquin_cirq.Simulator()
    measured = circuit if circuit.has_measurements() else circuit + cirq.measure(Q[3], key="z")
    with pytest.raises(velquin_cirq.UnsupportedOperationError, match=message):
        simulator.run(measured)
    with pytest.raises(velquin_cirq.UnsupportedOperationError, match=message):
        simulator.simulate(circuit)


@pytest.mark.parametrize("call, error, message", [
    (lambda s: s.simulate(cirq.Circuit(cirq.H.on_each(*cirq.LineQubit.range(31)))),
     velquin_cirq.TooManyQubitsError, "acts on 31 qubits; velquin simulates at most 30"),
    (lambda s: s.run(cirq.Circuit(cirq.H.on_each(*cirq.LineQubit.range(31)),
                                  cirq.measure(*cirq.LineQubit.range(31)))),
     velquin_cirq.TooManyQubitsError, "acts on 31 qubits; velquin simulates at most 30"),
    (lambda s: s.simulate(cirq.Circuit(cirq.H(Q[0]), cirq.H(Q[1])),
                          initial_state=np.array([0.5, 0.5, 0.5, 0.5])),
     ValueError, "initial_state must be a computational basis state"),
    (lambda s: s.simulate(cirq.Circuit(cirq.H(Q[0])), initial_state=2),
     ValueError, "initial_state 2 is not a basis state of 1 qubits"),
    (lambda s: s.simulate(cirq.Circuit(cirq.rx(sympy.Symbol("t"))(Q[0]))),
     ValueError, "the circuit's parameter t has no value"),
    (lambda s: s.simulate_expectation_values(cirq.Circuit(cirq.H(Q[0])), 1j * cirq.X(Q[0])),
     NotImplementedError, "non-Hermitian PauliString"),
    (lambda s: s.simulate_expectation_values(cirq.Circuit(cirq.H(Q[0]), M), cirq.X(Q[0])),
     ValueError, "Provided circuit has terminal measurements"),
    (lambda s: s.run(cirq.Circuit(cirq.H(Q[0]), cirq.X(Q[1]).with_classical_controls("m"), M)),
     ValueError, "Measurement key m missing when testing classical control"),  # Cirq's words
    (lambda s: s.run(cirq.Circuit(M, cirq.measure(Q[0], Q[1], key="m"))),
     ValueError, "the measurement key 'm' is measured on 1 qubits and then on 2"),
])
def test_requests_outside_what_is_exact_are_refused(call, error, message):
    with pytest.raises(error, match=message):
        call(velquin_cirq.Simulator())


NOT_EXACT = ("velquin cannot compute expectation values exactly: {}, so each run is one "
             "trajectory of many, and averaging trajectories would only estimate the values; "
             "exact values of a noisy or dynamic circuit need its density matrix "
             "(cirq.DensityMatrixSimulator)")


@pytest.mark.parametrize("circuit, noise, first", [
    (cirq.Circuit(cirq.H(Q[0]), cirq.CNOT(Q[0], Q[1])), cirq.depolarize(0.01),
     "depolarize(p=0.01)(q(0)) in moment 0 is a noise channel"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.amplitude_damp(0.1)(Q[1])), None,
     "amplitude_damp(gamma=0.1)(q(1)) in moment 0 is a noise channel"),
    (cirq.Circuit(cirq.H(Q[0]), M, cirq.CNOT(Q[0], Q[1])), None,
     "CNOT(q(0), q(1)) in moment 2 acts on q(0) after its measurement in moment 1"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.reset(Q[0])), None, "reset(q(0)) in moment 1 is a reset"),
])
def test_expectation_values_of_noisy_or_dynamic_circuits_are_refused(circuit, noise, first, monkeypatch):
    monkeypatch.setattr(velquin_adapters.Program, "compiled", lambda *args: 1 / 0)
    with pytest.raises(velquin_cirq.UnsupportedOperationError) as refused:
        velquin_cirq.Simulator(noise=noise).simulate_expectation_values(
            circuit, cirq.Z(Q[1]), permit_terminal_measurements=True)
    assert str(refused.value) == NOT_EXACT.format(first)


def test_measurement_after_measurement_and_expectations_before_terminal_ones_are_allowed():
    circuit = cirq.Circuit(cirq.H(Q[0]), cirq.CNOT(Q[0], Q[1]), M, cirq.measure(Q[0], Q[1], key="b"))
    records = velquin_cirq.Simulator(seed=2).run(circuit, repetitions=40).records
    assert np.array_equal(records["m"][:, 0, 0], records["b"][:, 0, 0])
    assert np.array_equal(records["b"][:, 0, 0], records["b"][:, 0, 1])
    (value,) = velquin_cirq.Simulator().simulate_expectation_values(
        circuit, cirq.Z(Q[0]) * cirq.Z(Q[1]), permit_terminal_measurements=True)
    assert value == pytest.approx(1.0, abs=1e-15)  # the state before measurement: exact


# Unusual and bad input, drawn by hypothesis: velquin gives cirq.Simulator's answer, or an error
# of the same kind, naming what the user gave where its text is not Cirq's own.
A, B = sympy.Symbol("a"), sympy.Symbol("b")
VALUES = [0.0, 1.0, -2.5, 3, np.float64(0.25), -0.0, np.nan, np.inf, -np.inf]
REPETITIONS = [1, 3, 0, np.int64(2), -1, 2.0, np.float64(2.0), True, "3", None]
GATES = {1: [cirq.H, cirq.rx(A), cirq.X ** A, cirq.PhasedXPowGate(phase_exponent=B, exponent=0.5),
             cirq.Z ** (2 * B), cirq.ry(A * B)],
         2: [cirq.CNOT, cirq.CZ ** B, cirq.FSimGate(A, 0.3), cirq.ZZ ** A]}


@st.composite
def unusual_circuits(draw, measured):
    q = cirq.LineQubit.range(draw(st.integers(1, 3)))
    circuit = cirq.Circuit()
    for _ in range(draw(st.integers(0, 4))):
        arity = draw(st.integers(1, min(2, len(q))))
        circuit.append(draw(st.sampled_from(GATES[arity])).on(*draw(st.permutations(q))[:arity]))
    if draw(st.booleans()):
        circuit.append(cirq.global_phase_operation(sympy.exp(sympy.I * A)))
    if measured:
        circuit.append(cirq.measure(*draw(st.permutations(q)), key="m"))
    return circuit, q


def unusual_sweeps(finite=False):
    value = st.sampled_from([v for v in VALUES if np.isfinite(v)] if finite else VALUES)
    return st.one_of(
        st.just(None), st.just(cirq.Points("a", [])),
        st.builds(lambda a, b: {"a": a, "b": b}, value, value),
        st.builds(lambda a: cirq.ParamResolver({"a": a}), value),
        st.builds(lambda a, b, c: [{"a": a, "b": b}, {"a": 1, "b": c}], value, value, value),
        st.builds(lambda a, b: cirq.Zip(cirq.Points("a", [a, 0.5]), cirq.Points("b", [0.25, b])),
                  value, value),
        st.builds(lambda a, b: cirq.Points("b", [b]) * cirq.Points("a", [a, -1.5]), value, value))


def without_infinities(sweep):
    """The sweep with every infinite value NaN (what qsim, and velquin, make of both)."""
    return [cirq.ParamResolver({k: np.nan if np.isinf(complex(v)) else v
                                for k, v in r.param_dict.items()}) for r in cirq.to_resolvers(sweep)]


def same_states(got, want):
    assert len(got) == len(want)
    for a, b in zip(got, want):
        a, b = a.final_state_vector, b.final_state_vector
        # A NaN parameter gives a state with NaN in it on both sides; which amplitudes a NaN
        # reaches depends on how each applies its gates (velquin's global phase multiplies
        # only the starting amplitude), so the amplitudes compared are those both hold.
        assert np.isnan(a).any() == np.isnan(b).any()
        both = ~np.isnan(a) & ~np.isnan(b)
        np.testing.assert_allclose(a[both], b[both], rtol=0, atol=1e-12)


def same_records(got, want):
    assert len(got) == len(want)
    for a, b in zip(got, want):
        assert set(a.records) == set(b.records)
        for key, record in b.records.items():
            assert (a.records[key].shape, a.records[key].dtype) == (record.shape, record.dtype)


def same_values(got, want):
    assert len(got) == len(want)
    for a, b in zip(got, want):
        assert all(isinstance(v, complex) for v in a)  # the interface's type, as Cirq's
        np.testing.assert_allclose(a, b, rtol=0, atol=1e-12)


@st.composite
def unusual_calls(draw):
    """(the call on a simulator for a sweep, the sweep, how results compare, the words naming
    what the user gave, the error velquin raises whatever Cirq does)."""
    method = draw(st.sampled_from(["simulate", "run", "expectation"]))
    circuit, q = draw(unusual_circuits(measured=method != "simulate" and draw(st.booleans())))
    if method == "run":
        # (A bad count with a NaN value: which one Cirq meets first depends on how it splits
        # the register, so a bad count comes with finite values.)
        repetitions = draw(st.sampled_from(REPETITIONS))
        valid = isinstance(repetitions, (int, np.integer)) and not isinstance(repetitions, bool) \
            and repetitions >= 0
        sweep = draw(unusual_sweeps(finite=not valid))
        return (lambda s, w: s.run_sweep(circuit, w, repetitions)), sweep, same_records, \
            ["sweep point", "repetitions"], None
    sweep = draw(unusual_sweeps())
    order = draw(st.sampled_from([cirq.QubitOrder.DEFAULT, q[::-1], [cirq.LineQubit(7), *q], q[1:]]))
    initial = draw(st.sampled_from([None, 0, 1, -1, 2 ** len(q)]))
    # Cirq plays an initial_state outside the register as some other basis state; velquin
    # refuses it, naming it.
    n = len(cirq.QubitOrder.as_qubit_order(order).order_for(circuit.all_qubits())) \
        if set(circuit.all_qubits()) <= set(order if isinstance(order, list) else q) else 0
    refuses = ValueError if initial is not None and not 0 <= initial < 2 ** n else None
    named = ["sweep point", "initial_state", "observable"]
    if method == "simulate":
        return (lambda s, w: s.simulate_sweep(circuit, w, order, initial)), sweep, same_states, \
            named, refuses
    observables = draw(st.sampled_from([cirq.Z(q[0]), [cirq.X(q[0]) * cirq.Z(q[-1])],
                                        [cirq.Z(q[-1]), 0.5 * cirq.Y(q[0]) - cirq.X(q[-1])]]))
    return (lambda s, w: s.simulate_expectation_values_sweep(circuit, observables, w, order, initial)
            ), sweep, same_values, named, refuses


def outcome(call):
    try:
        return call(), None
    except Exception as error:  # noqa: BLE001 - the kind is what is compared
        return None, error


@pytest.mark.filterwarnings("ignore::RuntimeWarning")  # Cirq normalising a NaN state
@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(case=unusual_calls())
def test_unusual_input_gives_cirqs_answer_or_an_error_of_its_kind_naming_the_input(case):
    call, sweep, compare, named, refuses = case
    got, ours = outcome(lambda: call(velquin_cirq.Simulator(seed=1), sweep))
    reference = cirq.Simulator(seed=1, dtype=np.complex128)
    want, error = outcome(lambda: call(reference, sweep))
    if isinstance(error, ZeroDivisionError):
        # Cirq 1.7 divides by zero on an infinite exponent; qsim gives what a NaN gives.
        want, error = outcome(lambda: call(reference, without_infinities(sweep)))
    if refuses is not None and list(cirq.to_resolvers(sweep)):  # (nothing runs for no point)
        assert isinstance(ours, refuses), (ours, error)
    elif error is None:
        assert ours is None, ours
        compare(got, want)
        return
    else:
        kind = next(c for c in type(error).__mro__ if c.__module__ == "builtins")
        assert isinstance(ours, kind), (ours, error)
    if str(ours) != str(error):
        assert any(word in str(ours) for word in named), (ours, error)
