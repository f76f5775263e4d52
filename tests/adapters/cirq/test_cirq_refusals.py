"""What velquin cannot simulate exactly is refused, naming it and where it is, before any play."""

import cirq
import numpy as np
import pytest
import sympy
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


REFUSED = [
    (cirq.Circuit(cirq.H(Q[0]), cirq.reset(Q[1])),
     r"reset\(q\(1\)\) in moment 0: a reset is not unitary"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.depolarize(0.1)(Q[0])),
     r"depolarize\(p=0.1\)\(q\(0\)\) in moment 1: noise channels are not simulated"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.amplitude_damp(0.3)(Q[1])),
     r"in moment 0: noise channels are not simulated"),
    (cirq.Circuit(cirq.H(Q[0]), M, cirq.X(Q[1]).with_classical_controls("m")),
     r"X\(q\(1\)\).with_classical_controls\(m\) in moment 2: classically controlled"),
    (cirq.Circuit(cirq.H(Q[0]), M, cirq.CNOT(Q[1], Q[0])),
     r"CNOT\(q\(1\), q\(0\)\) in moment 2: it acts on q\(0\) after its measurement in moment 1"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.measure(Q[0], key="c", confusion_map={
        (0,): np.array([[0.9, 0.1], [0.1, 0.9]])})),
     r"in moment 1: a measurement with a confusion map is noisy"),
    (cirq.Circuit(cirq.PauliMeasurementGate([cirq.X], key="p").on(Q[0])),
     r"in moment 0: only computational-basis measurements \(cirq.measure\) are simulated"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.MatrixGate(np.eye(3), qid_shape=(3,)).on(cirq.LineQid(5, 3))),
     r"in moment 0: q\(5\) \(d=3\) has dimension 3, and velquin simulates qubits only"),
    (cirq.Circuit(cirq.H(Q[0]), cirq.CircuitOperation(cirq.FrozenCircuit(M, cirq.X(Q[0])))),
     r"X\(q\(0\)\) in moment 2: it acts on q\(0\) after its measurement in moment 1"),
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
])
def test_requests_outside_what_is_exact_are_refused(call, error, message):
    with pytest.raises(error, match=message):
        call(velquin_cirq.Simulator())


def test_measurement_after_measurement_and_expectations_before_terminal_ones_are_allowed():
    circuit = cirq.Circuit(cirq.H(Q[0]), cirq.CNOT(Q[0], Q[1]), M, cirq.measure(Q[0], Q[1], key="b"))
    records = velquin_cirq.Simulator(seed=2).run(circuit, repetitions=40).records
    assert np.array_equal(records["m"][:, 0, 0], records["b"][:, 0, 0])
    assert np.array_equal(records["b"][:, 0, 0], records["b"][:, 0, 1])
    (value,) = velquin_cirq.Simulator().simulate_expectation_values(
        circuit, cirq.Z(Q[0]) * cirq.Z(Q[1]), permit_terminal_measurements=True)
    assert value == pytest.approx(1.0, abs=1e-15)  # the state before measurement: exact
