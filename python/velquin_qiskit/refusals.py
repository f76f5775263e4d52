"""What velquin cannot simulate exactly, and how a refusal names it.

velquin plays unitary operations and samples the final state. A circuit may measure a qubit
only when no later instruction touches it (the shared rule of
``velquin_adapters.TerminalMeasurements``); resets, control flow, classical conditions and
non-unitary instructions (noise channels, Kraus and superoperators, classical storage,
initialize) are refused with an error naming the instruction, its index in ``circuit.data``
and its qubits, before anything runs. Barriers and delays are ignored.
"""

from __future__ import annotations

from collections.abc import Sequence

from qiskit.circuit import ControlFlowOp, Operation
from qiskit.exceptions import QiskitError
from velquin_adapters import UnsupportedError

IGNORED = frozenset({"barrier", "delay"})


class UnsupportedInstructionError(QiskitError, UnsupportedError):  # type: ignore[misc]
    """The circuit holds an instruction velquin cannot simulate exactly."""

    def __str__(self) -> str:
        return str(self.message)  # QiskitError would show the message's repr


class Refused(Exception):
    """Why an operation (or one inside its definition) cannot be simulated; the walk that
    meets it adds which instruction of the user's circuit it is."""

    def __init__(self, reason: str) -> None:
        super().__init__(reason)
        self.reason = reason


def non_unitary_reason(operation: Operation) -> str | None:
    """Why an operation that is not a gate cannot be simulated, or None when it may be."""
    if isinstance(operation, ControlFlowOp):
        return "control flow needs mid-circuit measurement results"
    if getattr(operation, "condition", None) is not None:
        return "classically conditioned operations need mid-circuit measurement results"
    name = operation.name
    if name == "reset":
        return "a reset is not unitary"
    if name == "initialize":
        return "initialize begins with a reset; prepare_state is its unitary counterpart"
    if name == "measure":
        return "it measures inside a composite instruction"
    return None


def where(name: str, index: int, qubits: Sequence[int]) -> str:
    return f"'{name}' (circuit.data[{index}] on qubits {list(qubits)})"


def refusal(name: str, index: int, qubits: Sequence[int], reason: str
            ) -> UnsupportedInstructionError:
    return UnsupportedInstructionError(
        f"velquin cannot simulate {where(name, index, qubits)}: {reason}")
