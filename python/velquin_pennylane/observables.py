"""What the device works out once per observable object: Pauli sums in the engine's form,
an observable's parts for the engine's gradient, support checks.

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
from typing import NamedTuple

import numpy as np
import numpy.typing as npt
import pennylane as qml
from pennylane.operation import Operator
from pennylane.ops import SProd, Sum
from velquin_adapters import PauliSum

from .recent import Recent

MATRIX_WIRES = 10
"""The most wires the engine takes a matrix observable on."""

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


class MatrixObservable(NamedTuple):
    """A Hermitian matrix on register qubits in the engine's form: member bit ``i`` is
    ``qubits[i]`` (the observable's wires reversed)."""

    qubits: tuple[int, ...]
    matrix: npt.NDArray[np.complex128]

    def native(self) -> tuple[list[int], npt.NDArray[np.complex128]]:
        return list(self.qubits), self.matrix


Part = PauliSum | MatrixObservable
Parts = tuple[tuple[float, Part], ...]
"""An observable as ``sum(coefficient * part)``: its Pauli words as one Pauli sum, every
other term a matrix."""


def _leaves(obs: Operator, factor: float = 1.0) -> list[tuple[float, Operator]] | None:
    """``obs`` as real multiples of Pauli sums and of terms with a matrix on at most
    MATRIX_WIRES wires; None if it is not one."""
    if obs.pauli_rep is not None:
        return [(factor, obs)]
    if isinstance(obs, SProd):
        scalar = complex(qml.math.unwrap(obs.scalar))
        return None if scalar.imag else _leaves(obs.base, factor * scalar.real)
    if isinstance(obs, Sum):
        out: list[tuple[float, Operator]] = []
        for term in obs.operands:
            leaves = _leaves(term, factor)
            if leaves is None:
                return None
            out.extend(leaves)
        return out
    if obs.has_matrix and 0 < len(obs.wires) <= MATRIX_WIRES:
        return [(factor, obs)]
    return None


def differentiable(obs: Operator) -> bool:
    """Whether the engine's gradient takes ``obs``: real sums of Pauli words and of Hermitian
    terms on at most MATRIX_WIRES wires."""
    leaves = _leaves(obs)
    return leaves is not None and all(
        leaf.pauli_rep is None or all(complex(qml.math.unwrap(c)).imag == 0
                                      for c in leaf.pauli_rep.values())
        for _, leaf in leaves)


def _parts(obs: Operator, kept: tuple[Hashable, ...]) -> Parts:
    leaves = _leaves(obs)
    assert leaves is not None  # validated by differentiable()
    top = len(kept) - 1
    qubit = {wire: top - p for p, wire in enumerate(kept)}
    words: list[tuple[float, dict[int, str]]] = []
    parts: list[tuple[float, Part]] = []
    for factor, leaf in leaves:
        if leaf.pauli_rep is not None:
            words.extend((factor * complex(c).real, {qubit[w]: x for w, x in word.items()})
                         for word, c in leaf.pauli_rep.items())
        else:
            matrix = np.ascontiguousarray(qml.matrix(leaf, wire_order=leaf.wires),
                                          dtype=np.complex128)
            qubits = tuple(qubit[w] for w in reversed(leaf.wires.labels))
            parts.append((factor, MatrixObservable(qubits, matrix)))
    if words:
        parts.insert(0, (1.0, PauliSum.of(words)))
    return tuple(parts)


class GradientParts:
    """The engine's gradient form of an observable on given kept wires, from a small cache
    (the parts are the same objects for every tape measuring the observable object)."""

    def __init__(self) -> None:
        self._entries: Recent[tuple[Operator, tuple[Hashable, ...], Parts]] = Recent(KEEP)

    def of(self, obs: Operator, kept: Sequence[Hashable]) -> Parts:
        kept = tuple(kept)
        entry = self._entries.get(id(obs))
        if entry is not None and entry[0] is obs and entry[1] == kept:
            return entry[2]
        return self._entries.add(id(obs), (obs, kept, _parts(obs, kept)))[2]
