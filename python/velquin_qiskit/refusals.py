"""What velquin cannot simulate exactly, and how a refusal names it.

Refusals are raised before anything runs, as ``UnsupportedInstructionError`` naming the
instruction, where it is (``circuit.data[i]``, and inside a control-flow block
``circuit.data[i].blocks[b].data[j]``) and its qubits. Barriers are ignored, and so are
delays (except where a noise model gives them an error, as Aer does).
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
    """Why an operation inside a gate's definition cannot be lowered to unitary operations,
    or None when it may be."""
    if isinstance(operation, ControlFlowOp):
        return "control flow inside a gate's definition is not unitary"
    name = operation.name
    if name in ("reset", "initialize", "measure", "kraus"):
        return f"'{name}' inside a gate's definition is not unitary"
    return None


def where(name: str, at: str, qubits: Sequence[int]) -> str:
    """An instruction as refusals name it: ``'name' (at on qubits [...])``."""
    return f"'{name}' ({at} on qubits {list(qubits)})"


def refusal(name: str, at: str, qubits: Sequence[int], reason: str
            ) -> UnsupportedInstructionError:
    return UnsupportedInstructionError(
        f"velquin cannot simulate {where(name, at, qubits)}: {reason}")
