"""Cirq's parameter values as the engine's angles, and each sweep point's values as a row.

A gate's exponent, angle or coefficient is a number or a SymPy expression. A symbol is a
parameter slot; an expression linear in symbols with real coefficients (``2 * b - 0.25``,
``a / 2``, ``pi * a``) becomes a ``Linear`` angle the engine evaluates for every point; any
other expression (``a * b``, ``sin(a)``) becomes a derived slot whose value Cirq's own
resolver computes once per point. A coefficient's phase (``cirq.GlobalPhaseGate``) is a slot
holding ``cmath.phase`` of its value. So a circuit is translated once, however many sweep
points it runs for, and every matrix is made by the engine from the angles.
"""

from __future__ import annotations

import cmath
import numbers
from collections.abc import Sequence
from typing import Any

import cirq
import numpy as np
import numpy.typing as npt
import sympy
from velquin_adapters import Angle, Linear, add

_REAL, _PHASE = 0, 1


def number(value: Any) -> float | None:
    """``value`` as a float when it holds no symbol, else None; a complex value with a zero
    imaginary part counts as real (as Cirq takes it); any other complex raises ValueError."""
    if type(value) is float:
        return value
    if isinstance(value, numbers.Real):
        return float(value)
    if isinstance(value, sympy.Basic):
        if value.free_symbols:
            return None
        value = complex(value)
    z = complex(value)
    if z.imag != 0.0:
        raise ValueError(f"the angle {value} is not real")
    return z.real


class Parameters:
    """The parameter slots of one translated circuit (see the module docstring)."""

    def __init__(self) -> None:
        self._slots: dict[tuple[int, Any], int] = {}
        self._values: list[tuple[int, Any]] = []  # per slot: (kind, expression)

    @property
    def count(self) -> int:
        return len(self._values)

    def _slot(self, kind: int, expression: Any) -> int:
        key = (kind, expression)
        slot = self._slots.get(key)
        if slot is None:
            slot = self._slots[key] = len(self._values)
            self._values.append(key)
        return slot

    def angle(self, value: Any, factor: float = 1.0, offset: float = 0.0) -> Angle:
        """``factor * value + offset`` as an engine angle (``value`` a number or expression)."""
        fixed = number(value)
        if fixed is not None:
            return fixed * factor + offset
        terms = self._linear(value)
        if terms is None:
            return Linear(offset, ((self._slot(_REAL, value), factor),))
        constant, linear = terms
        return Linear(constant * factor + offset, tuple((s, c * factor) for s, c in linear))

    def combination(self, *parts: tuple[Any, float], offset: float = 0.0) -> Angle:
        """``sum(factor * value) + offset`` over ``parts`` of (value, factor)."""
        return add(*(self.angle(value, factor) for value, factor in parts), offset)

    def phase(self, coefficient: Any) -> Angle:
        """The phase (radians) of a coefficient of modulus 1."""
        if not isinstance(coefficient, sympy.Basic) or not coefficient.free_symbols:
            return cmath.phase(complex(coefficient))
        base, exponent = coefficient.as_base_exp()
        if base == sympy.E:  # exp(i * x): x itself, when it is i times a real expression
            inner = sympy.expand(exponent / sympy.I)
            if inner.is_real is not False and not inner.has(sympy.I):
                return self.angle(inner)
        return Linear(0.0, ((self._slot(_PHASE, coefficient), 1.0),))

    def _linear(self, expression: Any) -> tuple[float, list[tuple[int, float]]] | None:
        """(constant, [(slot, coefficient)]) when ``expression`` is linear in its symbols."""
        if isinstance(expression, sympy.Symbol):
            return 0.0, [(self._slot(_REAL, expression), 1.0)]
        if not isinstance(expression, sympy.Expr):
            return None
        constant = 0.0
        found: list[tuple[sympy.Symbol, float]] = []
        for term, coefficient in expression.as_coefficients_dict().items():
            if term == 1:
                part = number(coefficient)
                if part is None:
                    return None
                constant += part
                continue
            scalar, symbol = term.as_independent(*term.free_symbols, as_Add=False)
            if not isinstance(symbol, sympy.Symbol):
                return None
            try:
                slope = number(coefficient * scalar)
            except (TypeError, ValueError):
                return None
            if slope is None:
                return None
            found.append((symbol, slope))
        return constant, [(self._slot(_REAL, s), c) for s, c in found]

    def rows(self, resolvers: Sequence[cirq.ParamResolver]) -> npt.NDArray[np.float64]:
        """(points, slots): every slot's value at each sweep point.

        Raises ValueError naming the parameter and the point for a value that is missing or
        not real (a complex value with a zero imaginary part is taken as real, as Cirq does).
        Non-finite values are kept: what they lead to is decided where they are used.
        """
        rows = np.empty((len(resolvers), len(self._values)))
        for point, resolver in enumerate(resolvers):
            for slot, (kind, expression) in enumerate(self._values):
                resolved = resolver.value_of(expression)
                try:
                    value = complex(resolved)
                except TypeError:
                    raise ValueError(
                        f"the circuit's parameter {expression} has no value at sweep point "
                        f"{point} ({point_values(resolver)}); it resolves to {resolved}") from None
                if kind == _PHASE:
                    rows[point, slot] = cmath.phase(value)
                elif value.imag != 0.0:
                    raise ValueError(
                        f"the circuit's parameter {expression} is {value} at sweep point {point} "
                        f"({point_values(resolver)}); velquin takes real values only")
                else:
                    rows[point, slot] = value.real
        return rows

    def culprit(self, rows: npt.NDArray[np.float64], point: int) -> str | None:
        """The first non-finite slot of ``rows[point]``, as ``parameter = value``."""
        for slot, (_, expression) in enumerate(self._values):
            if not np.isfinite(rows[point, slot]):
                return f"{expression} = {rows[point, slot]}"
        return None


def point_values(resolver: cirq.ParamResolver) -> str:
    """A sweep point's values as ``{a: 0.5, b: nan}``."""
    return "{" + ", ".join(f"{k}: {v}" for k, v in resolver.param_dict.items()) + "}"
