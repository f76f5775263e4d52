"""Qiskit operations as engine operations: the walk over a circuit's instructions.

A standard gate stored as such maps by name (gates.py). Any other operation object, in order:
a standard gate's class (with its default control state); ``ControlledGate`` (its base gate
lowered, then its controls and control state added to every operation and the base's phase
made a phase on the controls' subspace, so a base that is one operation stays one);
``UnitaryGate``, ``DiagonalGate``, ``PermutationGate``, ``PauliGate``, ``PauliEvolutionGate``
(evolution.py); ``AnnotatedOperation`` (controls as a controlled gate's; inverses and powers
by Qiskit's own gate methods); a Clifford (its circuit); anything else with a definition,
recursively. A gate with neither is refused, unless it has no parameters and a matrix (a
fixed gate: that matrix, as is).

A parameter-free gate's definition is walked once per process: ``QFTGate``, library blocks and
gates made from circuits are met again in every call that gets the same circuit.
"""

from __future__ import annotations

from collections import OrderedDict
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit
from qiskit.circuit import (
    AnnotatedOperation,
    CircuitInstruction,
    ControlledGate,
    ControlModifier,
    Gate,
    InverseModifier,
    Operation,
    PowerModifier,
)
from qiskit.circuit.library import (
    CUGate,
    DiagonalGate,
    MCMTGate,
    PauliEvolutionGate,
    PauliGate,
    PermutationGate,
    UGate,
    UnitaryGate,
    get_standard_gate_name_mapping,
)
from qiskit.quantum_info import Clifford
from velquin_adapters import Angle, Op, add

from .angles import Angles
from .evolution import pauli_evolution
from .gates import PHASE_ONLY, STANDARD, Qubits, with_controls
from .refusals import IGNORED, Refused, non_unitary_reason

MAX_DENSE = 10
"""The most target qubits of one dense, diagonal or permutation operation of the engine."""

_STANDARD_CLASS = {gate.base_class: name
                   for name, gate in get_standard_gate_name_mapping().items() if name in STANDARD}

_DEFINITIONS: OrderedDict[int, tuple[Operation, QuantumCircuit, list[Op], list[Angle]]] = \
    OrderedDict()
_DEFINITIONS_KEPT = 64
"""Parameter-free definitions kept walked, by gate; the entry keeps the gate, so its id is not
reused while the entry lives, and is used only while the gate still has that definition."""


def _permutation(pattern: Sequence[int]) -> tuple[int, ...]:
    """The member permutation (out[m] = in[perm[m]]) of Qiskit's qubit pattern: output qubit
    k is input qubit pattern[k]."""
    members = np.arange(1 << len(pattern))
    source = np.zeros_like(members)
    for k, qubit in enumerate(pattern):
        source |= ((members >> k) & 1) << int(qubit)
    return tuple(source.tolist())


def _is_direct(operation: Operation) -> bool:
    """Whether ``operation`` lowers to engine operations without its definition."""
    if isinstance(operation, ControlledGate):
        return _is_direct(operation.base_gate)
    return getattr(operation, "base_class", None) in _STANDARD_CLASS or isinstance(
        operation, (UnitaryGate, DiagonalGate, PermutationGate, PauliGate, PauliEvolutionGate))


def _control_values(count: int, state: int) -> tuple[int, ...]:
    return tuple((state >> i) & 1 for i in range(count))


