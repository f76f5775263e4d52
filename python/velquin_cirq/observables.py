"""Pauli-sum observables in the engine's form, on the register a program acts on.

A ``cirq.PauliSum`` (or anything ``cirq.PauliSum.wrap`` takes) becomes the engine's
``velquin_adapters.PauliSum`` on the qubits a layout keeps. A qubit no operation touches is
in |0> (``velquin_adapters.reduce_terms``): a term with X or Y there is 0 and is dropped, a Z
there is 1; a qubit outside the circuit counts as such a qubit (``cirq.Simulator`` refuses an
observable on it).
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

import cirq
import velquin_adapters as va

_NAMES = {cirq.X: "X", cirq.Y: "Y", cirq.Z: "Z"}


def pauli_sum(observable: Any, where: Mapping[cirq.Qid, int], layout: va.Layout) -> va.PauliSum:
    """``observable`` on the register ``layout`` keeps of the qubits ``where`` places."""
    outside: dict[cirq.Qid, int] = {}
    terms: list[va.Term] = []
    for string in cirq.PauliSum.wrap(observable):
        coefficient = complex(string.coefficient)
        if abs(coefficient.imag) > 1e-4:  # Cirq's own bound for a Hermitian observable
            raise NotImplementedError(
                f"Cannot compute expectation value of a non-Hermitian PauliString <{string}>. "
                "Coefficient must be real.")
        word: dict[int, str] = {}
        for qubit, pauli in string.items():
            index = where.get(qubit)
            if index is None:  # never in the register: an index no layout holds
                index = outside.setdefault(qubit, -1 - len(outside))
            word[index] = _NAMES[pauli]
        terms.append((coefficient, word))
    return va.PauliSum.of(va.reduce_terms(terms, layout))
