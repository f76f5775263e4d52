"""PennyLane operations into one engine program: a structure, translated once, and its rows.

What an operation becomes depends only on its ``signature``: its class, its
wires and, where they change what it does, whether ``Adjoint`` wrappers invert
it, its controls and their values, a Pauli word or a matrix. Its angles never
enter: they are the program's parameters, one slot per angle in operation
order (``Translation.sources``), read from each tape (``row``). So the many
tapes of a gradient, one structure with shifted angles, are translated once
and run as one program with one row of angles each, and a cached translation
is the one a fresh translation would give.
"""

from __future__ import annotations

from collections.abc import Hashable, Mapping, Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt
from pennylane.exceptions import DeviceError
from pennylane.operation import Operator
from pennylane.ops import Adjoint, Controlled
from velquin_adapters import Angle, Op, UnsupportedError, add, parameter

from .gates import GATES, LEADING_CONTROL


class UnsupportedOperationError(DeviceError, UnsupportedError):  # type: ignore[misc]
    """A circuit holds something velquin.qubit cannot simulate exactly; the text names it."""


Signature = tuple[object, ...]
"""What translation reads of one operation (see the module docstring)."""

_PLAIN, _CONTROLLED, _ADJOINT = 0, 1, 2
_WRAPPERS: dict[type, int] = {}
"""Operator class -> plain, Controlled or Adjoint; filled on first sight of each class
(PennyLane's operator classes check isinstance through ABCMeta, which is slow per call)."""

_SIMPLE, _FIXED_CONTROLS, _GENERAL = 0, 1, 2
_SIGNATURE_KINDS: dict[type, int] = {}
"""Operator class -> how its signature is read: wires alone; the controls and target of a
gate that always controls on 1 (CNOT, CRX, Toffoli, ...); or everything (wrappers, and
gates with a word or a matrix)."""

_FIXED_CONTROL_NAMES = frozenset({"CNOT", "CY", "CZ", "CH", "CSWAP", "CCZ", "Toffoli", "CRX",
                                  "CRY", "CRZ", "CRot", "ControlledPhaseShift"})
MATRIX_GATES = frozenset({"QubitUnitary", "DiagonalQubitUnitary"})
_READS_MORE = MATRIX_GATES | {"PauliRot"}


def _wrapper(cls: type) -> int:
    kind = _WRAPPERS.get(cls)
    if kind is None:
        kind = _ADJOINT if issubclass(cls, Adjoint) else (
            _CONTROLLED if issubclass(cls, Controlled) else _PLAIN)
        _WRAPPERS[cls] = kind
    return kind


def _signature_kind(op: Operator) -> int:
    cls = type(op)
    kind = _SIGNATURE_KINDS.get(cls)
    if kind is None:
        wrapper = _wrapper(cls)
        if wrapper == _PLAIN:
            kind = _GENERAL if op.name in _READS_MORE else _SIMPLE
        else:  # a named controlled gate's class is its own; Controlled(...) shares one class
            kind = (_FIXED_CONTROLS if op.name in _FIXED_CONTROL_NAMES
                    and cls.__name__ == op.name else _GENERAL)
        _SIGNATURE_KINDS[cls] = kind
    return kind


@dataclass(frozen=True, slots=True)
class Unwrapped:
    """An operation as its innermost base, inverted or not, under controls (outermost first)."""

    base: Operator
    inverse: bool
    controls: tuple[Hashable, ...]
    values: tuple[int, ...]

    @property
    def wires(self) -> tuple[Hashable, ...]:
        """The operation's wires in PennyLane's order: controls, then the base's."""
        labels: tuple[Hashable, ...] = self.base.wires.labels
        return self.controls + labels


def unwrap(op: Operator) -> Unwrapped:
    inverse = False
    controls: tuple[Hashable, ...] = ()
    values: tuple[int, ...] = ()
    while True:
        wrapper = _wrapper(type(op))
        if wrapper == _ADJOINT:
            inverse = not inverse
        elif wrapper == _CONTROLLED:
            controls += op.control_wires.labels
            values += tuple(int(bool(v)) for v in op.control_values)
        else:
            return Unwrapped(op, inverse, controls, values)
        op = op.base


def _extra(base: Operator) -> object:
    if base.name == "PauliRot":
        return base.hyperparameters["pauli_word"]
    if base.name in MATRIX_GATES:
        matrix = np.asarray(base.data[0])
        return matrix.shape, matrix.dtype.str, matrix.tobytes()
    return None


def _wrapped_signature(op: Operator, kind: int) -> Signature:
    if kind == _FIXED_CONTROLS:
        # Controlled.wires rebuilds the wires on each access; its parts are stored.
        return type(op), op.control_wires.labels + op.target_wires.labels
    u = unwrap(op)
    return type(u.base), u.inverse, u.controls, u.values, u.base.wires.labels, _extra(u.base)


def signature(ops: Sequence[Operator], seen: dict[int, Signature] | None = None
              ) -> tuple[Signature, ...]:
    """Each operation's signature: with the measured wires, the key of a translation.

    ``seen`` holds the signatures of wrapped operations already read, by ``id``: the
    tapes of a gradient share most of their operation objects. It must not outlive them
    (a device keeps one per ``execute`` call).
    """
    kinds = _SIGNATURE_KINDS
    out: list[Signature] = []
    append = out.append
    for op in ops:
        kind = kinds.get(type(op))
        if kind == _SIMPLE:
            append((type(op), op.wires.labels))
            continue
        if kind is None:
            kind = _signature_kind(op)
            if kind == _SIMPLE:
                append((type(op), op.wires.labels))
                continue
        if seen is None:
            append(_wrapped_signature(op, kind))
            continue
        found = seen.get(id(op))
        if found is None:
            found = seen[id(op)] = _wrapped_signature(op, kind)
        append(found)
    return tuple(out)


