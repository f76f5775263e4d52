"""What the device works out once per observable object: Pauli-sum matrices, support checks.

A gradient measures one observable object on many tapes (161 per step of an
80-parameter ansatz under parameter-shift). PennyLane's ``measure`` applies a
Pauli sum to the state term by term on each of them (about 1.4 ms for 10 terms
on 10 wires); its sparse matrix, summed once from PennyLane's own per-word
matrices, gives ``<psi|H|psi>`` in tens of microseconds. The product is the
one PennyLane's ``csr_dot_products`` forms for other sparse observables.
Likewise PennyLane's check that an observable is supported walks the whole sum
(every factor of every term) on each tape; its answer is kept per object.
Entries hold their observable, so its id cannot be reused while it is kept.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence

from pennylane.operation import Operator
from pennylane.ops import Sum
from scipy.sparse import csr_matrix

from .recent import Recent

LIMIT = 1 << 22
"""Most stored entries (2^wires per Pauli word) a matrix may have: about 100 MB."""
KEEP = 8
"""Observables whose matrices, or answers, are kept (the most recent)."""


class SparseObservables:
    """The matrix of a Pauli sum on given wires, from a small cache keyed by the object."""

    def __init__(self) -> None:
        self._entries: Recent[tuple[Operator, tuple[object, ...], csr_matrix]] = Recent(KEEP)

    def matrix(self, obs: Operator, wires: Sequence[object]) -> csr_matrix | None:
        """The sparse matrix of ``obs`` with ``wires`` as its wire order (the first wire the
        most significant bit), or None: not a sum of Pauli words, or too large to store."""
        wires = tuple(wires)
        entry = self._entries.get(id(obs))
        if entry is not None and entry[0] is obs and entry[1] == wires:
            return entry[2]
        if not isinstance(obs, Sum):
            return None
        sentence = obs.pauli_rep
        if sentence is None or len(sentence) == 0 or len(sentence) << len(wires) > LIMIT:
            return None
        order = list(wires)
        matrix = sum(word.to_mat(wire_order=order, format="csr", coeff=coeff)
                     for word, coeff in sentence.items())
        # The entry holds the observable, so its id cannot be reused while it is here.
        self._entries.add(id(obs), (obs, wires, matrix))
        return matrix


def remembered(supported: Callable[[Operator], bool]) -> Callable[[Operator], bool]:
    """``supported``, answering again from memory for the last KEEP observable objects."""
    answers: Recent[tuple[Operator, bool]] = Recent(KEEP)

    def check(obs: Operator) -> bool:
        entry = answers.get(id(obs))
        if entry is not None and entry[0] is obs:
            return entry[1]
        return answers.add(id(obs), (obs, supported(obs)))[1]

    return check
