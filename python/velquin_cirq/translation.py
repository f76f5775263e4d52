"""A Cirq circuit as one engine program, translated once and bound per sweep point.

The walk takes the circuit moment by moment: every gate the engine has becomes its one
operation (``gates``); a measurement is recorded (``records.Measurement``); anything else is
refused (``refusals``) or taken apart by Cirq's own ``cirq.decompose``, down to what the
engine has (a numeric unitary known only by its matrix, on up to 10 qubits, becomes one
``unitary`` operation). ``CircuitOperation``s are unrolled first.

Qubit ``order[k]`` of Cirq's (big-endian) order is engine qubit ``n - 1 - k``, so the
engine's state vector is Cirq's as it is. Every gate's own phase is summed into the
program's global phase, which multiplies final states and expectation values but never
the probabilities sampled.

A translation is kept for the last few circuits (``cirq.Circuit.freeze()`` is a new object
whenever a circuit changes, so a kept one is never stale).
"""

from __future__ import annotations

from collections import OrderedDict
from collections.abc import Hashable
from dataclasses import dataclass, field
from typing import Any

import cirq
import velquin_adapters as va
from velquin_adapters import Angle, Linear, Op, Program

from . import gates
from .parameters import Parameters
from .records import Measurement
from .refusals import describe, measurement_reason, reason, refuse

MAX_MATRIX_QUBITS = 10
"""The widest numeric unitary the engine takes as one matrix."""


@dataclass
class Translation:
    """One circuit on the qubits of ``order``: engine operations, the global phase, the
    parameter slots, and the terminal measurements."""

    qubits: gates.Qubits
    ops: list[Op]
    phase: Angle | None
    parameters: Parameters
    measurements: tuple[Measurement, ...]
    _programs: dict[Hashable, Any] = field(default_factory=dict, repr=False)

    @property
    def order(self) -> tuple[cirq.Qid, ...]:
        """Cirq's qubit order: ``order[k]`` is engine qubit ``n - 1 - k``."""
        return self.qubits.order

    @property
    def where(self) -> dict[cirq.Qid, int]:
        """Each qubit's engine index."""
        return self.qubits.index

    def program(self, initial: int = 0, phase: bool = True) -> Program:
        """The whole register from basis state ``initial`` (Cirq's numbering), with the
        global phase or without it; one idle qubit when the circuit has none (the engine
        needs one)."""
        key = ("full", phase)
        if initial == 0 and key in self._programs:
            program: Program = self._programs[key]
            return program
        n = len(self.order)
        va.layout_of([range(n)])  # more than 30 qubits: refused, naming the count
        first = [Op("x", (v,)) for v in range(n) if initial >> v & 1]
        program = Program(max(n, 1), first + self.ops if first else self.ops,
                          self.parameters.count, self.phase if phase else None)
        if initial == 0:
            self._programs[key] = program
        return program

    def sampled(self) -> tuple[va.Layout, Program, list[int | None]]:
        """The qubits the operations touch, the program on them alone without the global
        phase, and the register index of each measured qubit (None for an idle one: it
        reads 0), the measurements' qubits in order."""
        if "sampled" not in self._programs:
            n = len(self.order)
            touched: set[int] = set()
            for op in self.ops:
                touched.update(op.qubits)
                if op.controls:
                    touched.update(op.controls)
            if len(touched) == n:  # every qubit acted on: nothing to shrink
                layout, program = va.layout_of([range(n)]), self.program(phase=False)
            else:
                layout, program = Program(max(n, 1), self.ops, self.parameters.count).shrunk()
            where = self.where
            positions = [layout.position.get(where[q]) for m in self.measurements
                         for q in m.qubits]
            self._programs["sampled"] = (layout, program, positions)
        kept: tuple[va.Layout, Program, list[int | None]] = self._programs["sampled"]
        return kept


class _Unroll(Exception):
    """The circuit holds a CircuitOperation: walk its unrolled form instead."""


def _merged(angles: list[Angle]) -> Angle | None:
    """The sum of ``angles``, each parameter slot once."""
    total = va.add(*angles)
    if not isinstance(total, Linear):
        return total or None
    slopes: dict[int, float] = {}
    for slot, coefficient in total.terms:
        slopes[slot] = slopes.get(slot, 0.0) + coefficient
    return Linear(total.constant, tuple(slopes.items()))


