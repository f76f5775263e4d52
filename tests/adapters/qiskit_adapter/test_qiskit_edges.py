"""Refusals, device-sized circuits and OpenQASM files."""

from pathlib import Path

import _velquin_native
import numpy as np
import pytest
from qiskit import QuantumCircuit
from qiskit.circuit.classical import expr
from qiskit.circuit.library import PauliEvolutionGate
from qiskit.primitives import StatevectorEstimator, StatevectorSampler
from qiskit.quantum_info import Kraus, SparsePauliOp, Statevector, SuperOp

import velquin_qiskit as vq
from velquin_qiskit.translation import translate

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


def _switch_case(qc):
    with qc.switch(qc.clbits[0]) as case:
        with case(0):
            qc.x(1)


def _kraus(qc):
    p = 0.1
    qc.append(Kraus([np.sqrt(1 - p) * np.eye(2), np.sqrt(p) * np.diag([1, -1])]), [1])


def _superop(qc):
    damping = Kraus([np.array([[1, 0], [0, np.sqrt(0.9)]]), np.array([[0, np.sqrt(0.1)], [0, 0]])])
    qc.append(SuperOp(damping), [1])


def _gate_after_measure(qc):
    qc.measure(1, 0)
    qc.rx(0.3, 1)


def _noncommuting_evolution(qc):
    qc.append(PauliEvolutionGate(SparsePauliOp(["XI", "ZZ"]), time=0.3), [1, 2])


def _store(qc):
    flag = qc.add_var("flag", expr.lift(qc.clbits[0]))
    with qc.if_test(flag):
        qc.x(1)


def _multiplication(qc):
    with qc.if_test(expr.equal(expr.mul(qc.cregs[0], 2), 2)):
        qc.x(1)


SINGLE_STATE = ("from_qiskit", "statevector", "estimator")
"""Where one final state is needed: the estimator at precision 0 gives exact values."""
EVERYWHERE = ("from_qiskit", "statevector", "sampler", "estimator", "backend")

# (builder, instruction named, where, its qubits, reason, entry points refusing it)
REFUSED = [
    (_reset, "reset", "circuit.data[1]", [1], "reset is not unitary", SINGLE_STATE),
    (_initialize, "reset", "circuit.data[1].definition.data[0]", [1], "reset is not unitary",
     SINGLE_STATE),
    (_if_else, "if_else", "circuit.data[1]", [1], "control flow", SINGLE_STATE),
    (_while_loop, "while_loop", "circuit.data[1]", [1], "control flow", SINGLE_STATE),
    (_switch_case, "switch_case", "circuit.data[1]", [1], "control flow", SINGLE_STATE),
    (_kraus, "kraus", "circuit.data[1]", [1], "noise channel is not unitary", SINGLE_STATE),
    (_superop, "kraus", "circuit.data[1]", [1], "noise channel is not unitary",
     SINGLE_STATE),  # Qiskit appends it as Kraus
    (_gate_after_measure, "rx", "circuit.data[2]", [1],
     "acts on qubit 1 after its measurement by 'measure' (circuit.data[1]", SINGLE_STATE),
    (_noncommuting_evolution, "PauliEvolution", "circuit.data[1]", [1, 2],
     "Pauli terms do not all commute", EVERYWHERE),
    (_store, "store", "circuit.data[1]", [], "classical variables and stores", EVERYWHERE),
    (_multiplication, "if_else", "circuit.data[1]", [1], "has no exact form in velquin's "
     "conditions", EVERYWHERE),
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


@pytest.mark.parametrize("entry, build, name, at, qubits, reason, entries",
                         [(entry, *case) for case in REFUSED for entry in case[-1]])
def test_unsupported_instruction_is_refused_before_anything_runs(
        nothing_simulates, entry, build, name, at, qubits, reason, entries):
    qc = QuantumCircuit(3, 2)
    qc.h(0)
    build(qc)
    if entry == "estimator" and entries == SINGLE_STATE and any(
            i.name == "measure" for i in qc.data):
        # The estimator keeps measurements: the state after one is what it would estimate.
        at, name, qubits = "circuit.data[1]", "measure", [1]
        reason = "the state after a measurement depends on its outcome"
    with pytest.raises(vq.UnsupportedInstructionError) as error:
        ENTRY_POINTS[entry](qc)  # raised by run() itself, not when the result is read
    message = str(error.value)
    assert f"'{name}" in message and f"({at} on qubits {qubits})" in message
    assert reason in message
    if entries == SINGLE_STATE:  # and it says why one state cannot be given
        assert ("density matrix" if entry == "estimator" else "one final state") in message


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
    translation = translate(qc)  # final measurements only: the state is sampled in one pass
    assert translation.dynamic is None and translation.measured == {0: 0, 1: 1, 2: 1}
    assert not any(op.name == "measure" for op in translation.program.ops)


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
