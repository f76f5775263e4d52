"""AdjointEstimatorGradient: exact gradients for qiskit-machine-learning by the adjoint method.

A gradient of ``qiskit_machine_learning.gradients.BaseEstimatorGradient`` (so ``EstimatorQNN``
and the library's algorithms take it), computed by velquin's engine: one forward pass and one
backward sweep per parameter set, every parameterised operation differentiated from its angles
(``Program.gradient``). Entries for the same circuit object are one engine call for all their
parameter sets (observables needing the same sets share it), so a QNN's batch of rows is one
call. An angle linear in the parameters is differentiated by the engine through its
expression; any other (``a * b``, ``sin(a)``), a derived slot, takes the chain rule here with
Qiskit's own derivative of the expression, in a fixed order.

Observables are Hermitian Pauli sums (Qiskit's check and text refuse the others); circuits
must have one final state (no measurements, resets, control flow or noise). This module
imports qiskit-machine-learning, an optional extra; ``velquin_qiskit`` imports it only when
``AdjointEstimatorGradient`` is first used.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit
from qiskit.circuit import Parameter, ParameterExpression
from qiskit.primitives.containers.observables_array import ObservablesArray
from qiskit.providers import Options
from qiskit.quantum_info import SparsePauliOp
from qiskit_machine_learning.gradients import (
    BaseEstimatorGradient,
    DerivativeType,
    EstimatorGradientResult,
)
from velquin_adapters import PauliSum

from .angles import Angles
from .estimator import EstimatorV2
from .observables import pauli_sum
from .refusals import UnsupportedInstructionError
from .translation import Translation, Translator


def _observable(observable: Any, index: int) -> Any:
    """One observable as a Hermitian SparseObservable, by Qiskit's estimator's own rule."""
    if not isinstance(observable, (SparsePauliOp, str)) and hasattr(observable, "to_matrix") \
            and not hasattr(observable, "paulis"):
        observable = SparsePauliOp.from_operator(observable)
    try:
        return ObservablesArray.coerce(observable).sparse_observables_array().item()
    except ValueError as error:
        raise ValueError(f"observable {index}: {error}") from None


def _slopes(angles: Angles, parameters: Sequence[Parameter]
            ) -> list[list[tuple[int, ParameterExpression | float]]]:
    """For each derived slot, (parameter column, d slot / d parameter) for each parameter it
    holds."""
    column = {p: k for k, p in enumerate(parameters)}
    return [[(column[p], expression.gradient(p)) for p in expression.parameters]
            for expression in angles.derived]


def _chain(jacobian: npt.NDArray[np.float64], row: npt.NDArray[np.float64], angles: Angles,
           slopes: list[list[tuple[int, ParameterExpression | float]]]
           ) -> npt.NDArray[np.float64]:
    """d value / d parameter from d value / d slot: the parameter's own slot, then each derived
    slot's term, in slot order."""
    n = len(angles.parameters)
    out = np.array(jacobian[:n], dtype=np.float64)
    for k, terms in enumerate(slopes):
        for parameter, slope in terms:
            if isinstance(slope, ParameterExpression):
                values = dict(zip(angles.parameters, row[:n].tolist()))
                slope = complex(slope.bind({p: values[p] for p in slope.parameters})
                                .numeric()).real
            out[parameter] += jacobian[n + k] * float(slope)
    return out


