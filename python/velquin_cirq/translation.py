"""A Cirq circuit (with its noise model's operations) as engine programs, translated once and
bound per sweep point.

``walk`` gives the circuit's steps. Qubit ``order[k]`` of Cirq's (big-endian) order is engine
qubit ``n - 1 - k``, so the engine's state vector is Cirq's as it is. Every unconditioned
gate's own phase is summed into the program's global phase, which multiplies final states
and expectation values but never the probabilities sampled.

A noise model adds its operations as ``cirq.Simulator`` adds them: its ``noisy_moments`` of
the circuit on the circuit's sorted qubits, each item's operations in order (operations
inside a ``CircuitOperation`` get none). A static circuit (unitary gates, then terminal
measurements) runs as one program whose final state is sampled; any other runs as a dynamic
program of trajectories (``shots``).

A translation is kept for the last few circuits and noise models (``cirq.Circuit.freeze()``
is a new object whenever a circuit changes, so a kept one is never stale).
"""

from __future__ import annotations

from collections import OrderedDict
from collections.abc import Hashable, Iterable, Sequence
from dataclasses import dataclass, field
from typing import Any

import cirq
import velquin_adapters as va
from velquin_adapters import Angle, Linear, Op, Program

from . import gates
from .conditions import Register
from .parameters import Parameters
from .records import Measurement
from .walk import walk


@dataclass
class Translation:
    """One circuit on the qubits of ``order``: its steps, the global phase, the parameter
    slots, the measurements in order and their classical bits; ``dynamic`` names the first
    operation that makes it a program of trajectories (None: static)."""

    qubits: gates.Qubits
    steps: list[Op]
    phase: Angle | None
    parameters: Parameters
    measurements: tuple[Measurement, ...]
    register: Register
    dynamic: str | None
    _programs: dict[Hashable, Any] = field(default_factory=dict, repr=False)

    @property
    def order(self) -> tuple[cirq.Qid, ...]:
        """Cirq's qubit order: ``order[k]`` is engine qubit ``n - 1 - k``."""
        return self.qubits.order

    @property
    def where(self) -> dict[cirq.Qid, int]:
        """Each qubit's engine index."""
        return self.qubits.index

    @property
    def ops(self) -> list[Op]:
        """A static circuit's unitary operations (its measurements left out)."""
        if "ops" not in self._programs:
            assert self.dynamic is None
            self._programs["ops"] = [op for op in self.steps if op.name != "measure"]
        ops: list[Op] = self._programs["ops"]
        return ops

    def initial(self, initial: int) -> list[Op]:
        """The operations preparing basis state ``initial`` (Cirq's numbering)."""
        return [Op("x", (v,)) for v in range(len(self.order)) if initial >> v & 1]

    def program(self, initial: int = 0, phase: bool = True) -> Program:
        """A static circuit on the whole register from basis state ``initial``, with the
        global phase or without it; one idle qubit when the circuit has none (the engine
        needs one)."""
        key = ("full", phase)
        if initial == 0 and key in self._programs:
            program: Program = self._programs[key]
            return program
        n = len(self.order)
        va.layout_of([range(n)])  # more than 30 qubits: refused, naming the count
        first = self.initial(initial)
        program = Program(max(n, 1), first + self.ops if first else self.ops,
                          self.parameters.count, self.phase if phase else None)
        if initial == 0:
            self._programs[key] = program
        return program

    def sampled(self) -> tuple[va.Layout, Program, list[int | None]]:
        """A static circuit's qubits that the operations touch, the program on them alone
        without the global phase, and the register index of each measured qubit (None for an
        idle one: it reads 0), the measurements' qubits in order."""
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

    def shots(self) -> Program:
        """The dynamic program whose shots give the measurement records, on the qubits it
        touches: the steps after the last measurement, which write no record, left out."""
        if "shots" not in self._programs:
            last = max((i for i, op in enumerate(self.steps) if op.name == "measure"),
                       default=-1)
            steps = [op for op in self.steps[:last + 1] if op.name != "global_phase"
                     or op.controls]
            program = Program(max(len(self.order), 1), steps, self.parameters.count,
                              n_clbits=self.register.count)
            self._programs["shots"] = program.shrunk()[1]
        shots: Program = self._programs["shots"]
        return shots


def _merged(angles: list[Angle]) -> Angle | None:
    """The sum of ``angles``, each parameter slot once."""
    total = va.add(*angles)
    if not isinstance(total, Linear):
        return total or None
    slopes: dict[int, float] = {}
    for slot, coefficient in total.terms:
        slopes[slot] = slopes.get(slot, 0.0) + coefficient
    return Linear(total.constant, tuple(slopes.items()))


def noisy_moments(circuit: cirq.AbstractCircuit, noise: cirq.NoiseModel
                  ) -> list[Sequence[cirq.Operation]]:
    """The operations of each moment of ``circuit`` with those ``noise`` adds to it, as
    cirq.Simulator plays them (the noise of moment ``i`` is in item ``i``)."""
    return [tuple(cirq.flatten_to_ops(item))
            for item in noise.noisy_moments(circuit, sorted(circuit.all_qubits()))]


def _translated(moments: Iterable[Sequence[cirq.Operation]], order: tuple[cirq.Qid, ...]
                ) -> Translation:
    walked = walk(moments, order)
    return Translation(walked.where, walked.ops, _merged(walked.phases), walked.parameters,
                       tuple(walked.measurements), walked.register, walked.dynamic)


_KEPT: OrderedDict[tuple[int, Hashable, int], tuple[cirq.FrozenCircuit, Any, Translation]] = \
    OrderedDict()
KEPT_CIRCUITS = 8


def translate(circuit: cirq.AbstractCircuit, qubit_order: cirq.QubitOrderOrList,
              noise: cirq.NoiseModel | None = None) -> Translation:
    """The translation of ``circuit`` (with ``noise``'s operations) on Cirq's
    ``qubit_order``, kept for the last few.

    Raises UnsupportedOperationError, naming the operation and its moment, for what velquin
    cannot simulate exactly.
    """
    frozen = circuit.freeze()
    order_key = tuple(qubit_order) if isinstance(qubit_order, list) else qubit_order
    key: Any = (id(frozen), order_key, id(noise))
    try:
        kept = _KEPT.get(key)
    except TypeError:  # an unhashable qubit order: nothing kept
        key, kept = None, None
    if kept is not None and kept[0] is frozen and kept[1] is noise:
        _KEPT.move_to_end(key)
        return kept[2]
    order = tuple(cirq.QubitOrder.as_qubit_order(qubit_order).order_for(frozen.all_qubits()))
    moments = (moment.operations for moment in frozen) if noise is None else \
        noisy_moments(frozen, noise)
    translation = _translated(moments, order)
    if key is not None:
        _KEPT[key] = (frozen, noise, translation)
        while len(_KEPT) > KEPT_CIRCUITS:
            _KEPT.popitem(last=False)
    return translation
