"""Refusals, device-sized circuits and OpenQASM files."""

from pathlib import Path

import _velquin_native
import numpy as np
import pytest
from qiskit import QuantumCircuit
from qiskit.circuit.library import PauliEvolutionGate
from qiskit.primitives import StatevectorEstimator, StatevectorSampler
from qiskit.quantum_info import Kraus, SparsePauliOp, Statevector, SuperOp

import velquin_qiskit as vq

QASM = Path(__file__).parent / "qasm"


def _reset(qc):
    qc.reset(1)


def _initialize(qc):
    qc.initialize([0, 1], 1)


def _if_else(qc):
    with qc.if_test((qc.clbits[0], 1)):
        qc.x(1)


def _while_loop(qc):
    with qc.while_loop((qc.clbits[0], 1)):
        qc.x(1)


def _for_loop(qc):
    with qc.for_loop(range(2)):
        qc.x(1)


def _switch_case(qc):
    with qc.switch(qc.clbits[0]) as case:
        with case(0):
            qc.x(1)


def _box(qc):
    with qc.box():
        qc.x(1)


def _kraus(qc):
    p = 0.1
    qc.append(Kraus([np.sqrt(1 - p) * np.eye(2), np.sqrt(p) * np.diag([1, -1])]), [1])


def _superop(qc):
    damping = Kraus([np.array([[1, 0], [0, np.sqrt(0.9)]]), np.array([[0, np.sqrt(0.1)], [0, 0]])])
    qc.append(SuperOp(damping), [1])


def _measure_inside(qc):
    inner = QuantumCircuit(1, 1)
    inner.measure(0, 0)
    qc.append(inner.to_instruction(label="peek"), [1], [0])


def _noncommuting_evolution(qc):
    qc.append(PauliEvolutionGate(SparsePauliOp(["XI", "ZZ"]), time=0.3), [1, 2])


def _gate_after_measure(qc):
    qc.measure(1, 0)
    qc.rx(0.3, 1)


# (builder, instruction named, its index, its qubits, reason)
REFUSED = [
    (_reset, "reset", 1, [1], "reset is not unitary"),
    (_initialize, "initialize", 1, [1], "initialize begins with a reset"),
    (_if_else, "if_else", 1, [1], "control flow"),
    (_while_loop, "while_loop", 1, [1], "control flow"),
    (_for_loop, "for_loop", 1, [1], "control flow"),
    (_switch_case, "switch_case", 1, [1], "control flow"),
    (_box, "box", 1, [1], "control flow"),
    (_kraus, "kraus", 1, [1], "not a unitary instruction"),
    (_superop, "kraus", 1, [1], "not a unitary instruction"),  # Qiskit appends it as Kraus
    (_measure_inside, "circuit-", 1, [1], "'measure', which is not unitary"),
    (_noncommuting_evolution, "PauliEvolution", 1, [1, 2], "Pauli terms do not all commute"),
    (_gate_after_measure, "rx", 2, [1], "acts on qubit 1 after its measurement at circuit.data"),
]
ENTRY_POINTS = {
    "from_qiskit": lambda qc: vq.from_qiskit(qc),
    "statevector": lambda qc: vq.statevector(qc),
    "sampler": lambda qc: vq.SamplerV2().run([qc]),
    "estimator": lambda qc: vq.EstimatorV2().run([(qc, SparsePauliOp("ZZZ"))]),
    "backend": lambda qc: vq.VelquinBackend().run(qc),
}


@pytest.fixture
def nothing_simulates(monkeypatch):
    def no_program(*args, **kwargs):
        raise AssertionError("a refused circuit reached velquin's engine")
    monkeypatch.setattr(_velquin_native, "Program", no_program)


