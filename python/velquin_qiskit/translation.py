"""Qiskit circuits into velquin gate lists, translated once and bound many times.

Qiskit's transpiler rewrites every gate velquin lacks into velquin's sixteen
(and u and p, which become rotations and a global phase here);
the result is kept as a template whose angles and global phase may be
parameter expressions. Binding evaluates them for a whole array of parameter
sets at once: expressions linear in the parameters (nearly all of them) as
element-wise NumPy arithmetic, the others one set at a time.
"""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass
from typing import TypeAlias

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit, transpile
from qiskit.circuit import Parameter, ParameterExpression
from qiskit.circuit.library import get_standard_gate_name_mapping
from qiskit.primitives.containers.bindings_array import BindingsArray
from qiskit.transpiler.exceptions import TranspilerError
from velquin_adapters import GATE_NAMES, ROTATIONS, BoundGates, Gate, Layout, shrink

from .refusals import UnsupportedInstructionError, check

BASIS = ["x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx", "rx", "ry", "rz", "cx", "swap", "cy",
         "cz"]
_STANDARD = {name: get_standard_gate_name_mapping()[name].base_class for name in BASIS}

Angle: TypeAlias = "float | ParameterExpression"


@dataclass(frozen=True)
class _Linear:
    """constant + sum(coefficient * parameter column), in that order of operations."""

    constant: float
    terms: tuple[tuple[int, float], ...]


def _linear(expression: ParameterExpression, column: dict[Parameter, int]) -> _Linear | None:
    if isinstance(expression, Parameter):
        return _Linear(0.0, ((column[expression], 1.0),))
    terms = []
    for parameter in sorted(expression.parameters, key=lambda p: column[p]):
        slope = expression.gradient(parameter)
        if isinstance(slope, ParameterExpression) or complex(slope).imag != 0:
            return None
        terms.append((column[parameter], float(complex(slope).real)))
    constant = complex(expression.bind_all({p: 0.0 for p in expression.parameters}))
    return None if constant.imag != 0 else _Linear(constant.real, tuple(terms))


def _evaluate(expression: Angle, values: npt.NDArray[np.float64],
              column: dict[Parameter, int]) -> npt.NDArray[np.float64]:
    """The expression's value for every row of ``values`` (rows x parameters)."""
    rows = values.shape[0]
    if not isinstance(expression, ParameterExpression):
        return np.full(rows, float(expression))
    if not expression.parameters:
        return np.full(rows, float(complex(expression.numeric()).real))
    linear = _linear(expression, column)
    if linear is None:
        parameters = list(expression.parameters)
        out = np.empty(rows)
        for row in range(rows):
            value = complex(expression.bind_all({p: values[row, column[p]] for p in parameters}))
            if value.imag != 0:
                raise ValueError(f"the angle {expression} is not real for parameter set {row}")
            out[row] = value.real
        return out
    total: npt.NDArray[np.float64] | None = None
    for k, slope in linear.terms:
        term = values[:, k] if slope == 1.0 else slope * values[:, k]
        total = term if total is None else total + term
    assert total is not None
    return total + linear.constant if linear.constant != 0.0 else total.copy()


@dataclass(frozen=True)
class Translation:
    """One circuit in velquin's gates, on the qubits it acts on.

    ``gates`` are on register indices (``layout`` maps them back); a gate whose
    angle is a parameter expression holds angle 0.0 here and its expression in
    ``expressions`` at the same position of ``slots``. ``measured[clbit] =
    qubit`` (the caller's qubit index) for every measured classical bit.
    """

    circuit: QuantumCircuit
    layout: Layout
    gates: list[Gate]
    slots: list[int]
    expressions: list[ParameterExpression]
    global_phase: Angle
    measured: dict[int, int]

    @property
    def parameters(self) -> list[Parameter]:
        return list(self.circuit.parameters)

    def bind(self, values: npt.NDArray[np.float64]
             ) -> tuple[list[Sequence[Gate]], npt.NDArray[np.float64]]:
        """Gate lists and global phases for each row of ``values`` (rows x parameters,
        in the order of ``circuit.parameters``)."""
        values = np.asarray(values, dtype=np.float64)
        column = {p: i for i, p in enumerate(self.circuit.parameters)}
        phases = _evaluate(self.global_phase, values, column)
        if not self.expressions:
            return [self.gates] * values.shape[0], phases
        angles = np.stack([_evaluate(e, values, column) for e in self.expressions], axis=1)
        slots = tuple(self.slots)
        return [BoundGates(self.gates, slots, row) for row in angles.tolist()], phases


