"""What the device works out once per observable object: Pauli sums in the engine's form,
support checks.

A gradient measures one observable object on many tapes (241 per step of a
120-parameter ansatz under parameter-shift). The engine takes a sum of Pauli
words as three arrays (velquin_adapters' ``PauliSum``) and evaluates it for
every tape's angles in one call; the arrays are made once per observable object
and set of kept wires. Likewise PennyLane's check that an observable is
supported walks the whole sum (every factor of every term) on each tape; its
answer is kept per object. Entries hold their observable, so its id cannot be
reused while it is kept.
"""

from __future__ import annotations

from collections.abc import Callable, Hashable, Sequence

from pennylane.operation import Operator
from velquin_adapters import PauliSum

from .recent import Recent

KEEP = 8
"""Observables whose forms, or answers, are kept (the most recent)."""


class PauliSums:
    """The engine's form of an observable on given kept wires, from a small cache."""

    def __init__(self) -> None:
        self._entries: Recent[tuple[Operator, tuple[Hashable, ...], PauliSum | None]] = Recent(KEEP)

    def of(self, obs: Operator, kept: Sequence[Hashable]) -> PauliSum | None:
        """``obs`` as a Pauli sum on the register whose qubit ``n-1-p`` holds ``kept[p]``;
        None when it is not a sum of Pauli words with real coefficients (a Hermitian
        observable, whose value is real)."""
        kept = tuple(kept)
        entry = self._entries.get(id(obs))
        if entry is not None and entry[0] is obs and entry[1] == kept:
            return entry[2]
        form = _pauli_sum(obs, kept)
        # The entry holds the observable, so its id cannot be reused while it is here.
        self._entries.add(id(obs), (obs, kept, form))
        return form


def _pauli_sum(obs: Operator, kept: tuple[Hashable, ...]) -> PauliSum | None:
    sentence = obs.pauli_rep
    if sentence is None:
        return None
    top = len(kept) - 1
    qubit = {wire: top - p for p, wire in enumerate(kept)}
    terms = []
    for word, coefficient in sentence.items():
        value = complex(coefficient)
        if value.imag != 0:
            return None
        terms.append((value.real, {qubit[w]: letter for w, letter in word.items()}))
    return PauliSum.of(terms)


def remembered(supported: Callable[[Operator], bool]) -> Callable[[Operator], bool]:
    """``supported``, answering again from memory for the last KEEP observable objects."""
    answers: Recent[tuple[Operator, bool]] = Recent(KEEP)

    def check(obs: Operator) -> bool:
        entry = answers.get(id(obs))
        if entry is not None and entry[0] is obs:
            return entry[1]
        return answers.add(id(obs), (obs, supported(obs)))[1]

    return check
