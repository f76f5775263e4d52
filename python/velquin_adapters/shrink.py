"""Simulate only the qubits a circuit acts on.

A circuit transpiled for a large device names a hundred qubits and touches a
few. Its gates move to a register of the touched qubits alone (in their
original order); a qubit no gate touches stays in |0> and reads 0 when measured.
"""

from __future__ import annotations

from collections.abc import Iterable, Sequence
from dataclasses import dataclass

MAX_QUBITS = 30
"""The largest register velquin simulates."""


class TooManyQubitsError(ValueError):
    """A circuit acts on more qubits than velquin can hold."""


@dataclass(frozen=True, slots=True)
class Layout:
    """Where each of the caller's qubits lives in the shrunk register.

    ``qubits[i]`` is the caller's index of register qubit ``i`` (ascending);
    ``position[q]`` is the register index of caller qubit ``q``, or None when
    no gate touches ``q``. ``n_qubits`` is the register size (at least 1, as
    velquin needs one qubit even for a circuit with no gates).
    """

    qubits: tuple[int, ...]
    position: dict[int, int]

    @property
    def n_qubits(self) -> int:
        return max(1, len(self.qubits))

    def positions(self, caller_qubits: Iterable[int]) -> list[int | None]:
        """Register index of each given caller qubit, None where it is idle."""
        return [self.position.get(q) for q in caller_qubits]


def layout_of(qubit_lists: Iterable[Sequence[int]], keep: Iterable[int] = ()) -> Layout:
    """The layout of the qubits named in ``qubit_lists`` and ``keep``.

    Raises TooManyQubitsError, naming how many qubits are needed, when they
    are more than 30.
    """
    used: set[int] = set(keep)
    for qubits in qubit_lists:
        used.update(qubits)
    if len(used) > MAX_QUBITS:
        raise TooManyQubitsError(
            f"the circuit acts on {len(used)} qubits; velquin simulates at most {MAX_QUBITS}"
        )
    ordered = tuple(sorted(used))
    return Layout(ordered, {q: i for i, q in enumerate(ordered)})
