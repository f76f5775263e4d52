"""PennyLane operations into velquin gates and a global phase.

A tape reaching the device holds only what ``velquin_qubit.toml`` declares:
velquin's sixteen gates, the adjoints velquin plays exactly, GlobalPhase and
Identity. Which qubit a wire becomes is the caller's choice (plan.py).
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping, Sequence

from pennylane.exceptions import DeviceError
from pennylane.operation import Operator
from pennylane.ops import Adjoint, Controlled
from velquin_adapters import Gate

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


def _unsupported(op: Operator) -> DeviceError:
    return DeviceError(f"Operator {op} is not one of velquin.qubit's operations; "
                       "the device's preprocessing decomposes it")


def _wires(op: Operator) -> Iterable[object]:
    # A controlled gate computes .wires afresh on every access (control + target, ~10 us):
    # the two parts are cheap.
    if isinstance(op, Controlled):
        return (*op.control_wires, *op.target_wires)
    return op.wires


def append_gates(ops: Iterable[Operator], qubit: Mapping[object, int], gates: list[Gate]) -> float:
    """Append ``ops`` as velquin gates to ``gates``; return the global phase they add.

    ``qubit`` maps a wire label to its qubit; it is asked for every wire of
    every operation, in order, so a mapping that numbers wires on first sight
    sees them all. The phase is the angle ``a`` of the factor ``exp(i a)`` that
    GlobalPhase operations multiply the state by (``GlobalPhase(phi)`` is
    ``exp(-i phi)``). Identity and GlobalPhase add no gate: a wire only they
    touch is idle.
    """
    phase = 0.0
    for op in ops:
        name = op.name
        inverse = False
        while isinstance(op, Adjoint):
            op, inverse = op.base, not inverse
            name = op.name
        rotation = ROTATIONS.get(name)
        if rotation is not None:
            angle = float(op.data[0])
            (wire,) = op.wires
            gates.append(Gate(rotation, (qubit[wire],), -angle if inverse else angle))
            continue
        fixed = FIXED.get(name)
        if fixed is not None:
            if inverse:
                fixed = INVERSE.get(fixed)
                if fixed is None:
                    raise _unsupported(op)
            gates.append(Gate(fixed, tuple(qubit[w] for w in _wires(op))))
        elif name == "GlobalPhase" or name == "Identity":
            if name == "GlobalPhase":
                angle = float(op.data[0])
                phase += angle if inverse else -angle
            for w in op.wires:  # no gate, but the wire exists (a whole-state measurement keeps it)
                qubit[w]
        else:
            raise _unsupported(op)
    return phase