def unsupported(op: Operator, reason: str) -> UnsupportedOperationError:
    return UnsupportedOperationError(f"velquin.qubit cannot simulate {op}: {reason}")


@dataclass(frozen=True, slots=True)
class Translation:
    """Operations as engine operations on qubits ``qubit[wire]``, angles as parameter slots.

    The parameters of a tape are the data of ``ops[k]`` for each ``k`` in ``sources``, in
    order (``row``); ``phase`` is the global phase as an expression of them.
    """

    ops: list[Op]
    n_params: int
    sources: tuple[int, ...]
    phase: Angle | None


def wire_order(ops: Sequence[Operator]) -> list[Hashable]:
    """The operations' wires in order of first appearance (as ``tape.wires`` lists them)."""
    return list(dict.fromkeys(w for op in ops for w in unwrap(op).wires))


def _controlled(op: Op, controls: tuple[int, ...], values: tuple[int, ...]) -> Op:
    if len(controls) == 1 and values == (1,) and not op.controls and op.name in LEADING_CONTROL:
        return Op(LEADING_CONTROL[op.name], controls + op.qubits)
    before = op.control_values or (1,) * len(op.controls)
    return Op(op.name, op.qubits, op.controls + controls, before + values, op.params, op.payload,
              op.phase)


def translate_one(op: Operator, qubit: Mapping[Hashable, int], slot: int
                  ) -> tuple[list[Op], Angle | None, int]:
    """One operation: its engine operations, the phase it adds to the global phase (None if
    none), and how many parameter slots from ``slot`` on its angles take."""
    u = unwrap(op)
    gate = GATES.get(u.base.name)
    if gate is None:
        raise unsupported(op, "it is not one of the device's operations; the device's "
                              "preprocessing decomposes it")
    if len(u.base.data) != gate.angles and gate.angles:
        raise unsupported(op, f"it has {len(u.base.data)} parameters, not {gate.angles}")
    params: tuple[Angle, ...] = ()
    if gate.angles:
        params = tuple(parameter(slot + j) for j in range(gate.angles))
    targets = tuple(qubit[w] for w in u.base.wires.labels)
    built, phase = gate.build(targets, params, u.inverse, u.base)
    controls = tuple(qubit[w] for w in u.controls)
    out: list[Op] = []
    if built is not None:
        out.append(_controlled(built, controls, u.values) if controls else built)
    if phase is not None and controls:  # a phase on the controls' subspace
        out.append(Op("global_phase", (), controls, u.values, (phase,)))
        phase = None
    return out, phase, gate.angles


def translate(ops: Sequence[Operator], qubit: Mapping[Hashable, int]) -> Translation:
    """The translation of ``ops``; ``qubit`` maps a wire label to its register qubit.

    Raises UnsupportedOperationError for an operation that is not the device's.
    """
    out: list[Op] = []
    phases: list[Angle] = []
    sources: list[int] = []
    slot = 0
    for k, op in enumerate(ops):
        built, phase, taken = translate_one(op, qubit, slot)
        out.extend(built)
        if phase is not None:
            phases.append(phase)
        if taken:
            sources.append(k)
            slot += taken
    return Translation(out, slot, tuple(sources), add(*phases) if phases else None)


def row(ops: Sequence[Operator], sources: Sequence[int]) -> list[object]:
    """The angles of ``ops`` in slot order (operations of the translated structure)."""
    return [x for k in sources for x in ops[k].data]


def real_rows(rows: list[list[object]], ops_of: Sequence[Sequence[Operator]],
              sources: Sequence[int]) -> npt.NDArray[np.float64]:
    """``rows`` as a float64 array; complex angles with no imaginary part are their real
    part (as default.qubit takes them), any other is refused naming its operation."""
    array = np.array(rows)
    if array.dtype == np.float64:
        return array
    if np.iscomplexobj(array):
        bad = np.argwhere(array.imag != 0)
        if bad.size:
            tape, slot = (int(x) for x in bad[0])
            raise unsupported(operation_of(ops_of[tape], sources, slot),
                              "its angle is complex; velquin.qubit takes real angles only")
        return np.ascontiguousarray(array.real)
    if array.dtype.kind in "biuf":
        return array.astype(np.float64)
    for tape, values in enumerate(rows):  # strings, objects: find the first that is no number
        for slot, value in enumerate(values):
            try:
                complex(value)  # type: ignore[call-overload]
            except (TypeError, ValueError):
                raise unsupported(operation_of(ops_of[tape], sources, slot),
                                  f"its angle {value!r} is not a number") from None
    return array.astype(np.float64)


def operation_of(ops: Sequence[Operator], sources: Sequence[int], slot: int) -> Operator:
    """The operation whose data fill parameter ``slot``."""
    for k in sources:
        count = len(ops[k].data)
        if slot < count:
            return ops[k]
        slot -= count
    raise IndexError(slot)
