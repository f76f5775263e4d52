"""The user's arguments, checked as Cirq's simulators take them, with errors naming them.

``repetitions`` is a non-negative integer (a bool or a float is refused, as Cirq refuses
them); ``initial_state`` a basis state (an integer or a basis vector). A parameter value that
is NaN or infinite is kept, as Cirq keeps it: a final state then holds NaN, as Cirq's does,
and where a number must come out of it (samples, expectation values, for which Cirq raises
ValueError) the error names the sweep point and the parameter.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import cirq
import numpy as np
import numpy.typing as npt

from .parameters import Parameters, point_values


def repetitions(value: Any) -> int:
    """``value`` as a repetition count; TypeError or ValueError naming it otherwise."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"repetitions must be an integer, not {value!r} ({type(value).__name__})")
    if value < 0:
        raise ValueError(f"repetitions must be non-negative, got {value}")
    return int(value)


def basis_state(state: Any, n_qubits: int) -> int:
    """The basis-state index of an ``initial_state`` given as None, an int or a basis vector."""
    if state is None:
        return 0
    if isinstance(state, (int, np.integer)) and not isinstance(state, (bool, np.bool_)):
        if not 0 <= state < 1 << n_qubits:
            raise ValueError(f"initial_state {state} is not a basis state of {n_qubits} qubits")
        return int(state)
    if isinstance(state, np.ndarray):
        flat = state.reshape(-1)
        nonzero = np.flatnonzero(flat)
        if flat.size == 1 << n_qubits and nonzero.size == 1 and flat[nonzero[0]] == 1:
            return int(nonzero[0])
        raise ValueError("initial_state must be a computational basis state: an integer, or a "
                         f"vector of {1 << n_qubits} amplitudes with a single 1 and zeros "
                         "elsewhere (velquin prepares basis states exactly and no others)")
    raise TypeError("initial_state must be None, an integer or a basis-state vector, not "
                    f"{type(state).__name__}")


def _at(parameters: Parameters, rows: npt.NDArray[np.float64],
        resolvers: Sequence[cirq.ParamResolver], points: Sequence[int]) -> str | None:
    for point in points:
        culprit = parameters.culprit(rows, point)
        if culprit is not None:
            return f"sweep point {point} {point_values(resolvers[point])} has {culprit}"
    return None


def not_finite(parameters: Parameters, rows: npt.NDArray[np.float64],
               resolvers: Sequence[cirq.ParamResolver]) -> ValueError | None:
    """The error naming the non-finite parameter value that made sampling fail, or None
    when there is none."""
    where = _at(parameters, rows, resolvers, range(len(resolvers)))
    if where is None:
        return None
    return ValueError(f"cannot sample: {where}, and the probabilities are then not finite")


def check_finite(values: npt.NDArray[np.complex128], parameters: Parameters,
                 rows: npt.NDArray[np.float64], resolvers: Sequence[cirq.ParamResolver]) -> None:
    """Raises ValueError, naming the point and the parameter, where an expectation value is
    not finite (Cirq refuses the state it would come from)."""
    bad = ~np.isfinite(values).all(axis=1)
    if not bad.any():
        return
    points = [int(p) for p in np.flatnonzero(bad)]
    where = _at(parameters, rows, resolvers, points) or \
        f"sweep point {points[0]} {point_values(resolvers[points[0]])}"
    raise ValueError(f"the expectation values are not finite: {where}")
