"""Gate lists shared by every simulator, so each one runs exactly the same work.

Qubit 0 is the least significant bit of a basis index; adapters translate to
their simulator's own order.
"""
from __future__ import annotations

import math
import random
from typing import NamedTuple


class Op(NamedTuple):
    name: str
    qubits: tuple[int, ...]
    theta: float | None = None

    def label(self) -> str:
        qs = ",".join(str(q) for q in self.qubits)
        return f"{self.name}({qs})"


SINGLE_QUBIT_GATES = ("h", "rz", "x", "sx", "ry")
TWO_QUBIT_GATES = ("cx", "cz", "swap", "cy")
KERNEL_GATES = ("h_cpp", "x_cpp", "cx_cpp")
ANGLE = 0.3


def base_name(name: str) -> str:
    """The plain gate behind a kernel-backed variant (h_cpp -> h)."""
    return name[:-4] if name.endswith("_cpp") else name


def single_qubit_positions(n: int) -> list[int]:
    return sorted({0, 1, n // 2, n - 1})


def two_qubit_pairs(n: int) -> list[tuple[int, int]]:
    pairs = [(0, 1), (0, n - 1), (n - 1, 0), (n // 2 - 1, n // 2)]
    return list(dict.fromkeys(pairs))


def gate_ops(n: int) -> list[tuple[str, Op]]:
    """Every single-gate case as (workload, op)."""
    cases = []
    for name in SINGLE_QUBIT_GATES:
        theta = ANGLE if name in ("rz", "ry") else None
        for q in single_qubit_positions(n):
            cases.append(("1q gate", Op(name, (q,), theta)))
    for name in TWO_QUBIT_GATES:
        for pair in two_qubit_pairs(n):
            cases.append(("2q gate", Op(name, pair)))
    for name in KERNEL_GATES:
        if name == "cx_cpp":
            for pair in two_qubit_pairs(n):
                cases.append(("2q gate", Op(name, pair)))
        else:
            for q in single_qubit_positions(n):
                cases.append(("1q gate", Op(name, (q,))))
    return cases


def uniform_superposition(n: int) -> list[Op]:
    return [Op("h", (q,)) for q in range(n)]


def random_layers(n: int, layers: int, seed: int = 2024) -> list[Op]:
    """Per layer: rx and rz on every qubit, then cx on a brick pattern."""
    rng = random.Random(seed * 1000 + n)
    ops: list[Op] = []
    for layer in range(layers):
        for q in range(n):
            ops.append(Op("rx", (q,), rng.uniform(0.0, 2.0 * math.pi)))
            ops.append(Op("rz", (q,), rng.uniform(0.0, 2.0 * math.pi)))
        for q in range(layer % 2, n - 1, 2):
            ops.append(Op("cx", (q, q + 1)))
    return ops


def hardware_efficient(n: int, layers: int, seed: int = 2025) -> list[Op]:
    """The variational ansatz of many algorithms: per layer ry and rz on every
    qubit, then a ladder of cz on neighbours (0,1), (1,2), ..., (n-2,n-1)."""
    rng = random.Random(seed * 1000 + n)
    ops: list[Op] = []
    for _ in range(layers):
        for q in range(n):
            ops.append(Op("ry", (q,), rng.uniform(0.0, 2.0 * math.pi)))
            ops.append(Op("rz", (q,), rng.uniform(0.0, 2.0 * math.pi)))
        ops.extend(Op("cz", (q, q + 1)) for q in range(n - 1))
    return ops


def controlled_phase(control: int, target: int, phi: float) -> list[Op]:
    """diag(1, 1, 1, e^{i phi}) up to a global phase, from rz and cx."""
    return [
        Op("rz", (control,), phi / 2.0),
        Op("rz", (target,), phi / 2.0),
        Op("cx", (control, target)),
        Op("rz", (target,), -phi / 2.0),
        Op("cx", (control, target)),
    ]


def qft_like(n: int) -> list[Op]:
    """The quantum Fourier transform without its final swaps."""
    ops: list[Op] = []
    for j in reversed(range(n)):
        ops.append(Op("h", (j,)))
        for k in reversed(range(j)):
            ops.extend(controlled_phase(k, j, math.pi / 2 ** (j - k)))
    return ops


def sampling_angles(n: int, seed: int = 7) -> list[float]:
    """ry angles of a product state whose outcome weights all differ."""
    rng = random.Random(seed * 1000 + n)
    return [rng.uniform(0.3, 2.8) for _ in range(n)]


def sampling_prep(n: int) -> list[Op]:
    return [Op("ry", (q,), a) for q, a in enumerate(sampling_angles(n))]


CALL_OPS = (Op("x", (0,)), Op("h", (0,)), Op("rz", (0,), ANGLE), Op("cx", (0, 1)))
