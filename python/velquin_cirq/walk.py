"""The walk over a Cirq circuit, moment by moment, into the engine's steps.

Every gate the engine has becomes its one operation (``gates``); measurements, resets and
channels become dynamic steps (``channels``); a ``cirq.ClassicallyControlledOperation``
becomes its operation's steps under the engine condition of its controls (``conditions``);
a ``CircuitOperation`` is walked as its mapped circuit in place, in the moment holding it.
Other unitary operations are taken apart by Cirq's own ``cirq.decompose`` down to what the
engine has (a numeric unitary known only by its matrix, on up to 10 qubits, becomes one
``unitary`` operation), and other non-unitary ones by ``cirq.decompose_once`` (a Pauli
measurement is a basis change around ``cirq.measure``).

The walk also says whether the circuit is *static* (``Walked.dynamic`` None): unitary gates
then computational-basis measurements that no later operation touches, the circuits whose
final state is sampled. Otherwise ``dynamic`` names the first operation that makes it a
program of trajectories.
"""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass, field

import cirq
from velquin_adapters import Angle, Op

from . import channels, gates
from .conditions import Register, Tokens
from .parameters import Parameters
from .records import Measurement
from .refusals import Reason, describe, refuse


@dataclass
class Walked:
    """A circuit's steps: unitary operations and dynamic steps in order (a conditioned gate's
    phase a conditioned ``global_phase``), the phases of the unconditioned gates, the
    measurements in order and their classical bits."""

    where: gates.Qubits
    parameters: Parameters = field(default_factory=Parameters)
    register: Register = field(default_factory=Register)
    ops: list[Op] = field(default_factory=list)
    phases: list[Angle] = field(default_factory=list)
    measurements: list[Measurement] = field(default_factory=list)
    dynamic: str | None = None
    _measured: dict[cirq.Qid, int] = field(default_factory=dict)

    def _mark(self, op: cirq.Operation, moment: int, why: str) -> None:
        if self.dynamic is None:
            self.dynamic = f"{describe(op)} in moment {moment} {why}"

    def _after_measurement(self, op: cirq.Operation, moment: int) -> None:
        for qubit in op.qubits:
            if qubit in self._measured:
                self._mark(op, moment, f"acts on {qubit} after its measurement in moment "
                           f"{self._measured[qubit]}")
                return

    def unitary(self, lowered: gates.Lowered, op: cirq.Operation, moment: int,
                condition: Tokens) -> None:
        ops, phase = lowered
        if self._measured:
            self._after_measurement(op, moment)
        if not condition:
            self.ops.extend(ops)
            if phase is not None:
                self.phases.append(phase)
            return
        self._mark(op, moment, "is classically controlled")
        when = ("condition", condition)
        self.ops.extend(o._replace(dynamic=o.dynamic + (when,)) for o in ops)
        if phase is not None and phase != 0.0:
            self.ops.append(Op("global_phase", (), params=(phase,), dynamic=(when,)))

    def step(self, steps: Iterable[Op], condition: Tokens) -> None:
        when = (("condition", condition),) if condition else ()
        self.ops.extend(s._replace(dynamic=s.dynamic + when) if when else s for s in steps)

    def visit(self, op: cirq.Operation, moment: int, condition: Tokens = ()) -> None:
        """``op`` (under ``condition``) as steps; refused naming it where it cannot be."""
        try:
            self._visit(op, moment, condition)
        except Reason as reason:
            raise refuse(op, moment, str(reason)) from None

    def _visit(self, op: cirq.Operation, moment: int, condition: Tokens) -> None:
        where, untagged = self.where, op.untagged
        odd = [q for q in op.qubits if q.dimension != 2]
        if odd:
            raise Reason(f"{odd[0]} has dimension {odd[0].dimension}, and velquin simulates "
                         "qubits only")
        if isinstance(untagged, cirq.ClassicallyControlledOperation):
            controls = sorted(untagged.classical_controls, key=str)
            tokens = self.register.condition(controls)
            both = condition + tokens + ((("and",),) if condition else ())
            self.visit(untagged.without_classical_controls(), moment, both)
            return
        if isinstance(untagged, cirq.CircuitOperation):
            if untagged.repeat_until is not None:
                raise Reason("a loop repeated until a measurement's outcome has as many "
                             "records as the outcomes make it, and velquin's classical bits "
                             "are fixed in number")
            for inner in untagged.mapped_circuit(deep=False).all_operations():
                self.visit(inner, moment, condition)
            return
        lowered = gates.lower(op, where, self.parameters)
        if lowered is not None:
            self.unitary(lowered, op, moment, condition)
            return
        gate = op.gate
        qubits = where.indices(op.qubits)
        if isinstance(gate, cirq.MeasurementGate):
            self._mark_measurement(op, moment, gate)
            self.step(channels.measurement(gate, qubits, self.register), condition)
            return
        if isinstance(gate, cirq.ResetChannel):
            self._mark(op, moment, "is a reset")
            self.step(channels.reset(qubits), condition)
            return
        if cirq.is_measurement(op):  # a measurement other than cirq.measure
            parts = cirq.decompose_once(op, None)
            if parts is None:
                if cirq.has_kraus(op):
                    raise Reason("it records which of its operators was applied under a "
                                 "measurement key, and velquin's engine does not record that")
                raise Reason("only computational-basis measurements (cirq.measure) and those "
                             "Cirq decomposes into them are simulated")
            for part in parts:
                self.visit(part, moment, condition)
            return
        if _is_unitary(op):
            for lowered in _decomposed(op, where, self.parameters):
                self.unitary(lowered, op, moment, condition)
            return
        if cirq.is_parameterized(op):
            raise Reason("its probabilities are symbols; velquin draws noise with fixed "
                         "probabilities (resolve the parameters first)")
        if cirq.has_mixture(op):
            self._mark(op, moment, "is a noise channel")
            self.step((channels.mixture(op, qubits, self.parameters),), condition)
            return
        if cirq.has_kraus(op):
            self._mark(op, moment, "is a noise channel")
            self.step((channels.kraus(op, qubits),), condition)
            return
        parts = cirq.decompose_once(op, None)
        if parts is None:
            raise Reason("it is not a unitary gate, a measurement, a reset or a channel, and "
                         "Cirq cannot decompose it")
        for part in parts:
            self.visit(part, moment, condition)

    def _mark_measurement(self, op: cirq.Operation, moment: int,
                          gate: cirq.MeasurementGate) -> None:
        if gate.confusion_map:
            self._mark(op, moment, "has readout errors")
        self.measurements.append(Measurement.of(op))
        for qubit in op.qubits:
            self._measured.setdefault(qubit, moment)


