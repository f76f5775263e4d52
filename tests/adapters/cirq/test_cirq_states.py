"""Final states and expectation values against Cirq's own simulator, to 1e-12 per amplitude."""

import cirq
import numpy as np
import pytest
import velquin_cirq
from cirq_circuits import _one, _three, _two, cirq_reference, random_circuit
from velquin_cirq.translation import translate

SWEEP = cirq.Zip(cirq.Points("a", [0.37, -2.9]), cirq.Points("b", [1.3, 0.05]))
QUBITS = [cirq.LineQubit(3), cirq.GridQubit(0, 1), cirq.NamedQubit("z"), cirq.LineQubit(0),
          cirq.GridQubit(2, 2)]


@pytest.mark.parametrize("order_kind", ["default", "reversed", "with_idle_qubit"])
@pytest.mark.parametrize("seed", range(3))
def test_final_states_match_cirq_with_global_phase(seed, order_kind):
    rng = np.random.default_rng(seed)
    circuit = random_circuit(rng, QUBITS, 40)
    order = {"default": cirq.QubitOrder.DEFAULT,
             "reversed": sorted(circuit.all_qubits(), reverse=True),
             "with_idle_qubit": [cirq.LineQubit(9), *sorted(circuit.all_qubits())]}[order_kind]
    initial = int(rng.integers(2 ** len(QUBITS)))
    results = velquin_cirq.Simulator().simulate_sweep(circuit, SWEEP, qubit_order=order,
                                                      initial_state=initial)
    assert len(results) == 2
    for result, resolver in zip(results, SWEEP):
        expected = cirq_reference(circuit, resolver, order, initial)
        state = result.final_state_vector
        assert state.dtype == np.complex128 and state.shape == expected.shape
        np.testing.assert_allclose(state, expected, rtol=0, atol=1e-12)
        assert result.qubit_map == {q: i for i, q in enumerate(
            cirq.QubitOrder.as_qubit_order(order).order_for(circuit.all_qubits()))}
        assert result.params == resolver


@pytest.mark.parametrize("seed", range(3))
def test_expectation_values_match_cirq(seed):
    rng = np.random.default_rng(10 + seed)
    circuit = random_circuit(rng, QUBITS[:4], 30)
    outside = cirq.LineQubit(7)  # in the order, in no gate: it stays |0>
    observables = []
    for _ in range(4):
        terms = []
        for _ in range(5):
            chosen = rng.choice(len(QUBITS) - 1, int(rng.integers(0, 4)), replace=False)
            paulis = {([*QUBITS[:4], outside])[i]: "XYZ"[rng.integers(3)] for i in chosen}
            terms.append(float(rng.normal()) * cirq.PauliString(paulis))
        observables.append(sum(terms[1:], terms[0]))
    observables.append(cirq.Z(outside) * cirq.Z(QUBITS[0]))  # a PauliString, not a sum
    order = [*sorted(circuit.all_qubits()), outside]
    got = velquin_cirq.Simulator().simulate_expectation_values_sweep(circuit, observables, SWEEP,
                                                                     qubit_order=order)
    qubit_map = {q: i for i, q in enumerate(order)}
    for values, resolver in zip(got, SWEEP):
        state = cirq_reference(cirq.Circuit(circuit, cirq.I(outside)), resolver, order)
        expected = [cirq.PauliSum.wrap(o).expectation_from_state_vector(state, qubit_map)
                    for o in observables]
        assert all(isinstance(v, complex) for v in values)  # the interface's type, as Cirq's
        np.testing.assert_allclose(values, expected, rtol=0, atol=1e-12)


