"""Gate angles of one circuit as the engine's parameter slots, and its parameter sets as rows.

Slot ``k < len(circuit.parameters)`` is parameter ``k`` of ``circuit.parameters`` (Qiskit's
order, the order of a ``BindingsArray``'s columns). An angle linear in the parameters (nearly
all of them: ``theta``, ``2 * theta - 1``, ``(a + b) / 3``) becomes a ``Linear`` expression the
engine evaluates for every parameter set; any other (``a * b``, ``sin(a)``) becomes a derived
slot after the parameters, its value computed here once per parameter set by Qiskit's own
binding. The circuit is translated once, however many parameter sets it runs for.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit.circuit import Parameter, ParameterExpression
from qiskit.primitives.containers.bindings_array import BindingsArray
from velquin_adapters import Angle, Linear


class NotRealError(ValueError):
    """An angle whose value is not a real number."""


def _numeric(expression: ParameterExpression) -> float:
    value = complex(expression.numeric())
    if value.imag != 0:
        raise NotRealError(f"the angle {expression} is not real")
    return value.real


class Angles:
    """The parameter slots of one circuit (see the module docstring)."""

    def __init__(self, parameters: Sequence[Parameter]) -> None:
        self.parameters = list(parameters)
        self._slot = {p: i for i, p in enumerate(self.parameters)}
        self.derived: list[ParameterExpression] = []

    @property
    def n_slots(self) -> int:
        return len(self.parameters) + len(self.derived)

    def angle(self, value: Any) -> Angle:
        """A gate parameter (a number or a ParameterExpression of this circuit's parameters)
        as an engine angle; raises NotRealError for a complex value."""
        if type(value) is float:  # nearly every bound angle
            return value
        if not isinstance(value, ParameterExpression):
            number = complex(value)
            if number.imag != 0:
                raise NotRealError(f"the angle {value} is not real")
            return number.real
        if isinstance(value, Parameter):
            return Linear(0.0, ((self._slot[value], 1.0),))
        if not value.parameters:
            return _numeric(value)
        return self._linear(value) or self._derive(value)

    def _linear(self, expression: ParameterExpression) -> Linear | None:
        terms = []
        for parameter in sorted(expression.parameters, key=self._slot.__getitem__):
            slope = expression.gradient(parameter)
            if isinstance(slope, ParameterExpression):
                return None
            slope = complex(slope)
            if slope.imag != 0:
                return None
            if slope.real != 0:
                terms.append((self._slot[parameter], slope.real))
        at_zero = expression.bind({p: 0.0 for p in expression.parameters})
        constant = complex(at_zero.numeric())
        return None if constant.imag != 0 else Linear(constant.real, tuple(terms))

    def _derive(self, expression: ParameterExpression) -> Linear:
        self.derived.append(expression)
        return Linear(0.0, ((len(self.parameters) + len(self.derived) - 1, 1.0),))

    def rows(self, values: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
        """(sets, n_slots) rows from (sets, parameters) values: the derived slots filled in."""
        if not self.derived:
            return np.ascontiguousarray(values, dtype=np.float64)
        rows = np.empty((values.shape[0], self.n_slots))
        rows[:, :len(self.parameters)] = values
        for k, expression in enumerate(self.derived, start=len(self.parameters)):
            parameters = list(expression.parameters)
            columns = [self._slot[p] for p in parameters]
            for row in range(values.shape[0]):
                bound = expression.bind(dict(zip(parameters, values[row, columns].tolist())))
                try:
                    rows[row, k] = _numeric(bound)
                except NotRealError:
                    raise NotRealError(
                        f"the angle {expression} is not real for parameter set {row}") from None
        return rows


def binding_values(angles: Angles, bindings: BindingsArray, where: str
                   ) -> npt.NDArray[np.float64]:
    """A PUB's parameter sets as (sets, parameters) rows, C order of its shape.

    Raises ValueError naming the parameter and the set (its index in the PUB's shape) for a
    value that is NaN or infinite, which Qiskit refuses to bind too.
    """
    parameters = angles.parameters
    try:
        values = np.asarray(bindings.as_array(parameters) if parameters else
                            np.zeros((*bindings.shape, 0)), dtype=np.float64)
    except TypeError as error:
        raise TypeError(f"{where}: parameter values must be real numbers ({error})") from None
    flat = values.reshape(bindings.size, len(parameters))
    bad = ~np.isfinite(flat)
    if bad.any():
        row, column = (int(i[0]) for i in np.nonzero(bad))
        index = np.unravel_index(row, bindings.shape) if bindings.shape else ()
        raise ValueError(
            f"{where}: parameter '{parameters[column].name}' is {flat[row, column]} in parameter "
            f"set {tuple(int(i) for i in index)}; velquin binds finite values only")
    return flat
