"""Classical bits in Qiskit's packed layout."""

from __future__ import annotations

from collections.abc import Sequence

import numpy as np
import numpy.typing as npt


def pack(bits: npt.NDArray[np.uint8], columns: Sequence[int | None]) -> npt.NDArray[np.uint8]:
    """Shots packed as Qiskit's BitArray holds them: ``(shots, ceil(len(columns) / 8))`` bytes.

    Classical bit ``b`` is column ``columns[b]`` of ``bits`` (shots x columns),
    or 0 where that is None. Bytes are big-endian and bit 0 is the lowest bit
    of the last byte, so a row read as one integer is the bits' value.
    """
    shots, width = bits.shape[0], len(columns)
    padded = np.zeros((shots, -width % 8 + width), dtype=np.uint8)
    for offset, column in enumerate(reversed(columns)):  # bit width - 1 first
        if column is not None:
            padded[:, -width % 8 + offset] = bits[:, column]
    return np.packbits(padded, axis=1)
