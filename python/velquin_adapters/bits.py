"""The one bit-order rule: which bit of a basis index holds which qubit.

Qubit ``q`` of a register is bit ``q`` of a basis index (velquin's order, and
Qiskit's). Frameworks that list wires with the first as the most significant
bit (PennyLane, Cirq) reverse their list onto the register: wire ``k`` of ``n``
is qubit ``n - 1 - k``.
"""

from __future__ import annotations

from collections.abc import Sequence

import numpy as np
import numpy.typing as npt


def big_endian_qubits(count: int) -> list[int]:
    """The register qubit of each of ``count`` wires listed most significant first."""
    return list(range(count - 1, -1, -1))


def columns(outcomes: npt.NDArray[np.uint64], qubits: Sequence[int | None]
            ) -> npt.NDArray[np.uint8]:
    """Per-shot bits: ``out[..., k]`` is the bit of register qubit ``qubits[k]`` in each
    outcome (0 where it is None, a qubit nothing acts on)."""
    out = np.zeros((*outcomes.shape, len(qubits)), dtype=np.uint8)
    for k, qubit in enumerate(qubits):
        if qubit is not None:
            out[..., k] = (outcomes >> np.uint64(qubit)) & np.uint64(1)
    return out
