"""``simulate``'s one trajectory of a dynamic circuit, drawn as ``cirq.Simulator`` draws one,
every state computed by the engine.

The steps run in order, each under its condition (evaluated on the bits so far). A mixture
draws its branch by its probabilities and plays it. A measurement draws its outcome from the
engine's probabilities of the state so far; a reset draws its qubit's value the same way; a
Kraus channel draws operator ``i`` with probability ``<psi|K_i^dagger K_i|psi>`` (an engine
expectation value). The state then continues as ``P psi / sqrt(p)``: the projector or Kraus
operator scaled by the square root of the drawn probability is one more engine operation
(the engine takes any matrix), so the state so far is always the engine's state of the
operations played so far, and the final state is the engine's, global phase included.
Each draw takes one engine run of the operations before it.

The draws come from a NumPy generator seeded by the sweep point's seeds
(``velquin_adapters.job_seeds(root, (point,)).rng()``).
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

import numpy as np
import numpy.typing as npt
import velquin_adapters as va
from velquin_adapters import Angle, Op, Program

_PROJECT_ONE = np.array([[0.0, 1.0], [0.0, 0.0]], dtype=np.complex128)  # |0><1|: reset from 1


@dataclass(frozen=True)
class Dynamic:
    """A dynamic circuit's steps on ``n_qubits`` with its global phase (picklable)."""

    n_qubits: int
    steps: tuple[Op, ...]
    n_params: int
    phase: Angle | None
    n_clbits: int


def holds(tokens: Sequence[tuple[Any, ...]], bits: npt.NDArray[np.uint8]) -> bool:
    """Whether an engine condition (its postfix tokens) is non-zero on ``bits``."""
    stack: list[int] = []
    for token in tokens:
        word = token[0]
        if word == "bit":
            stack.append(int(bits[token[1]]))
        elif word == "register":
            stack.append(sum(int(bits[b]) << i for i, b in enumerate(token[1])))
        elif word == "const":
            stack.append(int(token[1]))
        elif word == "not":
            stack.append(int(not stack.pop()))
        elif word == "bit_not":
            stack.append(~stack.pop() & ((1 << token[1]) - 1))
        else:
            right, left = stack.pop(), stack.pop()
            stack.append(_BINARY[word](left, right, token[1] if len(token) > 1 else 64))
    return stack.pop() != 0


_BINARY: dict[str, Any] = {
    "and": lambda a, b, w: int(bool(a) and bool(b)), "or": lambda a, b, w: int(bool(a) or bool(b)),
    "bit_and": lambda a, b, w: a & b, "bit_or": lambda a, b, w: a | b,
    "bit_xor": lambda a, b, w: a ^ b, "eq": lambda a, b, w: int(a == b),
    "ne": lambda a, b, w: int(a != b), "lt": lambda a, b, w: int(a < b),
    "le": lambda a, b, w: int(a <= b), "gt": lambda a, b, w: int(a > b),
    "ge": lambda a, b, w: int(a >= b), "shr": lambda a, b, w: a >> b,
    "shl": lambda a, b, w: (a << b) & ((1 << w) - 1),
    "add": lambda a, b, w: (a + b) & ((1 << w) - 1),
    "sub": lambda a, b, w: (a - b) & ((1 << w) - 1),
}


def _draw(rng: np.random.Generator, weights: Sequence[float] | npt.NDArray[np.float64]) -> int:
    """An index drawn with probability proportional to ``weights`` (never one of weight 0)."""
    cumulative = np.cumsum(weights)
    index = int(np.searchsorted(cumulative, rng.random() * cumulative[-1], side="right"))
    return min(index, len(weights) - 1)


def _plain(op: Op) -> Op:
    return op._replace(dynamic=()) if op.dynamic else op


def run(job: tuple[Dynamic, npt.NDArray[np.float64], int]
        ) -> tuple[npt.NDArray[np.complex128], npt.NDArray[np.uint8]]:
    """One trajectory of ``job`` (the circuit, one row of parameter values, a NumPy seed): the
    final state and the classical bits."""
    circuit, row, seed = job
    rng = np.random.default_rng(seed)
    n = circuit.n_qubits
    played: list[Op] = []
    bits = np.zeros(circuit.n_clbits, dtype=np.uint8)

    def so_far() -> Program:
        return Program(n, list(played), circuit.n_params)

    for op in circuit.steps:
        condition = op.field("condition", None)
        if condition is not None and not holds(condition, bits):
            continue
        if op.name == "measure":
            probabilities = va.probabilities(so_far(), row, op.qubits)
            outcome = _draw(rng, probabilities)
            diagonal = np.zeros(len(probabilities), dtype=np.complex128)
            diagonal[outcome] = 1 / math.sqrt(probabilities[outcome])
            played.append(Op("diagonal", op.qubits, payload=diagonal))
            readout = op.field("probabilities", None)
            for j, clbit in enumerate(op.field("clbits", ())):
                bit = outcome >> j & 1
                if readout is not None and rng.random() < readout[bit]:
                    bit ^= 1
                bits[clbit] = bit
        elif op.name == "reset":
            for qubit in op.qubits:
                probabilities = va.probabilities(so_far(), row, (qubit,))
                value = _draw(rng, probabilities)
                matrix = np.diag([1.0, 0.0]).astype(np.complex128) if value == 0 else \
                    _PROJECT_ONE.copy()
                matrix *= 1 / math.sqrt(probabilities[value])
                played.append(Op("unitary", (qubit,), payload=matrix))
        elif op.name == "mixture":
            branch = op.field("branches", ())[_draw(rng, op.field("probabilities", ()))]
            played.extend(_plain(o) for o in branch)
        elif op.name == "kraus":
            operators = op.field("kraus", ())
            weights = so_far().compiled().expectations(
                row[None, :], [(op.qubits, np.ascontiguousarray(k.conj().T @ k))
                               for k in operators])[0].real
            chosen = _draw(rng, np.maximum(weights, 0.0))
            scaled = np.ascontiguousarray(operators[chosen] / math.sqrt(weights[chosen]))
            played.append(Op("unitary", op.qubits, payload=scaled))
        else:
            played.append(_plain(op))
    final = Program(n, played, circuit.n_params, circuit.phase)
    return va.state(final, row), bits
