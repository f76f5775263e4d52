"""Pauli-sum observables as velquin's companion engine takes them, and their reduction onto
the qubits a circuit acts on.

A term is a coefficient and a Pauli word ``{qubit: "X" | "Y" | "Z"}`` (identity elsewhere).
The engine takes an observable as three arrays, one entry per term: ``flip`` (the qubits with
X or Y), ``sign`` (with Y or Z) and the complex coefficients; its value is the sum over the
terms, in order, of coefficient times <P>, each <P> summed in one fixed tree (the same bits at
any thread count).
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from .shrink import Layout

Term = tuple[complex, Mapping[int, str]]


@dataclass(frozen=True, slots=True)
class PauliSum:
    """One observable in the engine's form (see the module docstring)."""

    flip: npt.NDArray[np.uint64]
    sign: npt.NDArray[np.uint64]
    coefficients: npt.NDArray[np.complex128]

    @staticmethod
    def of(terms: Iterable[Term]) -> PauliSum:
        """The sum of ``terms``; raises ValueError for a letter other than X, Y or Z."""
        flips, signs, coefficients = [], [], []
        for coefficient, word in terms:
            flip = sign = 0
            for qubit, letter in word.items():
                if letter not in ("X", "Y", "Z"):
                    raise ValueError(f"unknown Pauli {letter!r} on qubit {qubit}")
                if letter != "Z":
                    flip |= 1 << qubit
                if letter != "X":
                    sign |= 1 << qubit
            flips.append(flip)
            signs.append(sign)
            coefficients.append(complex(coefficient))
        return PauliSum(np.array(flips, dtype=np.uint64), np.array(signs, dtype=np.uint64),
                        np.array(coefficients, dtype=np.complex128))

    def native(self) -> tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64],
                              npt.NDArray[np.complex128]]:
        return self.flip, self.sign, self.coefficients


def reduce_terms(terms: Iterable[Term], layout: Layout) -> list[Term]:
    """The terms on the register ``layout`` places the caller's qubits on, with the same value.

    A qubit outside the layout is in |0>: a term with X or Y there is 0 and is
    dropped, and a Z there is a factor 1.
    """
    out: list[Term] = []
    where = layout.position
    for coefficient, word in terms:
        mapped: dict[int, str] = {}
        for qubit, letter in word.items():
            if qubit in where:
                mapped[where[qubit]] = letter
            elif letter != "Z":
                break
        else:
            out.append((coefficient, mapped))
    return out
