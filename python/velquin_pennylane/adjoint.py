"""Derivatives by the adjoint method: the engine's ``Program.gradient``, one forward and one
backward sweep per tape, for every tape of a structure in one call.

``diff_method="adjoint"`` (and ``"device"``, the same) keeps each of the device's operations
whole: the engine differentiates every operation's matrix in each of its angles, through the
``Linear`` expressions the translation made of them, so a trainable ``Rot``, ``U3`` or ``CRot``
is one operation, not three rotations. Only a matrix gate (``QubitUnitary``, ...) whose matrix
is trainable is decomposed first, by PennyLane, as default.qubit and lightning.qubit do.

A tape's parameters are its operations' data in order (``tape.get_parameters``, then its
observables'); ``Structure.slots`` gives each operation datum's engine parameter, so the
Jacobian's columns for ``tape.trainable_params`` are read off the engine's in one step. The
derivative in an observable's own parameter is zero, with PennyLane's warning
(``validate_adjoint_trainable_params``), as on default.qubit and lightning.qubit.

Refused before anything runs, in PennyLane's words (its own transforms): shots, measurements
other than expectation values, observables the engine cannot take (``observables.py``),
operations with neither a derivative nor a decomposition, and trainable state preparations.
Mid-circuit measurements are deferred onto extra wires first (``mcm_method="deferred"``,
exact); with any other method they are refused.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from pennylane import math
from pennylane.devices.preprocess import (
    no_sampling,
    validate_adjoint_trainable_params,
    validate_measurements,
    validate_observables,
)
from pennylane.exceptions import (
    DecompositionUndefinedError,
    DeviceError,
    QuantumFunctionError,
    WireError,
)
from pennylane.measurements import ExpectationMP, MeasurementProcess
from pennylane.operation import Operator
from pennylane.ops import Conditional, MidMeasure
from pennylane.tape import QuantumScript
from pennylane.transforms.core import CompilePipeline

from .batch import Batch, Request, angles_of
from .observables import GradientParts, differentiable, remembered
from .structures import Structures, measured_wires
from .translate import MATRIX_GATES, unwrap

NAME = "adjoint + velquin.qubit"

_expectation_only = remembered(differentiable)


_MATRIX_BASE: dict[tuple[type, str], bool] = {}
"""(class, name) -> whether the innermost base is a matrix gate (the name spells the wrappers
out: ``Adjoint(C(QubitUnitary))``)."""


def _matrix_base(op: Operator) -> bool:
    key = (type(op), op.name)
    found = _MATRIX_BASE.get(key)
    if found is None:
        found = _MATRIX_BASE[key] = unwrap(op).base.name in MATRIX_GATES
    return found


def stopping_condition(supported: Callable[[Operator], bool]) -> Callable[[Operator], bool]:
    """``supported``, less a matrix gate whose matrix is trainable (the engine differentiates
    angles, not a user's matrix) and mid-circuit measurements."""
    def stop(op: Operator) -> bool:
        if not supported(op) or isinstance(op, (MidMeasure, Conditional)):
            return False
        return not _matrix_base(op) or not any(math.requires_grad(d) for d in op.data)
    return stop


def _expectation(mp: MeasurementProcess) -> bool:
    return isinstance(mp, ExpectationMP)


def add_checks(pipeline: CompilePipeline) -> None:
    """The checks that follow the device's own preprocessing for an adjoint gradient."""
    pipeline.add_transform(validate_measurements, analytic_measurements=_expectation, name=NAME)
    pipeline.add_transform(validate_observables, stopping_condition=_expectation_only, name=NAME)
    pipeline.add_transform(validate_adjoint_trainable_params)


def refuse_shots(pipeline: CompilePipeline) -> None:
    pipeline.add_transform(no_sampling, name=NAME)


def applies(pipeline: CompilePipeline, circuit: QuantumScript, deferred: bool) -> bool:
    """Whether ``diff_method="best"`` takes the adjoint method for ``circuit``: no shots,
    expectation values of observables the engine takes and whose own parameters are not
    trainable (parameter-shift differentiates those), mid-circuit measurements only where
    they are ``deferred``, and every operation differentiable once ``pipeline`` (the adjoint
    preprocessing, deferring mid-circuit measurements) has run."""
    if circuit.shots or not all(isinstance(mp, ExpectationMP) and mp.obs is not None
                                for mp in circuit.measurements):
        return False
    if any(math.requires_grad(d) for mp in circuit.measurements for d in mp.obs.data):
        return False
    if not deferred and any(isinstance(op, (MidMeasure, Conditional))
                            for op in circuit.operations):
        return False
    try:
        pipeline((circuit,))
    except (DecompositionUndefinedError, DeviceError, QuantumFunctionError, WireError,
            AttributeError):
        return False
    return True


def _shaped(jacobian: npt.NDArray[np.float64]) -> Any:
    """(measurements, parameters) in PennyLane's layout: a scalar, a tuple over whichever
    axis is longer than one, or a tuple of tuples (default.qubit's ``adjoint_jacobian``)."""
    jac = np.squeeze(jacobian)
    if jac.ndim == 0:
        return np.array(jac)
    if jac.ndim == 1:
        return tuple(np.array(j) for j in jac)
    return tuple(tuple(np.array(j) for j in row) for row in jac)


def vjp(jacobian: npt.NDArray[np.float64], cotangents: Any) -> Any:
    """The cotangents (one per measurement, each a number or a batch) times the Jacobian:
    one entry per trainable parameter, as default.qubit's ``adjoint_vjp`` returns it."""
    n_mps = jacobian.shape[0]
    if n_mps == 1:
        dy = np.asarray(cotangents, dtype=np.float64).reshape(1, *np.shape(cotangents))
    else:
        shape = next((np.shape(c) for c in cotangents if np.shape(c) != ()), ())
        dy = np.stack([np.broadcast_to(np.asarray(c, dtype=np.float64), shape)
                       for c in cotangents])
    return tuple(np.tensordot(jacobian, dy, axes=([0], [0])))


class Derivatives:
    """One tape's values and Jacobian, from a "gradients" request on the batch."""

    def __init__(self, tape: QuantumScript, structures: Structures, parts: GradientParts,
                 batch: Batch) -> None:
        structure = structures.of(tape.operations, measured_wires(tape.measurements))
        self._request, self._row = batch.add("gradients", structure, tape.operations,
                                             angles_of(tape.operations, structure))
        request: Request = self._request
        # coefficients[m, c]: measurement m's share of the request's observable column c.
        terms = [[(factor, request.column(part)) for factor, part in
                  parts.of(mp.obs, structure.kept)] for mp in tape.measurements]
        self._coefficients = np.zeros((len(terms), len(request.observables)))
        for m, mine in enumerate(terms):
            for factor, column in mine:
                self._coefficients[m, column] += factor
        slots = structure.slots
        trainable = np.array(tape.trainable_params, dtype=np.int64)
        inside = trainable < len(slots)
        columns = np.full(len(trainable), -1, dtype=np.int64)
        columns[inside] = np.asarray(slots, dtype=np.int64)[trainable[inside]]
        self._columns = columns
        self._single = len(tape.measurements) == 1

    def values(self) -> Any:
        values, _ = self._request.results
        width = self._coefficients.shape[1]
        out = self._coefficients @ values[self._row, :width]
        return out[0] if self._single else tuple(out)

    def jacobian(self) -> npt.NDArray[np.float64]:
        """(measurements, trainable parameters)."""
        _, jacobian = self._request.results
        width = self._coefficients.shape[1]
        full = self._coefficients @ jacobian[self._row, :width]
        out: npt.NDArray[np.float64] = full[:, np.maximum(self._columns, 0)]
        out[:, self._columns < 0] = 0.0
        return out

    def shaped_jacobian(self) -> Any:
        return _shaped(self.jacobian())


def plan(circuits: Sequence[QuantumScript], structures: Structures, parts: GradientParts,
         batch: Batch) -> list[Derivatives]:
    with structures.reading():
        return [Derivatives(tape, structures, parts, batch) for tape in circuits]