def test_big_endian_state_index_measurement_bits_and_initial_state():
    # Asymmetric: only the first qubit of Cirq's order is flipped.
    q0, q1, q2 = cirq.LineQubit.range(3)
    circuit = cirq.Circuit(cirq.X(q0), cirq.I(q1), cirq.I(q2))
    simulator = velquin_cirq.Simulator(seed=3)
    assert np.flatnonzero(simulator.simulate(circuit).final_state_vector).tolist() == [0b100]
    assert np.flatnonzero(simulator.simulate(circuit, qubit_order=[q2, q1, q0])
                          .final_state_vector).tolist() == [0b001]
    # initial_state 1 is |001>: the last qubit of the order starts in |1>.
    assert np.flatnonzero(simulator.simulate(circuit, initial_state=1)
                          .final_state_vector).tolist() == [0b101]
    basis = np.zeros(8, np.complex128)
    basis[0b011] = 1
    assert np.flatnonzero(simulator.simulate(circuit, initial_state=basis)
                          .final_state_vector).tolist() == [0b111]
    measured = cirq.Circuit(circuit, cirq.measure(q0, q1, q2, key="m"), cirq.measure(q2, q0, key="r"))
    result = simulator.run(measured, repetitions=5)
    assert result.records["m"].tolist() == [[[1, 0, 0]]] * 5
    assert result.records["r"].tolist() == [[[0, 1]]] * 5
    collapsed = simulator.simulate(measured).measurements
    assert {key: bits.tolist() for key, bits in collapsed.items()} == {"m": [1, 0, 0], "r": [0, 1]}


def test_final_state_is_velquins_array_neither_copied_nor_renormalised():
    q = cirq.LineQubit(0)
    result = velquin_cirq.Simulator().simulate(cirq.Circuit(cirq.H(q), cirq.H(q)))
    state = result.final_state_vector
    assert np.shares_memory(state, result._final_simulator_state.target_tensor)
    # Two Hadamards leave 0.9999999999999998; Cirq's own result would rescale it to 1.
    assert state.tolist() == [0.9999999999999998, 0]


def test_terminal_measurements_in_simulate_collapse_the_state_as_cirq_does():
    q = cirq.LineQubit.range(3)
    circuit = cirq.Circuit(cirq.H(q[0]), cirq.CNOT(q[0], q[1]), cirq.ry(0.8)(q[2]),
                           cirq.measure(q[0], key="m", invert_mask=(True,)))
    seen = set()
    simulator = velquin_cirq.Simulator(seed=5)
    for _ in range(12):
        result = simulator.simulate(circuit)
        (bit,) = result.measurements["m"]
        seen.add(int(bit))
        value = 1 - int(bit)  # the mask inverts the recorded bit, not the state
        reference = cirq_reference(cirq.Circuit(cirq.X(q[0]) ** value, cirq.X(q[1]) ** value,
                                                cirq.ry(0.8)(q[2])), {}, q)
        np.testing.assert_allclose(result.final_state_vector, reference, rtol=0, atol=1e-12)
    assert seen == {0, 1}


@pytest.mark.parametrize("seed", range(3))
def test_every_gate_of_cirqs_standard_set_is_one_engine_operation(seed):
    rng = np.random.default_rng(20 + seed)
    q = cirq.LineQubit.range(3)
    for arity, pool in ((1, _one), (2, _two), (3, _three)):
        for gate in pool(rng):
            ops = translate(cirq.Circuit(gate.on(*q[:arity])), cirq.QubitOrder.DEFAULT).ops
            if isinstance(gate, cirq.QuantumFourierTransformGate):
                assert len(ops) > 1  # composite: Cirq's own decomposition
            elif isinstance(gate, cirq.ControlledGate) and isinstance(
                    gate.control_values, cirq.SumOfProducts):
                assert len(ops) == len(list(gate.control_values))  # one per product
            elif isinstance(gate, cirq.ControlledGate) and isinstance(gate.sub_gate, cirq.CXPowGate) \
                    and gate.sub_gate.global_shift:
                assert [op.name for op in ops] == ["rx", "global_phase"]  # the shift on the controls
            else:
                assert len(ops) <= 1, (gate, ops)  # none for identities and global phases
