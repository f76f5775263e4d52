"""Cirq operations into velquin gate lists: decomposed once, bound per sweep point.

Cirq's own ``cirq.decompose`` rewrites every operation until each one is a
velquin gate: X, Y and Z powers (any exponent, symbolic ones included) become
named gates or rotations, and CZ, CX, CY, SWAP and H to the power +-1 their
velquin gates. FSim gates take a shorter way than Cirq's (``intercept``).
Where Cirq has no decomposition we add the missing step in
Cirq's own operations (a partial CZ as phases around two CNOTs, a controlled
global phase as a Z power on a control, any other numeric unitary through
``cirq.MatrixGate``), and Cirq carries on from there.

Every global phase (a gate's ``global_shift``, the phase that ``X**t`` has over
``rx``, ``cirq.GlobalPhaseGate``) is summed into the template's ``phase`` and
applied only to final states. Qubit ``order[k]`` of Cirq's (big-endian) order
is velquin qubit ``n - 1 - k``, so a velquin state vector is Cirq's as it is.
"""

from __future__ import annotations

import cmath
import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

import cirq
import numpy as np
import sympy
from velquin_adapters import BoundGates, Gate

from .refusals import describe, refuse

_POWERS: dict[type[cirq.EigenGate], tuple[str, dict[float, str]]] = {
    cirq.XPowGate: ("rx", {1.0: "x", -1.0: "x", 0.5: "sx"}),
    cirq.YPowGate: ("ry", {1.0: "y", -1.0: "y"}),
    cirq.ZPowGate: ("rz", {1.0: "z", -1.0: "z", 0.5: "s", -0.5: "sdg", 0.25: "t", -0.25: "tdg"}),
}
"""X, Y and Z powers: velquin's rotation, and the named gate equal to ``P**exponent``."""

_SELF_INVERSE: dict[type[cirq.EigenGate], str] = {
    cirq.HPowGate: "h", cirq.CXPowGate: "cx", cirq.CYPowGate: "cy", cirq.CZPowGate: "cz",
    cirq.SwapPowGate: "swap",
}
"""Gates that equal velquin's gate at exponent 1 and -1 (qubits in the same order)."""
_SELF_INVERSE_TYPES: tuple[type[cirq.EigenGate], ...] = tuple(_SELF_INVERSE)


def velquin_positions(order: Sequence[cirq.Qid]) -> dict[cirq.Qid, int]:
    """Where each qubit of Cirq's order lives in velquin: ``order[k]`` at ``n - 1 - k``."""
    n = len(order)
    return {qubit: n - 1 - k for k, qubit in enumerate(order)}


@dataclass(frozen=True)
class _Slot:
    """A symbolic angle: gate ``index`` gets ``scale * value``."""

    index: int
    value: Any
    scale: float


@dataclass(frozen=True)
class _PhaseTerm:
    """A symbolic part of the global phase: ``scale * value`` radians, or the phase of a
    complex ``value`` when ``coefficient``."""

    value: Any
    scale: float
    coefficient: bool = False


@dataclass
class Template:
    """A circuit's unitary part in velquin's gates on ``n_qubits`` qubits.

    Gates whose angle is symbolic hold 0.0 and have a slot; ``phase`` is the
    numeric part of the global phase (radians), ``phase_terms`` the symbolic
    parts. ``bind`` gives the gates and phase of one sweep point.
    """

    n_qubits: int
    gates: list[Gate] = field(default_factory=list)
    phase: float = 0.0
    slots: list[_Slot] = field(default_factory=list)
    phase_terms: list[_PhaseTerm] = field(default_factory=list)

    @property
    def parameterized(self) -> bool:
        return bool(self.slots or self.phase_terms)

    def bind(self, resolver: cirq.ParamResolver) -> tuple[Sequence[Gate], float]:
        """The gates and the global phase (radians) at one sweep point."""
        if not self.parameterized:
            return self.gates, self.phase
        angles = [slot.scale * _real(slot.value, resolver) for slot in self.slots]
        phase = self.phase
        for term in self.phase_terms:
            if term.coefficient:
                phase += cmath.phase(_complex(term.value, resolver))
            else:
                phase += term.scale * _real(term.value, resolver)
        return BoundGates(self.gates, [slot.index for slot in self.slots], angles), phase

    def _rotation(self, name: str, qubits: tuple[int, ...], value: Any, scale: float) -> None:
        if cirq.is_parameterized(value):
            self.slots.append(_Slot(len(self.gates), value, scale))
            self.gates.append(Gate(name, qubits, 0.0))
        else:
            self.gates.append(Gate(name, qubits, scale * float(value)))

    def _add_phase(self, value: Any, scale: float) -> None:
        if cirq.is_parameterized(value):
            self.phase_terms.append(_PhaseTerm(value, scale))
        elif scale * float(value) != 0.0:
            self.phase += scale * float(value)


def _complex(value: Any, resolver: cirq.ParamResolver) -> complex:
    resolved = resolver.value_of(value)
    try:
        return complex(resolved)
    except TypeError:
        raise ValueError(f"the circuit's parameter {value} has no value at {resolver}; "
                         f"it resolves to {resolved}") from None