def _in_basis(circuit: QuantumCircuit) -> bool:
    return all(getattr(instruction.operation, "base_class", None)
               is _STANDARD.get(instruction.operation.name, False)
               for instruction in circuit.data)


def translate(circuit: QuantumCircuit) -> Translation:
    """Check, strip measurements, transpile into velquin's basis and shrink.

    Raises UnsupportedInstructionError for what velquin cannot simulate and
    velquin_adapters.TooManyQubitsError for more than 30 active qubits.
    """
    checked = check(circuit)
    unitary = QuantumCircuit(circuit.num_qubits, global_phase=circuit.global_phase)
    for index in checked.unitary:
        instruction = circuit.data[index]
        qubits = [circuit.find_bit(q).index for q in instruction.qubits]
        unitary.append(instruction.operation, qubits, copy=False)
    if not _in_basis(unitary):
        try:
            # With u and p in the basis the translator stays fast on parameter expressions
            # (seconds become milliseconds); both then become velquin rotations below.
            unitary = transpile(unitary, basis_gates=[*BASIS, "u", "p"], optimization_level=0)
        except TranspilerError as error:
            raise UnsupportedInstructionError(
                f"Qiskit's transpiler cannot write the circuit in velquin's gates: {error}"
            ) from error
    gates: list[Gate] = []
    slots: list[int] = []
    expressions: list[ParameterExpression] = []
    phase: Angle = unitary.global_phase

    def add(name: str, qubits: tuple[int, ...], angle: Angle | None = None) -> None:
        if isinstance(angle, ParameterExpression) and angle.parameters:
            slots.append(len(gates))
            expressions.append(angle)
            angle = 0.0
        gates.append(Gate(name, qubits, None if angle is None else float(angle)))

    for instruction in unitary.data:
        name, params = instruction.operation.name, instruction.operation.params
        where = tuple(unitary.find_bit(q).index for q in instruction.qubits)
        if name == "u":  # U(theta, phi, lam) = e^{i (phi + lam) / 2} RZ(phi) RY(theta) RZ(lam)
            theta, phi, lam = params
            add("rz", where, lam)
            add("ry", where, theta)
            add("rz", where, phi)
            phase = phase + (phi + lam) / 2
        elif name == "p":  # P(lam) = e^{i lam / 2} RZ(lam)
            add("rz", where, params[0])
            phase = phase + params[0] / 2
        elif name in GATE_NAMES:
            add(name, where, params[0] if name in ROTATIONS else None)
        else:  # a pass left something outside the basis
            raise UnsupportedInstructionError(f"Qiskit's transpiler left '{name}' in the circuit")
    layout, shrunk = shrink(gates)
    return Translation(circuit, layout, shrunk, slots, expressions, phase, checked.measured)


class Translator:
    """``translate`` with a memory for one call: a circuit given in several PUBs (or several
    times to the backend) is translated once. Keep it no longer than the call, since
    circuits can change between calls."""

    def __init__(self) -> None:
        self._done: dict[int, tuple[QuantumCircuit, Translation]] = {}

    def __call__(self, circuit: QuantumCircuit) -> Translation:
        done = self._done.get(id(circuit))
        if done is None or done[0] is not circuit:
            done = self._done[id(circuit)] = (circuit, translate(circuit))
        return done[1]


def parameter_rows(translation: Translation, bindings: BindingsArray) -> npt.NDArray[np.float64]:
    """A PUB's parameter sets as rows (C order of its shape), columns as ``circuit.parameters``."""
    parameters = translation.parameters
    return np.asarray(bindings.as_array(parameters), dtype=np.float64).reshape(
        bindings.size, len(parameters))
