"""PennyLane operations into velquin gates and a global phase: a structure, then its angles.

A tape reaching the device holds only what ``velquin_qubit.toml`` declares:
velquin's sixteen gates, the adjoints velquin plays exactly, GlobalPhase and
Identity. What an operation becomes depends only on its ``signature``: its
name, whether it is inverted (an odd number of ``Adjoint`` wrappers) and its
wires. Its angle, if any, is read per tape. So the many tapes of a gradient,
one structure with shifted angles, are translated once (``translate``) and
then only bound (``Translation.bind``), and a cached translation is the one a
fresh translation would give: the signature holds all that translation reads
besides the angles. (Hyperparameters are not read: those of these gates do
not change what they do; CNOT, CY and CZ always control on |1>.)
Which qubit a wire becomes is the caller's choice (plan.py).
"""

from __future__ import annotations

from collections.abc import Hashable, Mapping, Sequence
from dataclasses import dataclass

from pennylane.exceptions import DeviceError
from pennylane.operation import Operator
from pennylane.ops import Adjoint, Controlled
from velquin_adapters import BoundGates, Gate

# PennyLane name -> velquin builder method, for gates without a parameter.
FIXED = {
    "PauliX": "x", "PauliY": "y", "PauliZ": "z", "Hadamard": "h", "S": "s", "T": "t", "SX": "sx",
    "CNOT": "cx", "SWAP": "swap", "CY": "cy", "CZ": "cz",
}
ROTATIONS = {"RX": "rx", "RY": "ry", "RZ": "rz"}
# The inverse of each fixed gate that velquin has (it has no SX dagger).
INVERSE = {
    "x": "x", "y": "y", "z": "z", "h": "h", "s": "sdg", "sdg": "s", "t": "tdg", "tdg": "t",
    "cx": "cx", "swap": "swap", "cy": "cy", "cz": "cz",
}

Signature = tuple[str, bool, tuple[Hashable, ...]]
"""What translation reads of one operation: name, inverted, wire labels."""

_PLAIN, _CONTROLLED, _ADJOINT = 0, 1, 2
_KINDS: dict[type, int] = {}
"""Operator class -> how its signature is read; filled on first sight of each class
(PennyLane's operator classes check isinstance through ABCMeta, which is slow per call)."""


def _kind(cls: type) -> int:
    kind = _KINDS.get(cls)
    if kind is None:
        kind = _ADJOINT if issubclass(cls, Adjoint) else (
            _CONTROLLED if issubclass(cls, Controlled) else _PLAIN)
        _KINDS[cls] = kind
    return kind


def _unwrapped(op: Operator) -> tuple[Operator, bool, int]:
    """The operation inside any Adjoint wrappers, whether they invert it, and its kind."""
    inverse = False
    kind = _kind(type(op))
    while kind == _ADJOINT:
        op, inverse = op.base, not inverse
        kind = _kind(type(op))
    return op, inverse, kind


def signature(ops: Sequence[Operator]) -> tuple[Signature, ...]:
    """The signature of each operation: with the wires, the key of a cached translation."""
    kinds = _KINDS
    out = []
    for op in ops:
        kind = kinds.get(type(op))
        inverse = False
        if kind != _PLAIN and kind != _CONTROLLED:  # not seen yet, or an adjoint
            op, inverse, kind = _unwrapped(op)
        # Controlled.wires rebuilds the wires on each access; its parts are stored.
        wires = (op.control_wires.labels + op.target_wires.labels if kind == _CONTROLLED
                 else op.wires.labels)
        out.append((op.name, inverse, wires))
    return tuple(out)


def _unsupported(op: Operator) -> DeviceError:
    return DeviceError(f"Operator {op} is not one of velquin.qubit's operations; "
                       "the device's preprocessing decomposes it")


@dataclass(frozen=True, slots=True)
class Translation:
    """Operations as velquin gates, their angles still to be read from the operations.

    ``gates[slot]`` takes the angle of ``ops[op]``, negated when ``negate``, for
    each ``(slot, op, negate)`` in ``angles``; each ``(op, inverse)`` in ``phases``
    adds ``ops[op]``'s GlobalPhase angle to the global phase (see ``bind``).
    """

    gates: list[Gate]
    angles: tuple[tuple[int, int, bool], ...]
    phases: tuple[tuple[int, bool], ...]

    def with_gates(self, gates: list[Gate]) -> Translation:
        """The same translation on renumbered ``gates`` (same order and length)."""
        return Translation(gates, self.angles, self.phases)

    def bind(self, ops: Sequence[Operator]) -> tuple[Sequence[Gate], float]:
        """The gates with the angles of ``ops`` (operations of this translation's signature)
        and the global phase they add: the angle ``a`` of the factor ``exp(i a)`` that
        GlobalPhase operations multiply the state by (``GlobalPhase(phi)`` is ``exp(-i phi)``)."""
        phase = 0.0
        for k, inverse in self.phases:  # in the order of the operations
            angle = float(ops[k].data[0])
            phase += angle if inverse else -angle
        if not self.angles:
            return self.gates, phase
        values = []
        for _, k, negate in self.angles:
            angle = float(ops[k].data[0])
            values.append(-angle if negate else angle)
        return BoundGates(self.gates, [slot for slot, _, _ in self.angles], values), phase


def translate(ops: Sequence[Operator], signatures: Sequence[Signature],
              qubit: Mapping[Hashable, int]) -> Translation:
    """The translation of ``ops`` (whose signatures are ``signatures``); ``qubit`` maps a
    wire label to its qubit. Identity and GlobalPhase add no gate: a wire only they touch
    is idle. Rotations hold angle 0.0 until bound."""
    gates: list[Gate] = []
    angles: list[tuple[int, int, bool]] = []
    phases: list[tuple[int, bool]] = []
    for k, (name, inverse, wires) in enumerate(signatures):
        rotation = ROTATIONS.get(name)
        if rotation is not None:
            (wire,) = wires
            angles.append((len(gates), k, inverse))
            gates.append(Gate(rotation, (qubit[wire],), 0.0))
            continue
        fixed = FIXED.get(name)
        if fixed is not None:
            if inverse:
                fixed = INVERSE.get(fixed)
                if fixed is None:
                    raise _unsupported(_unwrapped(ops[k])[0])
            gates.append(Gate(fixed, tuple(qubit[w] for w in wires)))
        elif name == "GlobalPhase":
            phases.append((k, inverse))
        elif name != "Identity":
            raise _unsupported(_unwrapped(ops[k])[0])
    return Translation(gates, tuple(angles), tuple(phases))
