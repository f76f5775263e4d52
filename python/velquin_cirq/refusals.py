"""What velquin cannot simulate exactly, found before anything is simulated.

velquin plays unitary gates and samples the final state. A circuit may measure
a qubit (in the computational basis, ``cirq.measure``) only when no later
operation other than another measurement touches it. Classically controlled
operations, resets, noise channels, noisy or non-computational-basis
measurements, qudits and every other non-unitary operation are refused with an
error naming the operation and its moment.
"""

from __future__ import annotations

from dataclasses import dataclass, field

import cirq

# A value no sensible circuit gives a symbol; used only to ask whether a
# parameterised operation is unitary once its symbols are bound.
_PROBE_VALUE = 0.3183098861837907


class UnsupportedOperationError(ValueError):
    """The circuit holds an operation velquin cannot simulate exactly."""


@dataclass(frozen=True)
class Checked:
    """A circuit's unitary operations and its measurements, in circuit order.

    ``unitary`` and ``measurements`` hold ``(moment_index, operation)`` pairs;
    every measurement is a ``cirq.MeasurementGate`` operation.
    """

    unitary: list[tuple[int, cirq.Operation]] = field(default_factory=list)
    measurements: list[tuple[int, cirq.Operation]] = field(default_factory=list)


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


def _reason(op: cirq.Operation) -> str | None:
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


def check(circuit: cirq.AbstractCircuit) -> Checked:
    """Refuse what velquin cannot simulate; split the rest into gates and measurements.

    ``circuit`` holds no ``cirq.CircuitOperation`` (unroll those first). Raises
    UnsupportedOperationError before anything is simulated.
    """
    checked = Checked()
    measured_in: dict[cirq.Qid, int] = {}  # qubit -> moment of its first measurement
    for moment_index, moment in enumerate(circuit):
        for op in moment:
            odd = [q for q in op.qubits if q.dimension != 2]
            if odd:
                raise refuse(op, moment_index, f"{odd[0]} has dimension {odd[0].dimension}, "
                              "and velquin simulates qubits only")
            if cirq.is_measurement(op):
                gate = op.gate
                if not isinstance(gate, cirq.MeasurementGate) or isinstance(
                        op, cirq.ClassicallyControlledOperation):
                    raise refuse(op, moment_index,
                                  "only computational-basis measurements (cirq.measure) are "
                                  "simulated")
                if gate.confusion_map:
                    raise refuse(op, moment_index, "a measurement with a confusion map is noisy")
                for qubit in op.qubits:
                    measured_in.setdefault(qubit, moment_index)
                checked.measurements.append((moment_index, op))
                continue
            reason = _reason(op)
            if reason is not None:
                raise refuse(op, moment_index, reason)
            for qubit in op.qubits:
                if qubit in measured_in:
                    raise refuse(op, moment_index,
                                  f"it acts on {qubit} after its measurement in moment "
                                  f"{measured_in[qubit]}, and mid-circuit measurements are not "
                                  "simulated")
            checked.unitary.append((moment_index, op))
    return checked