class AdjointEstimatorGradient(BaseEstimatorGradient):
    """Estimator gradients by velquin's adjoint method (see the module docstring).

    ``estimator`` (default ``velquin_qiskit.EstimatorV2()``) is kept for the library's
    interface; the gradients are the engine's, exact, whatever estimator is given, except
    that a velquin estimator with a noise model is refused (the adjoint method differentiates
    the noiseless state). Only ``DerivativeType.REAL`` is offered: the engine differentiates
    expectation values of Hermitian observables.
    """

    def __init__(self, estimator: Any = None, options: Options | None = None,
                 derivative_type: DerivativeType = DerivativeType.REAL) -> None:
        if derivative_type != DerivativeType.REAL:
            raise ValueError(f"AdjointEstimatorGradient computes DerivativeType.REAL only, not "
                             f"{derivative_type}")
        if getattr(estimator, "noise_model", None) is not None:
            raise ValueError("AdjointEstimatorGradient differentiates the noiseless state; the "
                             "estimator given has a noise model")
        super().__init__(EstimatorV2() if estimator is None else estimator, options,
                         derivative_type)

    def _get_local_options(self, options: Any) -> Options:
        """The gradient's options with ``options`` over them (velquin's estimator has no
        options object to start from)."""
        merged = Options(**self._default_options.__dict__)
        merged.update_options(**dict(options))
        return merged

    def _run(self, circuits: Sequence[QuantumCircuit], observables: Sequence[Any],
             parameter_values: Sequence[Sequence[float]] | npt.NDArray[np.float64],
             parameters: Sequence[Sequence[Parameter]], **options: Any
             ) -> EstimatorGradientResult:
        translate = Translator(keep_measurements=True)
        by_circuit: dict[int, list[int]] = {}
        for index, circuit in enumerate(circuits):
            by_circuit.setdefault(id(circuit), []).append(index)
        gradients: list[npt.NDArray[np.float64]] = [np.zeros(0)] * len(circuits)
        for entries in by_circuit.values():
            circuit = circuits[entries[0]]
            translation = translate(circuit)
            if translation.dynamic is not None:
                described, reason = translation.dynamic
                raise UnsupportedInstructionError(
                    f"circuit {entries[0]}: the adjoint gradient needs one final state, and "
                    f"{described} makes it depend on measurement outcomes ({reason})")
            for index, gradient in zip(entries, _gradients(
                    translation, entries, observables, parameter_values, parameters)):
                gradients[index] = gradient
        metadata = [{"parameters": list(p)} for p in parameters]
        return EstimatorGradientResult(gradients=gradients, metadata=metadata,
                                       options=Options(**options))


def _gradients(translation: Translation, entries: list[int], observables: Sequence[Any],
               parameter_values: Sequence[Sequence[float]] | npt.NDArray[np.float64],
               parameters: Sequence[Sequence[Parameter]]) -> list[npt.NDArray[np.float64]]:
    """The gradients of the entries of one circuit: one engine call per group of observables
    needing the same parameter sets."""
    layout, program = translation.shrunk()
    angles = translation.angles
    n_qubits = translation.circuit.num_qubits
    rows: dict[bytes, int] = {}
    values: list[npt.NDArray[np.float64]] = []
    sums: dict[int, tuple[int, PauliSum]] = {}
    needs: dict[int, list[tuple[int, int]]] = {}  # observable -> (entry, row)
    for index in entries:
        row = np.ascontiguousarray(parameter_values[index], dtype=np.float64)
        if not np.isfinite(row).all():
            raise ValueError(f"parameter values {index} are not all finite: {row.tolist()}")
        key = row.tobytes()
        if key not in rows:
            rows[key] = len(values)
            values.append(row)
        observable = observables[index]
        if id(observable) not in sums:
            sums[id(observable)] = (len(sums), pauli_sum(
                _observable(observable, index), layout, n_qubits, f"observable {index}"))
        needs.setdefault(id(observable), []).append((index, rows[key]))
    slopes = _slopes(angles, angles.parameters)
    position = {p: k for k, p in enumerate(angles.parameters)}
    groups: dict[tuple[int, ...], list[int]] = {}
    for observable, pairs in needs.items():
        groups.setdefault(tuple(sorted({r for _, r in pairs})), []).append(observable)
    out: dict[int, npt.NDArray[np.float64]] = {}
    table = np.array(values).reshape(len(values), len(angles.parameters))
    for needed, members in groups.items():
        chosen = table[list(needed)]
        slots = angles.rows(chosen)
        _, jacobian = program.compiled().gradient(slots, [sums[m][1].native() for m in members])
        jacobian = jacobian.reshape(len(needed), len(members), program.n_params)
        where = {r: k for k, r in enumerate(needed)}
        for column, member in enumerate(members):
            for index, r in needs[member]:
                full = _chain(jacobian[where[r], column], table[r], angles, slopes)
                out[index] = full[[position[p] for p in parameters[index]]]
    return [out[index] for index in entries]
