"""An estimator PUB's observables (Qiskit holds them as ``SparseObservable``) as the engine's
Pauli sums, on the register of the qubits the circuit acts on.

A qubit outside that register is in |0>: a term with X or Y there has value 0 and is dropped,
and a Z there is a factor 1. Qiskit's observables may also hold projectors (``+ - r l 0 1``);
velquin's engine takes Pauli sums only, and Qiskit's reference estimator misreads a leading
projector as a sign, so a projector is refused, naming it, rather than given either value.
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt
from qiskit.quantum_info import SparseObservable
from velquin_adapters import Layout, PauliSum

_LABEL = {int(term): term.label for term in SparseObservable.BitTerm}
_PAULI = 0b11  # X = 0b10, Y = 0b11, Z = 0b01; a projector sets a higher bit


def pauli_sum(observable: SparseObservable, layout: Layout, n_qubits: int, where: str
              ) -> PauliSum:
    """The observable on ``layout``'s register; raises ValueError, naming ``where``, for a
    projector."""
    terms = np.asarray(observable.bit_terms, dtype=np.uint8)
    indices = np.asarray(observable.indices, dtype=np.int64)
    boundaries = np.asarray(observable.boundaries, dtype=np.int64)
    coefficients = np.asarray(observable.coeffs, dtype=np.complex128)
    projector = np.flatnonzero(terms & ~np.uint8(_PAULI))
    if projector.size:
        k = int(projector[0])
        raise ValueError(
            f"{where} holds the projector '{_LABEL[int(terms[k])]}' on qubit {indices[k]}; "
            "velquin's estimator takes Pauli observables (I, X, Y, Z) only")
    position = np.full(n_qubits, -1, dtype=np.int64)
    position[list(layout.qubits)] = np.arange(len(layout.qubits))
    term = np.repeat(np.arange(coefficients.size), np.diff(boundaries))
    register = position[indices]
    flips = (terms >> 1) & 1 == 1
    signs = terms & 1 == 1
    idle = register < 0
    dropped = np.zeros(coefficients.size, dtype=bool)
    dropped[term[idle & flips]] = True
    flip = _masks(coefficients.size, term, register, ~idle & flips)
    sign = _masks(coefficients.size, term, register, ~idle & signs)
    keep = ~dropped
    return PauliSum(flip[keep], sign[keep], np.ascontiguousarray(coefficients[keep]))


def _masks(count: int, term: npt.NDArray[np.int64], register: npt.NDArray[np.int64],
           chosen: npt.NDArray[np.bool_]) -> npt.NDArray[np.uint64]:
    masks = np.zeros(count, dtype=np.uint64)
    np.bitwise_or.at(masks, term[chosen], np.left_shift(np.uint64(1),
                                                        register[chosen].astype(np.uint64)))
    return masks