@pytest.mark.parametrize("entry", ENTRY_POINTS)
@pytest.mark.parametrize("build, name, index, qubits, reason", REFUSED)
def test_unsupported_instruction_is_refused_before_anything_runs(
        nothing_simulates, entry, build, name, index, qubits, reason):
    qc = QuantumCircuit(3, 2)
    qc.h(0)
    build(qc)
    if entry == "estimator" and any(i.name == "measure" for i in qc.data):
        # The estimator refuses the measurement itself: its value is that of the final state.
        index = next(i for i, instruction in enumerate(qc.data) if instruction.name == "measure")
        name, qubits, reason = "measure", [1], "EstimatorV2 takes circuits without measurements"
    with pytest.raises(vq.UnsupportedInstructionError) as error:
        ENTRY_POINTS[entry](qc)  # raised by run() itself, not when the result is read
    message = str(error.value)
    assert f"'{name}" in message and f"(circuit.data[{index}] on qubits {qubits})" in message
    assert reason in message


def test_barriers_delays_and_repeated_final_measurements_are_accepted():
    qc = QuantumCircuit(2, 3)
    qc.h(0)
    qc.barrier()
    qc.delay(100, 1)
    qc.cx(0, 1)
    qc.measure([0, 1], [0, 1])
    qc.measure(1, 2)                                     # a second read of the same qubit
    counts = vq.SamplerV2(seed=2).run([qc], shots=200).result()[0].data.c.get_counts()
    assert set(counts) == {"000", "111"} and sum(counts.values()) == 200


def test_device_sized_circuit_runs_on_its_active_qubits():
    qc = QuantumCircuit(127, 4)
    qc.h(100)
    qc.cx(100, 7)
    qc.ecr(7, 126)                                       # outside velquin's gates
    qc.measure([7, 100, 50, 126], [0, 1, 2, 3])          # qubit 50 is idle: reads 0
    small = QuantumCircuit(3, 4)
    small.h(1)
    small.cx(1, 0)
    small.ecr(0, 2)
    small.measure([0, 1, 2], [0, 1, 3])
    ours = vq.SamplerV2(seed=4).run([qc], shots=4000).result()[0].data.c.get_counts()
    reference = StatevectorSampler(seed=4).run([small], shots=4000).result()[0].data.c.get_counts()
    assert set(ours) == set(reference) and all(key[1] == "0" for key in ours)
    observable = SparsePauliOp.from_sparse_list([("ZZ", [7, 100], 1.0), ("X", [50], 2.0),
                                                 ("Z", [50], 0.5)], 127)
    unmeasured = qc.remove_final_measurements(inplace=False)
    value = vq.EstimatorV2().run([(unmeasured, observable)]).result()[0].data.evs
    # On the idle qubit 50, <X> = 0 and <Z> = 1.
    same = SparsePauliOp.from_sparse_list([("ZZ", [0, 1], 1.0), ("", [], 0.5)], 3)
    expected = StatevectorEstimator().run([(small.remove_final_measurements(inplace=False),
                                            same)]).result()[0].data.evs
    assert abs(value - expected) < 1e-12 and abs(expected - 0.5) > 0.1


def test_more_than_thirty_active_qubits_is_refused_naming_the_count(nothing_simulates):
    qc = QuantumCircuit(127)
    for q in range(31):
        qc.h(2 * q)
    with pytest.raises(vq.TooManyQubitsError, match="acts on 31 qubits; velquin simulates at most 30"):
        vq.EstimatorV2().run([(qc, SparsePauliOp("Z" * 127))])


@pytest.mark.parametrize("name", ["ghz", "qft", "grover3", "qelib_gates"])
def test_qasm_file_gives_qiskits_state(name):
    text = (QASM / f"{name}.qasm").read_text()
    circuit = vq.load_qasm(text)
    reference = Statevector(circuit.remove_final_measurements(inplace=False)).data
    np.testing.assert_allclose(vq.statevector(circuit).data, reference, rtol=0, atol=1e-12)
    assert abs(abs(np.vdot(vq.from_qasm(text).statevector(), reference)) - 1) < 1e-12
