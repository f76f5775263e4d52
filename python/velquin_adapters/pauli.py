"""Expectation values of Pauli strings on velquin's state vector, without a copy of it.

For P = i^(number of Y) X^x Z^z (x the qubits under X or Y, z those under Y or Z),
P|j> = i^nY (-1)^popcount(j & z) |j ^ x>, so

    <psi|P|psi> = i^nY sum_j conj(psi[j ^ x]) psi[j] (-1)^popcount(j & z).

The sum runs over blocks of 2^16 amplitudes (1 MiB; the last ``BLOCK_QUBITS``
qubits), so the temporaries are a block each, never a second state. Block r
pairs with block r ^ (x >> 16), and inside a block index i pairs with
i ^ (x & 0xffff). The blocking is fixed, so the result is the same on every run.
"""

from __future__ import annotations

from collections.abc import Mapping

import numpy as np
import numpy.typing as npt

BLOCK_QUBITS = 16


def _parity(values: npt.NDArray[np.int64]) -> npt.NDArray[np.int64]:
    """popcount(v) mod 2, element-wise, for values below 2^32."""
    values = values ^ (values >> 16)
    values ^= values >> 8
    values ^= values >> 4
    values ^= values >> 2
    values ^= values >> 1
    return values & 1


def pauli_expectation(state: npt.NDArray[np.complex128], paulis: Mapping[int, str]) -> float:
    """Re <state|P|state> for the Pauli string ``paulis`` (qubit index -> "X", "Y" or "Z").

    ``state`` is a velquin state vector (qubit q is bit q of an index); qubits
    absent from ``paulis`` carry the identity. The imaginary part, zero for
    every Hermitian P, is dropped.
    """
    flip = sign = n_y = 0
    for qubit, pauli in paulis.items():
        if pauli not in ("X", "Y", "Z"):
            raise ValueError(f"unknown Pauli {pauli!r} on qubit {qubit}")
        if pauli != "Z":
            flip |= 1 << qubit
        if pauli != "X":
            sign |= 1 << qubit
        n_y += pauli == "Y"
    block = min(state.size, 1 << BLOCK_QUBITS)
    if flip >= state.size or sign >= state.size:
        raise ValueError("the Pauli string acts on a qubit outside the state")
    rows = state.reshape(-1, block)
    inner = np.arange(block, dtype=np.int64)
    partner = inner ^ (flip & (block - 1))
    signs = 1.0 - 2.0 * _parity(inner & (sign & (block - 1))).astype(np.float64)
    high_flip, high_sign = flip // block, sign // block
    total = 0j
    for r in range(rows.shape[0]):
        paired = rows[r ^ high_flip][partner]
        part = complex(np.sum(np.conj(paired) * rows[r] * signs))
        total += -part if bin(r & high_sign).count("1") & 1 else part
    return (total * 1j ** (n_y % 4)).real
