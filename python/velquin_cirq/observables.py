"""Pauli-sum observables in the engine's form, on the register a program acts on.

A ``cirq.PauliSum`` (or anything ``cirq.PauliSum.wrap`` takes) becomes the engine's
``velquin_adapters.PauliSum`` on the qubits a layout keeps. A qubit of the order that no
operation touches is in |0> (``velquin_adapters.reduce_terms``): a term with X or Y there is
0 and is dropped, a Z there is 1. A qubit outside the order is refused, as Cirq refuses it.
"""

from __future__ import annotations

from collections.abc import Mapping
import cirq
import velquin_adapters as va

_NAMES = {cirq.X: "X", cirq.Y: "Y", cirq.Z: "Z"}


def pauli_sum(observable: cirq.PauliSum, where: Mapping[cirq.Qid, int], layout: va.Layout
              ) -> va.PauliSum:
    """``observable`` (wrapped by ``cirq.PauliSum.wrap``) on the register ``layout`` keeps of
    the qubits ``where`` places; refused, with Cirq's errors, where Cirq refuses it."""
    if any(abs(complex(string.coefficient).imag) > 1e-4 for string in observable):
        raise NotImplementedError(  # Cirq's own bound for a Hermitian observable, and its text
            f"Cannot compute expectation value of a non-Hermitian PauliString <{observable}>. "
            "Coefficient must be real.")
    terms: list[va.Term] = []
    for string in observable:
        word: dict[int, str] = {}
        for qubit, pauli in string.items():
            if qubit not in where:
                raise ValueError(f"the observable {observable} acts on {qubit}, which is not "
                                 "among the circuit's qubits or the qubit order")
            word[where[qubit]] = _NAMES[pauli]
        terms.append((complex(string.coefficient), word))
    return va.PauliSum.of(va.reduce_terms(terms, layout))
