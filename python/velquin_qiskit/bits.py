"""Classical bits in Qiskit's packed layout (a ``BitArray``'s bytes, and counts keys).

From a sampled state: classical bit ``b`` of a register reads register qubit ``qubits[b]`` of
each outcome (bit ``q`` of a basis index is qubit ``q``, velquin_adapters.bits), or 0 where
that is None. Up to 64 bits are gathered as one integer per shot, the register's value, whose
big-endian bytes are the ``BitArray`` row; wider registers go through
``velquin_adapters.columns``. From a dynamic program's shots (one byte, 0 or 1, per classical
bit of the circuit): bit ``b`` of a register is the program's bit ``clbits[b]``.
"""

from __future__ import annotations

from collections.abc import Sequence

import numpy as np
import numpy.typing as npt
from velquin_adapters import columns

WORD = 64


def values(outcomes: npt.NDArray[np.uint64], qubits: Sequence[int | None]
           ) -> npt.NDArray[np.uint64]:
    """Each outcome's register value (at most 64 bits): bit b is qubit ``qubits[b]``."""
    if list(qubits) == list(range(len(qubits))):  # bit b is qubit b: a mask
        return outcomes & np.uint64((1 << len(qubits)) - 1)
    value = np.zeros(outcomes.shape, dtype=np.uint64)
    for bit, qubit in enumerate(qubits):
        if qubit is not None:
            value |= ((outcomes >> np.uint64(qubit)) & np.uint64(1)) << np.uint64(bit)
    return value


def pack(outcomes: npt.NDArray[np.uint64], qubits: Sequence[int | None]
         ) -> npt.NDArray[np.uint8]:
    """``outcomes.shape + (ceil(len(qubits) / 8),)`` bytes as Qiskit's ``BitArray`` holds
    them: big-endian, bit 0 the lowest bit of the last byte."""
    width = -(-len(qubits) // 8)
    if len(qubits) <= WORD:
        big = values(outcomes, qubits).astype(">u8").view(np.uint8)
        return np.ascontiguousarray(big.reshape(*outcomes.shape, 8)[..., 8 - width:])
    little = np.packbits(columns(outcomes, qubits), axis=-1, bitorder="little")
    return np.ascontiguousarray(little[..., ::-1])


def fold(bits: npt.NDArray[np.uint8]) -> npt.NDArray[np.uint64]:
    """Each shot's classical bits (at most 64) as one integer: bit b is the shot's bit b."""
    value = np.zeros(bits.shape[:-1], dtype=np.uint64)
    for b in range(bits.shape[-1]):
        value |= bits[..., b].astype(np.uint64) << np.uint64(b)
    return value


def pack_bits(bits: npt.NDArray[np.uint8], clbits: Sequence[int]) -> npt.NDArray[np.uint8]:
    """``bits.shape[:-1] + (ceil(len(clbits) / 8),)`` bytes as Qiskit's ``BitArray`` holds
    them, bit b being the shot's bit ``clbits[b]``."""
    little = np.packbits(bits[..., list(clbits)], axis=-1, bitorder="little")
    return np.ascontiguousarray(little[..., ::-1])
