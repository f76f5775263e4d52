"""The one program representation every adapter lowers into.

A framework's circuit becomes a ``Program``: a qubit count, a list of ``Op``
(an operation of velquin's gate library, ``_velquin_native.operations()``, on
qubits, with controls and their values, angles and a matrix, diagonal,
permutation or Pauli word where the operation takes one), the number of
parameters its angles may refer to, and a global phase. Angles are numbers or
``Linear`` expressions of the parameters, so a circuit is translated once and
bound to any number of parameter sets by velquin itself, which makes every
matrix from its angles with the platform's cos and sin.

Conventions (the same for every framework): qubit ``q`` is bit ``q`` of a
basis index; an operation's member index has target ``i`` as bit ``i`` (so a
matrix written big-endian over a framework's wire list takes the wires in
reverse order); the first qubit of ``cx``, ``cy`` and ``cz`` is their control.

A ``Program`` pickles as its description and compiles itself, once per
process, when first run.
"""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass, field
from typing import Any, NamedTuple, TypeAlias

import _velquin_native as native
import numpy as np
import numpy.typing as npt

from .shrink import Layout, layout_of


class Linear(NamedTuple):
    """``constant + sum(coefficient * params[slot])``: the terms in order, then the constant."""

    constant: float
    terms: tuple[tuple[int, float], ...]

    def shifted(self, slots: dict[int, int]) -> Linear:
        """The same expression on renumbered parameter slots."""
        return Linear(self.constant, tuple((slots[s], c) for s, c in self.terms))


Angle: TypeAlias = "float | Linear"


def parameter(slot: int, coefficient: float = 1.0, constant: float = 0.0) -> Linear:
    """``coefficient * params[slot] + constant``."""
    return Linear(constant, ((slot, coefficient),))


def scale(angle: Angle, factor: float, offset: float = 0.0) -> Angle:
    """``factor * angle + offset`` as an angle (terms scaled, constant scaled then shifted)."""
    if isinstance(angle, Linear):
        return Linear(angle.constant * factor + offset,
                      tuple((s, c * factor) for s, c in angle.terms))
    return float(angle) * factor + offset


def add(*angles: Angle) -> Angle:
    """The sum of angles, as one angle."""
    constant = 0.0
    terms: list[tuple[int, float]] = []
    for angle in angles:
        if isinstance(angle, Linear):
            constant += angle.constant
            terms.extend(angle.terms)
        else:
            constant += float(angle)
    return Linear(constant, tuple(terms)) if terms else constant


Payload: TypeAlias = "npt.NDArray[np.complex128] | str | tuple[int, ...] | None"


class Op(NamedTuple):
    """One operation of velquin's gate library (see the module docstring). A named tuple: an
    adapter makes one per gate of every circuit it translates, and a dataclass's __init__
    costs several times as much."""

    name: str
    qubits: tuple[int, ...]
    controls: tuple[int, ...] = ()
    control_values: tuple[int, ...] = ()
    params: tuple[Angle, ...] = ()
    payload: Payload = None
    phase: Angle | None = None
    dynamic: tuple[tuple[str, Any], ...] = ()
    """Dynamic steps and conditions (see the README): ("clbits", bits), ("probabilities",
    ps), ("branches", ((Op, ...), ...)), ("kraus", matrices), ("condition", tokens),
    ("target", step index)."""

    @property
    def all_qubits(self) -> tuple[int, ...]:
        inner = tuple(q for branch in self.field("branches", ()) for op in branch
                      for q in op.all_qubits)
        return self.qubits + self.controls + inner

    def field(self, key: str, default: Any) -> Any:
        """The value of one of the dynamic fields, or ``default``."""
        for name, value in self.dynamic:
            if name == key:
                return value
        return default

    def renumbered(self, where: dict[int, int]) -> Op:
        dynamic = tuple((key, tuple(tuple(op.renumbered(where) for op in branch)
                                    for branch in value) if key == "branches" else value)
                        for key, value in self.dynamic)
        return Op(self.name, tuple(where[q] for q in self.qubits),
                  tuple(where[q] for q in self.controls), self.control_values, self.params,
                  self.payload, self.phase, dynamic)

    def native(self) -> tuple[Any, ...]:
        if not self.dynamic:
            return (self.name, self.qubits, self.controls, self.control_values, self.params,
                    self.payload, self.phase)
        dynamic = {key: [[op.native() for op in branch] for branch in value]
                   if key == "branches" else value for key, value in self.dynamic}
        return (self.name, self.qubits, self.controls, self.control_values, self.params,
                self.payload, self.phase, dynamic)


@dataclass(slots=True)
class Program:
    """A circuit for velquin's companion engine (see the module docstring)."""

    n_qubits: int
    ops: list[Op]
    n_params: int = 0
    global_phase: Angle | None = None
    n_clbits: int = 0
    _compiled: native.Program | None = field(default=None, repr=False, compare=False)

    def compiled(self) -> native.Program:
        """The engine's program, made (and every operation checked) on first use."""
        if self._compiled is None:
            self._compiled = native.Program(self.n_qubits, [op.native() for op in self.ops],
                                            self.n_params, self.global_phase,
                                            n_clbits=self.n_clbits)
        return self._compiled

    def __getstate__(self) -> tuple[int, list[Op], int, Angle | None, int]:
        return self.n_qubits, self.ops, self.n_params, self.global_phase, self.n_clbits

    def __setstate__(self, state: tuple[int, list[Op], int, Angle | None, int]) -> None:
        self.n_qubits, self.ops, self.n_params, self.global_phase, self.n_clbits = state
        self._compiled = None

    def shrunk(self, keep: Iterable[int] = ()) -> tuple[Layout, Program]:
        """The layout of the qubits the operations (and ``keep``) touch, and the program
        renumbered onto them; raises TooManyQubitsError beyond 30."""
        layout = layout_of((op.all_qubits for op in self.ops), keep)
        if layout.qubits == tuple(range(len(layout.qubits))) and layout.n_qubits == self.n_qubits:
            return layout, self
        where = layout.position
        ops = [op.renumbered(where) for op in self.ops]
        return layout, Program(layout.n_qubits, ops, self.n_params, self.global_phase,
                               self.n_clbits)


def parameter_rows(values: npt.ArrayLike | None, n_params: int, sets: int = 1
                   ) -> npt.NDArray[np.float64]:
    """Parameter sets as a C-contiguous (sets, n_params) float64 array; ``values`` None (or
    ``n_params`` 0) gives ``sets`` empty sets."""
    if values is None or n_params == 0:
        return np.zeros((sets, n_params))
    return np.ascontiguousarray(values, dtype=np.float64).reshape(-1, n_params)
