"""What velquin cannot simulate exactly, found before anything is simulated.

velquin plays unitary gates and samples the final state. A circuit may measure
a qubit only when no later instruction touches it; resets, control flow,
classical conditions and non-unitary instructions (noise channels, Kraus and
superoperators, classical storage, initialize) are refused with an error
naming the instruction, its index in ``circuit.data`` and its qubits.
Barriers and delays are ignored.
"""

from __future__ import annotations

from dataclasses import dataclass

from qiskit.circuit import (
    CircuitInstruction,
    ControlFlowOp,
    Gate,
    Instruction,
    Operation,
    QuantumCircuit,
)
from qiskit.circuit.annotated_operation import AnnotatedOperation
from qiskit.exceptions import QiskitError
from qiskit.quantum_info import Clifford

IGNORED = frozenset({"barrier", "delay"})


class UnsupportedInstructionError(QiskitError):  # type: ignore[misc]
    """The circuit holds an instruction velquin cannot simulate exactly."""

    def __str__(self) -> str:
        return str(self.message)  # QiskitError would show the message's repr


@dataclass(frozen=True)
class Checked:
    """A circuit's unitary part and where its measurements go.

    ``unitary`` holds the indices (into ``circuit.data``) of the instructions
    to simulate; ``measured[clbit] = qubit`` for every classical bit that a
    measurement writes (the last one wins, as in the circuit), by index.
    """

    unitary: list[int]
    measured: dict[int, int]


def _reason(operation: Operation) -> str | None:
    """Why an operation cannot be simulated, or None when it is unitary."""
    if isinstance(operation, ControlFlowOp):
        return "control flow needs mid-circuit measurement results"
    if getattr(operation, "condition", None) is not None:
        return "classically conditioned operations need mid-circuit measurement results"
    if isinstance(operation, Gate) or isinstance(operation, Clifford):
        return None
    if isinstance(operation, AnnotatedOperation):
        return _reason(operation.base_op)
    if operation.name == "reset":
        return "a reset is not unitary"
    if operation.name == "initialize":
        return "initialize begins with a reset; prepare_state is its unitary counterpart"
    if operation.name == "measure":
        return "it measures inside a composite instruction"
    if isinstance(operation, Instruction) and operation.definition is not None:
        for inner in operation.definition.data:
            if inner.operation.name not in IGNORED and _reason(inner.operation) is not None:
                return f"its definition holds '{inner.operation.name}', which is not unitary"
        return None
    return "it is not a unitary instruction"


def _where(circuit: QuantumCircuit, index: int, instruction: CircuitInstruction) -> str:
    qubits = [circuit.find_bit(q).index for q in instruction.qubits]
    return f"'{instruction.operation.name}' (circuit.data[{index}] on qubits {qubits})"


def check(circuit: QuantumCircuit) -> Checked:
    """Refuse what velquin cannot simulate; return the unitary part and the measurements.

    Raises UnsupportedInstructionError before anything is simulated.
    """
    unitary: list[int] = []
    measured: dict[int, int] = {}
    measured_at: dict[int, int] = {}  # qubit -> index of its measurement
    for index, instruction in enumerate(circuit.data):
        operation = instruction.operation
        if operation.name in IGNORED:
            continue
        qubits = [circuit.find_bit(q).index for q in instruction.qubits]
        if operation.name == "measure" and isinstance(operation, Instruction) \
                and not isinstance(operation, ControlFlowOp):
            (qubit,), (clbit,) = qubits, instruction.clbits
            measured[circuit.find_bit(clbit).index] = qubit
            measured_at.setdefault(qubit, index)
            continue
        reason = _reason(operation)
        if reason is not None:
            raise UnsupportedInstructionError(
                f"velquin cannot simulate {_where(circuit, index, instruction)}: {reason}")
        for qubit in qubits:
            if qubit in measured_at:
                raise UnsupportedInstructionError(
                    f"velquin cannot simulate {_where(circuit, index, instruction)}: it acts on "
                    f"qubit {qubit} after its measurement at circuit.data[{measured_at[qubit]}], "
                    "and mid-circuit measurements are not simulated")
        unitary.append(index)
    return Checked(unitary, measured)