def _is_unitary(op: cirq.Operation) -> bool:
    if cirq.is_parameterized(op):
        # Whether it is unitary once its symbols are bound: asked at a value no sensible
        # circuit gives a symbol.
        probe = cirq.ParamResolver({name: 0.3183098861837907
                                    for name in cirq.parameter_names(op)})
        op = cirq.resolve_parameters(op, probe)
    return cirq.has_unitary(op)


def _decomposed(op: cirq.Operation, where: gates.Qubits, parameters: Parameters
                ) -> list[gates.Lowered]:
    """A unitary ``op`` taken apart by Cirq until every part is an engine operation."""
    found: dict[int, tuple[cirq.Operation, gates.Lowered]] = {}

    def keep(part: cirq.Operation) -> bool:
        outside = [q for q in part.qubits if q not in where]
        if outside:
            raise Reason(f"its decomposition uses qubits outside the circuit ({outside[0]})")
        lowered = gates.lower(part, where, parameters)
        if lowered is not None:
            found[id(part)] = (part, lowered)
        return lowered is not None

    def matrix(part: cirq.Operation) -> list[cirq.Operation] | None:
        if cirq.is_parameterized(part) or not 1 <= len(part.qubits) <= gates.MAX_MATRIX_QUBITS \
                or not cirq.has_unitary(part):
            return None
        return [cirq.MatrixGate(cirq.unitary(part)).on(*part.qubits)]

    def stuck(part: cirq.Operation) -> Exception:
        return Reason(f"Cirq cannot decompose {describe(part)} into velquin's operations (a "
                      f"matrix of at most {gates.MAX_MATRIX_QUBITS} qubits, or a gate velquin "
                      "has)")

    parts = cirq.decompose(op, keep=keep, fallback_decomposer=matrix, on_stuck_raise=stuck)
    return [found[id(part)][1] for part in parts]


def walk(moments: Iterable[Iterable[cirq.Operation]], order: tuple[cirq.Qid, ...]) -> Walked:
    """The steps of the operations of each moment, on the qubits of ``order`` (see the module
    docstring)."""
    walked = Walked(gates.Qubits(order))
    where, parameters, lower, visit = walked.where, walked.parameters, gates.lower, walked.visit
    qudits = any(q.dimension != 2 for q in order)
    ops, phases = walked.ops, walked.phases
    for index, operations in enumerate(moments):
        for op in operations:
            # The common case inline: a gate the engine has, before any measurement.
            lowered = None if qudits or walked._measured else lower(op, where, parameters)
            if lowered is None:
                visit(op, index)
                continue
            ops.extend(lowered[0])
            if lowered[1] is not None:
                phases.append(lowered[1])
    return walked