class Lowering:
    """The operations and phase terms of one translation, added to as it walks."""

    def __init__(self, angles: Angles) -> None:
        self.angles = angles
        self.ops: list[Op] = []
        self.phases: list[Angle] = []

    def standard(self, name: str, qubits: Qubits, params: Sequence[Any]) -> None:
        """Adds the standard gate ``name`` (default control state)."""
        angles = [self.angles.angle(p) for p in params]
        if name == PHASE_ONLY:
            self.phases.append(angles[0])
            return
        op = STANDARD[name](qubits, angles)
        if op is not None:
            self.ops.append(op)

    def stored_unitary(self, instruction: CircuitInstruction, qubits: Qubits) -> bool:
        """Adds a ``UnitaryGate`` from the matrix the circuit stores, without making its gate
        object (most of the cost of a circuit of unitaries); False for anything else."""
        if instruction.name != "unitary" or instruction.params:
            return False
        matrix = instruction.matrix
        if matrix is None:
            return False
        self._dense(matrix, qubits)
        return True

    def lower(self, operation: Operation, qubits: Qubits) -> None:
        """Adds ``operation`` on ``qubits``; raises Refused for what cannot be simulated."""
        name = _STANDARD_CLASS.get(getattr(operation, "base_class", None))
        if name is not None and (not isinstance(operation, ControlledGate) or
                                 operation.ctrl_state == (1 << operation.num_ctrl_qubits) - 1):
            self.standard(name, qubits, operation.params)
        elif isinstance(operation, ControlledGate):
            self._controlled(operation, qubits)
        elif isinstance(operation, UnitaryGate):
            self._dense(operation.params[0], qubits)
        elif isinstance(operation, DiagonalGate):
            self._diagonal(np.asarray(operation.params, dtype=np.complex128), qubits)
        elif isinstance(operation, PermutationGate):
            self._permutation(list(operation.pattern), qubits)
        elif isinstance(operation, PauliEvolutionGate):
            ops, phases = pauli_evolution(operation, qubits, self.angles)
            self.ops.extend(ops)
            self.phases.extend(phases)
        elif isinstance(operation, PauliGate):
            self._pauli(operation.params[0], qubits)
        elif isinstance(operation, AnnotatedOperation):
            self._annotated(operation, qubits)
        elif isinstance(operation, Clifford):
            self._definition(operation, operation.to_circuit(), qubits, cache=False)
        else:
            self._other(operation, qubits)

    def _with_controls(self, inner: Lowering, controls: Qubits, values: tuple[int, ...]) -> None:
        ops = [with_controls(op, controls, values) for op in inner.ops]
        phase = add(*inner.phases)
        if phase != 0.0:
            if len(ops) == 1:  # one operation times a phase stays one operation
                ops[0] = ops[0]._replace(phase=add(ops[0].phase or 0.0, phase))
            else:
                ops.append(Op("global_phase", (), controls, values, params=(phase,)))
        self.ops.extend(ops)

    def _controlled(self, gate: ControlledGate, qubits: Qubits) -> None:
        k = gate.num_ctrl_qubits
        inner = Lowering(self.angles)
        if isinstance(gate, MCMTGate):  # the base gate on each target, all controlled
            for target in qubits[k:]:
                inner.lower(gate.base_gate, (target,))
        elif isinstance(gate, CUGate) or (isinstance(gate.base_gate, UGate) and
                                        len(gate.params) == 4):
            # cu (and cu given further controls) keeps its phase gamma beside its base gate
            theta, phi, lam, gamma = (self.angles.angle(p) for p in gate.params)
            inner.ops.append(Op("u", qubits[k:], params=(theta, phi, lam)))
            inner.phases.append(gamma)
        elif _is_direct(gate.base_gate) or not gate.base_gate.params:
            inner.lower(gate.base_gate, qubits[k:])
        else:
            # A parameterised composite base: binding a circuit's parameters rebinds the
            # controlled gate's own definition, not its base's, so that definition is walked.
            self._definition(gate, gate.definition, qubits)
            return
        self._with_controls(inner, qubits[:k], _control_values(k, gate.ctrl_state))

    def _annotated(self, operation: AnnotatedOperation, qubits: Qubits) -> None:
        """Controls commute with inverses and powers, so those act on the base gate and the
        controls (the last modifier's first, as Qiskit orders them) go on at the end."""
        current: Any = operation.base_op
        controls: list[int] = []
        values: list[int] = []
        for modifier in operation.modifiers:
            if isinstance(modifier, ControlModifier):
                count = modifier.num_ctrl_qubits
                controls = list(range(count)) + [c + count for c in controls]
                values = list(_control_values(count, modifier.ctrl_state)) + values
            elif isinstance(modifier, InverseModifier):
                current = current.inverse()
            elif isinstance(modifier, PowerModifier):
                current = _power(current, modifier.power)
            else:
                raise Refused(f"velquin does not know the modifier {modifier!r}")
        k = len(controls)
        inner = Lowering(self.angles)
        inner.lower(current, qubits[k:])
        self._with_controls(inner, tuple(qubits[c] for c in controls), tuple(values))

    def _dense(self, matrix: npt.ArrayLike, qubits: Qubits) -> None:
        if len(qubits) > MAX_DENSE:
            raise Refused(f"velquin applies a dense matrix on at most {MAX_DENSE} qubits, and "
                          f"this one acts on {len(qubits)}")
        payload = np.ascontiguousarray(matrix, dtype=np.complex128)
        self.ops.append(Op("unitary", qubits, payload=payload))

    def _diagonal(self, diagonal: npt.NDArray[np.complex128], qubits: Qubits) -> None:
        """One diagonal operation; beyond the engine's width, one per value of the qubits
        above it, each controlled on that value (the same diagonal, exactly)."""
        low, high = qubits[:MAX_DENSE], qubits[MAX_DENSE:]
        size = 1 << len(low)
        for block in range(1 << len(high)):
            part = np.ascontiguousarray(diagonal[block * size:(block + 1) * size])
            self.ops.append(Op("diagonal", low, high, _control_values(len(high), block),
                               payload=part))

    def _permutation(self, pattern: list[int], qubits: Qubits) -> None:
        """One permutation operation; beyond the engine's width, swaps moving each qubit to
        its place (Qiskit gives such a gate no definition)."""
        if len(qubits) <= MAX_DENSE:
            self.ops.append(Op("permutation", qubits, payload=_permutation(pattern)))
            return
        content = list(range(len(qubits)))  # content[k]: the input qubit now at position k
        for k, wanted in enumerate(pattern):
            there = content.index(wanted)
            if there != k:
                self.ops.append(Op("swap", (qubits[k], qubits[there])))
                content[k], content[there] = content[there], content[k]

    def _pauli(self, label: str, qubits: Qubits) -> None:
        letters = [(q, letter) for q, letter in zip(qubits, reversed(label)) if letter != "I"]
        if letters:
            self.ops.append(Op("pauli", tuple(q for q, _ in letters),
                               payload="".join(letter for _, letter in letters)))

    def _other(self, operation: Operation, qubits: Qubits) -> None:
        definition = getattr(operation, "definition", None)
        if definition is not None:
            self._definition(operation, definition, qubits)
            return
        reason = non_unitary_reason(operation)
        if reason is None and not isinstance(operation, Gate):
            reason = "it is not a unitary instruction"
        if reason is None and operation.params:
            reason = "it has parameters but neither a definition nor an operation of velquin's"
        if reason is None:
            try:
                matrix = operation.to_matrix()
            except Exception:  # noqa: BLE001 - Qiskit raises CircuitError or others
                reason = "it has neither a definition nor a matrix"
            else:
                self._dense(matrix, qubits)
                return
        raise Refused(reason)

    def _definition(self, operation: Operation, definition: QuantumCircuit, qubits: Qubits,
                    cache: bool = True) -> None:
        cache = cache and not getattr(operation, "params", ())
        entry = _DEFINITIONS.pop(id(operation), None) if cache else None
        if entry is not None and entry[0] is operation and entry[1] is definition:
            _DEFINITIONS[id(operation)] = entry  # the most recent now
            local_ops, local_phases = entry[2], entry[3]
        else:
            inner = Lowering(self.angles)
            inner.walk(definition)
            local_ops, local_phases = inner.ops, inner.phases
            if cache:
                _DEFINITIONS[id(operation)] = (operation, definition, local_ops, local_phases)
                if len(_DEFINITIONS) > _DEFINITIONS_KEPT:
                    _DEFINITIONS.popitem(last=False)
        if qubits == tuple(range(len(qubits))):  # a gate on the register's first qubits
            self.ops.extend(local_ops)
        else:
            where = dict(enumerate(qubits))
            self.ops.extend(op.renumbered(where) for op in local_ops)
        self.phases.extend(local_phases)

    def walk(self, definition: QuantumCircuit) -> None:
        """Adds a definition's instructions (on its own qubits, 0 to n - 1) and its phase."""
        index = {q: i for i, q in enumerate(definition.qubits)}
        for instruction in definition.data:
            name = instruction.name
            if name in IGNORED:
                continue
            qubits = tuple(map(index.__getitem__, instruction.qubits))
            if instruction.is_standard_gate():
                self.standard(name, qubits, instruction.params)
                continue
            if self.stored_unitary(instruction, qubits):
                continue
            operation = instruction.operation
            if name == "measure" or non_unitary_reason(operation) is not None:
                raise Refused(f"its definition holds '{name}', which is not unitary")
            try:
                self.lower(operation, qubits)
            except Refused as refused:
                if refused.reason.startswith("its definition holds"):
                    raise
                raise Refused(f"its definition holds '{name}': {refused.reason}") from None
        if definition.global_phase != 0:
            self.phases.append(self.angles.angle(definition.global_phase))


def _power(gate: Any, power: float) -> Any:
    """``gate`` to ``power``: an integer power repeats the gate (its inverse for a negative
    one); a fractional one is the gate's own power where that is exact (a rotation of another
    angle), or Qiskit's matrix of it for a gate without parameters (a fixed gate)."""
    if float(power).is_integer():
        count = int(power)
        if count == 0:
            return QuantumCircuit(gate.num_qubits).to_gate(label="identity")
        return (gate.inverse() if count < 0 else gate).repeat(abs(count))
    powered = gate.power(power)
    if isinstance(powered, UnitaryGate) and gate.params:
        raise Refused(f"the power {power} of '{gate.name}' has no exact form velquin computes "
                      "from its angles")
    return powered