def _decomposed(op: cirq.Operation, moment: int, where: gates.Qubits,
                parameters: Parameters) -> list[gates.Lowered]:
    """``op`` taken apart by Cirq until every part is an engine operation."""
    found: dict[int, tuple[cirq.Operation, gates.Lowered]] = {}

    def keep(part: cirq.Operation) -> bool:
        outside = [q for q in part.qubits if q not in where]
        if outside:
            raise refuse(op, moment, "its decomposition uses qubits outside the circuit "
                         f"({outside[0]})")
        lowered = gates.lower(part, where, parameters)
        if lowered is not None:
            found[id(part)] = (part, lowered)
        return lowered is not None

    def matrix(part: cirq.Operation) -> list[cirq.Operation] | None:
        if cirq.is_parameterized(part) or not 1 <= len(part.qubits) <= MAX_MATRIX_QUBITS \
                or not cirq.has_unitary(part):
            return None
        return [cirq.MatrixGate(cirq.unitary(part)).on(*part.qubits)]

    def stuck(part: cirq.Operation) -> Exception:
        return refuse(op, moment, f"Cirq cannot decompose {describe(part)} into velquin's "
                      f"operations (a matrix of at most {MAX_MATRIX_QUBITS} qubits, or a gate "
                      "velquin has)")

    parts = cirq.decompose(op, keep=keep, fallback_decomposer=matrix, on_stuck_raise=stuck)
    return [found[id(part)][1] for part in parts]


def _walk(circuit: cirq.AbstractCircuit, order: tuple[cirq.Qid, ...]) -> Translation:
    where = gates.Qubits(order)
    qudits = {q for q in order if q.dimension != 2}
    parameters = Parameters()
    ops: list[Op] = []
    phases: list[Angle] = []
    measurements: list[Measurement] = []
    measured = va.TerminalMeasurements()
    lower = gates.lower
    any_measured = False
    for index, moment in enumerate(circuit):
        for op in moment.operations:
            lowered = None if qudits else lower(op, where, parameters)
            if lowered is None:
                if isinstance(op.untagged, cirq.CircuitOperation):
                    raise _Unroll
                odd = [q for q in op.qubits if q.dimension != 2]
                if odd:
                    raise refuse(op, index, f"{odd[0]} has dimension {odd[0].dimension}, "
                                 "and velquin simulates qubits only")
                if cirq.is_measurement(op):
                    why = measurement_reason(op)
                    if why is not None:
                        raise refuse(op, index, why)
                    measured.measure(op.qubits, f"moment {index}")
                    measurements.append(Measurement.of(op))
                    any_measured = True
                    continue
                why = reason(op)
                if why is not None:
                    raise refuse(op, index, why)
                parts = _decomposed(op, index, where, parameters)
            else:
                parts = [lowered]
            if any_measured:
                conflict = measured.conflict(op.qubits)
                if conflict is not None:
                    raise refuse(op, index, f"it acts on {conflict[0]} after its measurement "
                                 f"in {conflict[1]}, and mid-circuit measurements are not "
                                 "simulated")
            for part_ops, phase in parts:
                ops.extend(part_ops)
                if phase is not None:
                    phases.append(phase)
    return Translation(where, ops, _merged(phases), parameters, tuple(measurements))


_KEPT: OrderedDict[tuple[int, Hashable], tuple[cirq.FrozenCircuit, Translation]] = OrderedDict()
KEPT_CIRCUITS = 8


def translate(circuit: cirq.AbstractCircuit, qubit_order: cirq.QubitOrderOrList
              ) -> Translation:
    """The translation of ``circuit`` on Cirq's ``qubit_order`` (kept for the last few).

    Raises UnsupportedOperationError, naming the operation and its moment, for what velquin
    cannot simulate exactly.
    """
    frozen = circuit.freeze()
    order_key = tuple(qubit_order) if isinstance(qubit_order, list) else qubit_order
    key: Any = (id(frozen), order_key)
    try:
        kept = _KEPT.get(key)
    except TypeError:  # an unhashable qubit order: nothing kept
        key, kept = None, None
    if kept is not None and kept[0] is frozen:
        _KEPT.move_to_end(key)
        return kept[1]
    order = tuple(cirq.QubitOrder.as_qubit_order(qubit_order).order_for(frozen.all_qubits()))
    try:
        translation = _walk(frozen, order)
    except _Unroll:
        unrolled = cirq.unroll_circuit_op(frozen, deep=True, tags_to_check=None)
        translation = _walk(unrolled, order)
    if key is not None:
        _KEPT[key] = (frozen, translation)
        while len(_KEPT) > KEPT_CIRCUITS:
            _KEPT.popitem(last=False)
    return translation