def _real(value: Any, resolver: cirq.ParamResolver) -> float:
    number = _complex(value, resolver)
    if number.imag != 0.0:
        raise ValueError(f"the circuit's parameter {value} is not real at {resolver}: {number}")
    return number.real


def _kind(op: cirq.Operation) -> str | None:
    """How an operation becomes velquin's: "phase", "power", "fixed", or None (decompose it)."""
    gate: Any = op.gate
    if isinstance(gate, cirq.GlobalPhaseGate):
        return "phase"
    if isinstance(gate, (cirq.XPowGate, cirq.YPowGate, cirq.ZPowGate)):
        return "power"
    if isinstance(gate, _SELF_INVERSE_TYPES) and not cirq.is_parameterized(gate):
        return "fixed" if gate.exponent in (1, -1) else None
    return None


def _emit(op: cirq.Operation, kind: str, where: Mapping[cirq.Qid, int], out: Template) -> None:
    gate: Any = op.gate
    if kind == "phase":
        if cirq.is_parameterized(gate.coefficient):
            out.phase_terms.append(_PhaseTerm(gate.coefficient, 1.0, coefficient=True))
        else:
            out.phase += cmath.phase(complex(gate.coefficient))
        return
    qubits = tuple(where[q] for q in op.qubits)
    exponent, shift = gate.exponent, gate.global_shift
    if kind == "fixed":  # P**e with its shift is exp(i pi e shift) P**e, and P**(+-1) is P
        family = next(cls for cls in _SELF_INVERSE if isinstance(gate, cls))
        out.gates.append(Gate(_SELF_INVERSE[family], qubits))
        out._add_phase(exponent, math.pi * shift)
        return
    family = next(cls for cls in _POWERS if isinstance(gate, cls))
    rotation, named = _POWERS[family]
    rads = getattr(gate, "_rads", None) if isinstance(gate, (cirq.Rx, cirq.Ry, cirq.Rz)) else None
    if rads is not None:  # cirq.rx(theta) is exp(-i theta X / 2), velquin's rx(theta) exactly
        out._rotation(rotation, qubits, rads, 1.0)
    elif not cirq.is_parameterized(exponent) and float(exponent) in named:
        out.gates.append(Gate(named[float(exponent)], qubits))
        out._add_phase(exponent, math.pi * shift)
    elif not cirq.is_parameterized(exponent) and float(exponent) == 0.0:
        return
    else:  # P**e = exp(i pi e / 2) rP(pi e), and the shift adds exp(i pi e shift)
        out._rotation(rotation, qubits, exponent, math.pi)
        out._add_phase(exponent, math.pi * (shift + 0.5))


def _controlled_phase(op: cirq.ControlledOperation) -> list[cirq.Operation] | None:
    """A global phase on the controls' subspace as a Z power on one control."""
    coefficient = op.sub_operation.gate.coefficient  # type: ignore[union-attr]
    values = _single_values(op)
    if values is None:
        return None
    if cirq.is_parameterized(coefficient):
        exponent: Any = sympy.arg(coefficient) / sympy.pi
    else:
        exponent = cmath.phase(complex(coefficient)) / math.pi
    *others, last = op.controls
    phase: cirq.Operation = cirq.ZPowGate(exponent=exponent).on(last)
    if others:
        phase = phase.controlled_by(*others, control_values=values[:-1])
    if values[-1] == 1:
        return [phase]
    return [cirq.X(last), phase, cirq.X(last)]


def _single_values(op: cirq.ControlledOperation) -> list[int] | None:
    """The control value of each control, when each control has exactly one."""
    values = list(op.control_values)
    if not isinstance(op.control_values, cirq.ProductOfSums) or len(values) != len(op.controls) \
            or any(len(v) != 1 for v in values):
        return None
    return [v[0] for v in values]


def _controlled_z_power(op: cirq.ControlledOperation) -> list[cirq.Operation] | None:
    """A Z power under one or two controls as CZ or CCZ powers (symbolic exponents included)."""
    gate: Any = op.sub_operation.gate
    values = _single_values(op)
    if values is None or len(values) > 2:
        return None
    flips = [cirq.X(q) for q, v in zip(op.controls, values) if v == 0]
    power = cirq.CZPowGate if len(values) == 1 else cirq.CCZPowGate
    steps = [*flips, power(exponent=gate.exponent).on(*op.controls, *op.sub_operation.qubits),
             *flips]
    if gate.global_shift != 0:
        angle = gate.exponent * gate.global_shift
        phase = cirq.global_phase_operation(
            sympy.exp(sympy.I * sympy.pi * angle) if cirq.is_parameterized(angle)
            else cmath.exp(1j * math.pi * float(angle)))
        steps.append(phase.controlled_by(*op.controls, control_values=values))
    return steps


MAX_MATRIX_QUBITS = 10
"""The largest numeric unitary without a decomposition of its own that is taken apart."""


