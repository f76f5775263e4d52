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


def append_gates(ops: Iterable[Operator], qubit: Mapping[object, int], gates: list[Gate]) -> float:
    """Append ``ops`` as velquin gates to ``gates``; return the global phase they add.

    ``qubit`` maps a wire label to its qubit. The phase is the angle ``a`` of
    the factor ``exp(i a)`` that GlobalPhase operations multiply the state by
    (``GlobalPhase(phi)`` is ``exp(-i phi)``). Identity and GlobalPhase add no
    gate: a wire only they touch is idle.
    """
    # This runs for every tape of a gradient: one shared qubit tuple per wire, and a
    # controlled gate's wires from its parts (Controlled.wires rebuilds them on each access).
    single = {wire: (q,) for wire, q in qubit.items()}
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
            gates.append(Gate(rotation, single[wire], -angle if inverse else angle))
            continue
        fixed = FIXED.get(name)
        if fixed is not None:
            if inverse:
                fixed = INVERSE.get(fixed)
                if fixed is None:
                    raise _unsupported(op)
            if isinstance(op, Controlled):
                (control,), (target,) = op.control_wires, op.target_wires
                gates.append(Gate(fixed, (qubit[control], qubit[target])))
            elif len(op.wires) == 1:
                gates.append(Gate(fixed, single[op.wires[0]]))
            else:
                gates.append(Gate(fixed, tuple(qubit[w] for w in op.wires)))
        elif name == "GlobalPhase":
            angle = float(op.data[0])
            phase += angle if inverse else -angle
        elif name != "Identity":
            raise _unsupported(op)
    return phase
