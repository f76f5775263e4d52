"""What velquin cannot simulate exactly, named with its moment before anything is simulated.

velquin plays unitary operations and samples the final state. A circuit may measure a qubit
(in the computational basis, ``cirq.measure``) only when no later operation other than
another measurement touches it (``velquin_adapters.TerminalMeasurements``). Classically
controlled operations, resets, noise channels, noisy or non-computational-basis
measurements, qudits and every other non-unitary operation are refused with an error naming
the operation and its moment; ``translation`` walks the circuit and asks here why.
"""

from __future__ import annotations

import cirq
from velquin_adapters import UnsupportedError

# A value no sensible circuit gives a symbol; used only to ask whether a
# parameterised operation is unitary once its symbols are bound.
_PROBE_VALUE = 0.3183098861837907


class UnsupportedOperationError(UnsupportedError):
    """The circuit holds an operation velquin cannot simulate exactly."""


def describe(op: cirq.Operation) -> str:
    """The operation as Cirq prints it, or its gate's type and qubits when that is long."""
    text = str(op)
    if len(text) <= 200 and "\n" not in text:
        return text
    kind = type(op.gate if op.gate is not None else op).__name__
    return f"{kind} on {', '.join(map(str, op.qubits))}"


def refuse(op: cirq.Operation, moment: int, reason: str) -> UnsupportedOperationError:
    """The error for ``op`` in moment ``moment``."""
    return UnsupportedOperationError(
        f"velquin cannot simulate {describe(op)} in moment {moment}: {reason}")


def _is_unitary(op: cirq.Operation) -> bool:
    if cirq.is_parameterized(op):
        probe = cirq.ParamResolver({name: _PROBE_VALUE for name in cirq.parameter_names(op)})
        op = cirq.resolve_parameters(op, probe)
    return cirq.has_unitary(op)


def reason(op: cirq.Operation) -> str | None:
    """Why a non-measurement operation cannot be simulated, or None when it can."""
    if isinstance(op, cirq.ClassicallyControlledOperation):
        return "classically controlled operations need mid-circuit measurement results"
    if isinstance(op.gate, cirq.ResetChannel):
        return "a reset is not unitary"
    if not _is_unitary(op):
        if cirq.has_mixture(op) or cirq.has_kraus(op):
            return "noise channels are not simulated"
        return "it is not a unitary operation"
    return None


def measurement_reason(op: cirq.Operation) -> str | None:
    """Why a measurement cannot be sampled exactly, or None when it can."""
    if isinstance(op, cirq.ClassicallyControlledOperation) or not isinstance(
            op.gate, cirq.MeasurementGate):
        return "only computational-basis measurements (cirq.measure) are simulated"
    if op.gate.confusion_map:
        return "a measurement with a confusion map is noisy"
    return None