def _numeric_unitary(op: cirq.Operation) -> list[cirq.Operation] | None:
    """Any other numeric unitary: Cirq's MatrixGate decompositions up to three qubits, its
    quantum Shannon decomposition beyond, with the global phase they drop put back."""
    n = len(op.qubits)
    if cirq.is_parameterized(op) or not 1 <= n <= MAX_MATRIX_QUBITS or not cirq.has_unitary(op):
        return None
    matrix = cirq.unitary(op)
    if n <= 3:
        if isinstance(op.gate, cirq.MatrixGate):
            return None  # Cirq already tried it
        result = cirq.decompose_once(cirq.MatrixGate(matrix).on(*op.qubits), None)
        return None if result is None else list(result)
    steps = list(cirq.quantum_shannon_decomposition(op.qubits, matrix))
    made = cirq.Circuit(steps).unitary(qubit_order=op.qubits, qubits_that_should_be_present=op.qubits)
    # the phase that takes ``made`` to ``matrix``, read off the largest entry
    k = np.unravel_index(np.argmax(np.abs(matrix)), matrix.shape)
    delta = matrix[k] / made[k]
    return steps + [cirq.global_phase_operation(delta / abs(delta))]


def intercept(op: cirq.Operation) -> list[cirq.Operation] | None:
    """Shorter decompositions than Cirq's, tried first: FSim(theta, phi) is
    ISWAP**(-2 theta / pi) times CZ**(-phi / pi) (8 + 5 velquin gates, against 27)."""
    gate: Any = op.gate
    if type(gate) is cirq.FSimGate:
        a, b = op.qubits
        return [cirq.ISWAP(a, b) ** (-2 * gate.theta / sympy.pi if cirq.is_parameterized(
                    gate.theta) else -2 * gate.theta / math.pi),
                cirq.CZ(a, b) ** (-gate.phi / sympy.pi if cirq.is_parameterized(gate.phi)
                                  else -gate.phi / math.pi)]
    return None


def _fallback(op: cirq.Operation) -> list[cirq.Operation] | None:
    """The steps Cirq's decompositions lack, written in Cirq operations."""
    gate: Any = op.gate
    if isinstance(gate, cirq.CZPowGate):  # diag(1, 1, 1, exp(i pi e)) times exp(i pi e shift)
        control, target = op.qubits
        e = gate.exponent
        steps: list[cirq.Operation] = [
            cirq.Z(control) ** (e / 2), cirq.CNOT(control, target), cirq.Z(target) ** (-e / 2),
            cirq.CNOT(control, target), cirq.Z(target) ** (e / 2)]
        if gate.global_shift != 0:
            angle = e * gate.global_shift
            steps.append(cirq.global_phase_operation(
                sympy.exp(sympy.I * sympy.pi * angle) if cirq.is_parameterized(angle)
                else cmath.exp(1j * math.pi * float(angle))))
        return steps
    if isinstance(op, cirq.ControlledOperation) \
            and isinstance(op.sub_operation.gate, cirq.GlobalPhaseGate):
        return _controlled_phase(op)
    if isinstance(op, cirq.ControlledOperation) \
            and isinstance(op.sub_operation.gate, cirq.ZPowGate):
        return _controlled_z_power(op)
    return _numeric_unitary(op)


def decompose(ops: Sequence[tuple[int, cirq.Operation]], order: Sequence[cirq.Qid]) -> Template:
    """The template of ``ops`` (``(moment_index, operation)`` pairs) on the qubits of ``order``.

    Raises UnsupportedOperationError, naming the operation and its moment, for
    one that Cirq cannot decompose into velquin's gates or whose decomposition
    needs qubits outside ``order``.
    """
    where = velquin_positions(order)
    out = Template(len(order))
    for moment, op in ops:
        def stuck(part: cirq.Operation, op: cirq.Operation = op, moment: int = moment
                  ) -> Exception:
            return refuse(op, moment, f"Cirq cannot decompose {describe(part)} into velquin's gates")

        kind = _kind(op)
        parts = [op] if kind is not None else cirq.decompose(
            op, keep=lambda part: _kind(part) is not None, intercepting_decomposer=intercept,
            fallback_decomposer=_fallback,
            on_stuck_raise=stuck)
        for part in parts:
            outside = [q for q in part.qubits if q not in where]
            if outside:
                raise refuse(op, moment, "its decomposition uses qubits outside the circuit "
                             f"({outside[0]})")
            _emit(part, _kind(part) or "", where, out)
    return out


def basis_state_gates(index: int, n_qubits: int) -> list[Gate]:
    """X gates preparing computational basis state ``index`` (Cirq's big-endian numbering)."""
    if not 0 <= index < 1 << n_qubits:
        raise ValueError(f"initial_state {index} is not a basis state of {n_qubits} qubits")
    return [Gate("x", (v,)) for v in range(n_qubits) if index >> v & 1]


def basis_state_index(state: Any, n_qubits: int) -> int:
    """The basis-state index of an ``initial_state`` given as an int or a basis vector."""
    if isinstance(state, (int, np.integer)) and not isinstance(state, bool):
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
