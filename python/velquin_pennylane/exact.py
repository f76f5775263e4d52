"""Tapes without shots: expectation values of Pauli sums from the engine, the rest from the
final state with PennyLane's own measurement code.

An expectation value of a sum of Pauli words with real coefficients (Pauli
words, their products and linear combinations, Hamiltonians) is the engine's
``<psi|H|psi>``, summed in a fixed tree, for all of a structure's tapes in one
call. Every other measurement (probabilities, states, variances, Hermitian
matrices, entropies, ...) is PennyLane's ``measure``, the code default.qubit
uses, on the engine's state viewed as a tensor with one axis per kept wire (no
transposition: see structures.py).
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

from pennylane.devices.qubit.measure import measure
from pennylane.measurements import ExpectationMP
from pennylane.tape import QuantumScript

from .batch import Batch, Request, angles_of
from .observables import PauliSums
from .structures import Structures, measured_wires


def plan_exact(tape: QuantumScript, structures: Structures, sums: PauliSums, batch: Batch
               ) -> Callable[[], Any]:
    """Adds ``tape``'s engine work to ``batch``; the returned function, called after the
    batch has run, gives the tape's result."""
    structure = structures.of(tape.operations, measured_wires(tape.measurements))
    angles = angles_of(tape.operations, structure)
    readers: list[tuple[Request, int, int]] = []  # (request, row, column or -1)
    values: Request | None = None
    value_row = 0
    final: Request | None = None
    final_row = 0
    for mp in tape.measurements:
        form = None
        if type(mp) is ExpectationMP and mp.obs is not None:
            form = sums.of(mp.obs, structure.kept)
        if form is not None:
            if values is None:
                values, value_row = batch.add("expectations", structure, tape.operations, angles)
            readers.append((values, value_row, values.column(form)))
        else:
            if final is None:
                final, final_row = batch.add("states", structure, tape.operations, angles)
            readers.append((final, final_row, -1))
    mapped = structure.mapped(tape.measurements)
    n_wires = len(structure.kept)

    def result() -> Any:
        out = []
        for (request, r, column), mp in zip(readers, mapped):
            if column >= 0:
                out.append(request.results[r, column].real)
            else:
                # With no wire kept, the engine simulated one idle qubit: its |0> amplitude
                # is the state.
                amplitudes = request.results[r][: 2 ** n_wires]
                out.append(measure(mp, amplitudes.reshape((2,) * n_wires)))
        if not out:
            return ()
        return out[0] if len(out) == 1 else tuple(out)

    return result
