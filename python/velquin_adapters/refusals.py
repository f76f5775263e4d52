"""What an adapter refuses before anything runs, in one shape for every framework.

Each framework's package walks its own circuit and names its own instructions;
the rule shared by all of them lives here: a measured qubit takes no later
operation other than another measurement (velquin samples the final state), and
every refusal is an ``UnsupportedError`` naming the instruction.
"""

from __future__ import annotations

from collections.abc import Iterable


class UnsupportedError(ValueError):
    """A circuit holds something velquin cannot simulate exactly; the text names it."""


class TerminalMeasurements:
    """The measurements seen so far in a walk, and the rule they impose."""

    def __init__(self) -> None:
        self._first: dict[object, str] = {}

    def measure(self, qubits: Iterable[object], where: str) -> None:
        """Records a measurement of ``qubits`` at ``where`` (its first, if several)."""
        for qubit in qubits:
            self._first.setdefault(qubit, where)

    def conflict(self, qubits: Iterable[object]) -> tuple[object, str] | None:
        """The first of ``qubits`` already measured, and where; None when none was."""
        for qubit in qubits:
            if qubit in self._first:
                return qubit, self._first[qubit]
        return None

    @property
    def measured(self) -> bool:
        return bool(self._first)
