"""PennyLane operations into velquin gates, and wire labels into velquin qubits.

A tape reaching the device holds only what ``velquin_qubit.toml`` declares:
velquin's sixteen gates, the adjoints velquin plays exactly, GlobalPhase and
Identity. The wires kept for a tape get positions 0..r-1 in the tape's order,
and position p is velquin qubit r - 1 - p. PennyLane reads a state index with
its first wire as the most significant bit and velquin with qubit 0 as the
least significant, so under this map velquin's amplitude array is PennyLane's
state as it is: no transposition, no copy.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping, Sequence

from pennylane.exceptions import DeviceError
from pennylane.operation import Operator
from pennylane.ops import Adjoint
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

    ``qubit`` maps a wire label to its velquin qubit. The phase is the angle
    ``a`` of the factor ``exp(i a)`` that GlobalPhase operations multiply the
    state by (``GlobalPhase(phi)`` is ``exp(-i phi)``).
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
            gates.append(Gate(rotation, (qubit[op.wires[0]],), -angle if inverse else angle))
            continue
        fixed = FIXED.get(name)
        if fixed is not None:
            if inverse:
                fixed = INVERSE.get(fixed)
                if fixed is None:
                    raise _unsupported(op)
            gates.append(Gate(fixed, tuple(qubit[w] for w in op.wires)))
        elif name == "GlobalPhase":
            angle = float(op.data[0])
            phase += angle if inverse else -angle
        elif name != "Identity":
            raise _unsupported(op)
    return phase


def qubit_map(kept: Sequence[object]) -> dict[object, int]:
    """Wire label -> velquin qubit, for wires kept in this order (the first is the top qubit)."""
    top = len(kept) - 1
    return {wire: top - position for position, wire in enumerate(kept)}
