"""Pauli-sum observables on velquin's register, and their exact expectation values.

A ``cirq.PauliSum`` (or anything ``cirq.PauliSum.wrap`` takes) becomes a list
of terms ``(coefficient, {velquin qubit: "X" | "Y" | "Z"})``. A qubit the
circuit never touches is in |0>: a term with X or Y there is 0 and is
dropped, a Z there is 1. Each term's value comes from
``velquin_adapters.pauli_expectation``, which reads the state without copying
it (``cirq.PauliString.expectation_from_state_vector`` makes three copies of
the state per term).
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any, TypeAlias

import cirq
import numpy as np
import numpy.typing as npt
from velquin_adapters import pauli_expectation

Terms: TypeAlias = list[tuple[float, dict[int, str]]]
"""One observable: real coefficients and Pauli strings on velquin qubits (picklable)."""

_NAMES = {cirq.X: "X", cirq.Y: "Y", cirq.Z: "Z"}


def terms_of(observable: Any, where: Mapping[cirq.Qid, int]) -> Terms:
    """The terms of one observable on the register whose qubits ``where`` places."""
    terms: Terms = []
    for string in cirq.PauliSum.wrap(observable):
        coefficient = complex(string.coefficient)
        if abs(coefficient.imag) > 1e-4:  # Cirq's own bound for a Hermitian observable
            raise NotImplementedError(
                f"Cannot compute expectation value of a non-Hermitian PauliString <{string}>. "
                "Coefficient must be real.")
        paulis: dict[int, str] = {}
        for qubit, pauli in string.items():
            name = _NAMES[pauli]
            if qubit in where:
                paulis[where[qubit]] = name
            elif name != "Z":  # X or Y on |0> averages to 0
                break
        else:
            terms.append((coefficient.real, paulis))
    return terms


def expectations(observables: Sequence[Terms], state: npt.NDArray[np.complex128]) -> list[float]:
    """Each observable's expectation value on ``state``."""
    return [float(sum(c * pauli_expectation(state, paulis) for c, paulis in terms))
            for terms in observables]
