"""Qiskit's standard gates as operations of velquin's engine: each gate one ``Op``.

``STANDARD[name](qubits, angles)`` is the operation of the standard gate ``name`` (the names of
``get_standard_gate_name_mapping()``, with the default control state) on ``qubits`` (Qiskit's
order: controls first) with its angles already engine angles; ``global_phase`` and ``id`` give
none (the first only adds to the global phase, see ``PHASE_ONLY``). Each mapping was checked
against Qiskit's ``Operator``, global phase included. The two relative-phase Toffolis have no
operation of their own: they take Qiskit's constant matrix as a ``unitary`` payload.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Sequence

import numpy as np
import numpy.typing as npt
from qiskit.circuit.library import RC3XGate, RCCXGate
from velquin_adapters import Angle, Op

Qubits = tuple[int, ...]
Builder = Callable[[Qubits, Sequence[Angle]], Op | None]

PHASE_ONLY = "global_phase"
"""The standard gate that is only a global phase: its angle joins the program's phase."""


def _matrix(gate: RCCXGate | RC3XGate) -> npt.NDArray[np.complex128]:
    return np.ascontiguousarray(gate.to_matrix(), dtype=np.complex128)


_RCCX, _RC3X = _matrix(RCCXGate()), _matrix(RC3XGate())


def _plain(name: str) -> Builder:
    return lambda q, a: Op(name, q, params=tuple(a))


def _controlled(name: str, controls: int, targets: int = 1) -> Builder:
    """``name`` on the last ``targets`` qubits, the ``controls`` before them its controls."""
    def build(q: Qubits, a: Sequence[Angle]) -> Op:
        return Op(name, q[controls:controls + targets], controls=q[:controls], params=tuple(a))
    return build


def _multi_controlled_x(q: Qubits, a: Sequence[Angle]) -> Op:
    return Op("x", q[-1:], controls=q[:-1])


def _u2(q: Qubits, a: Sequence[Angle]) -> Op:  # U2(phi, lam) = U(pi/2, phi, lam)
    return Op("u", q, params=(math.pi / 2, *a))


def _cu(q: Qubits, a: Sequence[Angle]) -> Op:  # controlled e^{i gamma} U(theta, phi, lam)
    theta, phi, lam, gamma = a
    return Op("u", q[1:], controls=q[:1], params=(theta, phi, lam), phase=gamma)


def _unitary(matrix: npt.NDArray[np.complex128]) -> Builder:
    return lambda q, a: Op("unitary", q, payload=matrix)


STANDARD: dict[str, Builder] = {
    **{name: _plain(name) for name in [
        "x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx", "sxdg", "rx", "ry", "rz", "p", "u",
        "r", "rxx", "ryy", "rzz", "rzx", "xx_minus_yy", "xx_plus_yy", "ecr", "dcx", "iswap",
        "swap", "cx", "cy", "cz"]},
    "id": lambda q, a: None,
    PHASE_ONLY: lambda q, a: None,
    "u1": _plain("p"),
    "u2": _u2,
    "u3": _plain("u"),
    **{f"c{name}": _controlled(name, 1) for name in ["h", "s", "sdg", "sx", "p", "rx", "ry",
                                                       "rz"]},
    "cu1": _controlled("p", 1),
    "cu3": _controlled("u", 1),
    "cu": _cu,
    "ccx": _controlled("x", 2),
    "ccz": _controlled("z", 2),
    "cswap": _controlled("swap", 1, 2),
    "mcx": _multi_controlled_x,  # the standard one is C3X; any count maps the same way
    "c3sx": _controlled("sx", 3),
    "rccx": _unitary(_RCCX),
    "rcccx": _unitary(_RC3X),
}

_LEADING_CONTROL = {"cx": "x", "cy": "y", "cz": "z"}


def with_controls(op: Op, controls: Qubits, values: Sequence[int]) -> Op:
    """``op`` controlled further by ``controls`` (on ``values``); cx, cy and cz become their
    target gate with their own control listed with the others."""
    if not controls:
        return op
    base = _LEADING_CONTROL.get(op.name)
    if base is not None:
        own = op.control_values or (1,) * len(op.controls)
        return Op(base, op.qubits[1:], (op.qubits[0], *op.controls, *controls),
                  (1, *own, *values), op.params, op.payload, op.phase)
    own = op.control_values or (1,) * len(op.controls)
    return Op(op.name, op.qubits, (*op.controls, *controls), (*own, *values), op.params,
              op.payload, op.phase)
