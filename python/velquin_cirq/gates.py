"""Every Cirq gate velquin's engine has, as one engine operation and the gate's phase.

``lower(op, where, parameters)`` gives ``(ops, phase)`` or None when the gate has nothing
native (Cirq's decompositions take over there). ``ops`` is one ``Op`` (a controlled gate
whose control values are a sum of products: one per product, on disjoint subspaces) and
``phase`` the angle of the factor ``e^{i phase}`` over the gate's whole matrix (its
``global_shift``; the ``e^{i pi t / 2}`` a Pauli power has over its rotation), or None.

Which operation a gate becomes depends on its type, and on its exponent only where Cirq's
own named gates are powers (``cirq.H``, ``cirq.CNOT``, ``cirq.S`` ... are exponents 1, 0.5
...): a numeric exponent of a named power (``X**0.5`` is ``sx``, ``CZ**-1`` is ``cz``) plays
the exact named gate, every other exponent (and every symbolic one) the rotation. Angles are
exponents times pi (``Parameters.angle``), so the engine makes every matrix.

Qubits: ``where`` (``Qubits``) maps a Cirq qubit to its engine index; an operation's targets
are given in Cirq's order except where a matrix, diagonal or gate is written big-endian over
them, which takes them reversed (engine member bit ``i`` is target ``i``).
"""

from __future__ import annotations

import math
from collections.abc import Callable, Mapping
from dataclasses import dataclass
from typing import Any, TypeAlias

import cirq
import numpy as np
from velquin_adapters import Angle, Linear, Op

from .parameters import Parameters, number

PI = math.pi
Lowered: TypeAlias = "tuple[tuple[Op, ...], Angle | None]"
Handler: TypeAlias = "Callable[[Any, tuple[int, ...], Parameters], Lowered | None]"
_PAULI = "IXYZ"  # a DensePauliString's pauli_mask letters

MAX_MATRIX_QUBITS = 10
"""The widest matrix the engine takes as one operation."""


@dataclass(frozen=True)
class _Power:
    """An EigenGate family: its rotation (at angle pi t), whether ``P**t`` is ``e^{i pi t/2}``
    times it, how many leading qubits control it, and the named gate of each exponent that
    Cirq names (played as ``(name, controls, payload)``)."""

    rotation: str
    half: bool
    controls: int
    named: Mapping[float, tuple[str, int, str | None]]

    def __call__(self, gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
        t, shift = gate.exponent, number(gate.global_shift)
        if shift is None:
            return None
        fixed = number(t)
        if fixed is not None and fixed in self.named:
            name, controls, payload = self.named[fixed]
            op = Op(name, q[controls:], q[:controls], payload=payload)
            return (op,), (PI * fixed * shift if shift else None)
        ctrl, targets = q[:self.controls], q[self.controls:]
        params: tuple[Angle, ...] = (p.angle(t, PI),)
        if self.rotation == "xx_plus_yy":  # ISWAP**t = xx_plus_yy(-pi t, 0)
            params = (p.angle(t, -PI), 0.0)
        if not ctrl:
            phase = shift + 0.5 if self.half else shift
            return (Op(self.rotation, targets, params=params),), (
                p.angle(t, PI * phase) if phase else None)
        inner = p.angle(t, PI / 2) if self.half else None  # CX**t is controlled X**t
        return (Op(self.rotation, targets, ctrl, params=params, phase=inner),), (
            p.angle(t, PI * shift) if shift else None)


def _both(name: str, controls: int = 0, payload: str | None = None
          ) -> dict[float, tuple[str, int, str | None]]:
    return {1.0: (name, controls, payload), -1.0: (name, controls, payload)}


_X = _Power("rx", True, 0, {**_both("x"), 0.5: ("sx", 0, None), -0.5: ("sxdg", 0, None)})
_Y = _Power("ry", True, 0, _both("y"))
_Z = _Power("p", False, 0, {**_both("z"), 0.5: ("s", 0, None), -0.5: ("sdg", 0, None),
                            0.25: ("t", 0, None), -0.25: ("tdg", 0, None)})
_H = _Power("rh", True, 0, _both("h"))
_CZ = _Power("p", False, 1, {1.0: ("cz", 0, None), -1.0: ("cz", 0, None)})
_CX = _Power("rx", True, 1, {1.0: ("cx", 0, None), -1.0: ("cx", 0, None)})
_CY = _Power("ry", True, 1, {1.0: ("cy", 0, None), -1.0: ("cy", 0, None)})
_CCZ = _Power("p", False, 2, _both("z", 2))
_CCX = _Power("rx", True, 2, _both("x", 2))
_CCY = _Power("ry", True, 2, _both("y", 2))
_XX = _Power("rxx", True, 0, _both("pauli", 0, "XX"))
_YY = _Power("ryy", True, 0, _both("pauli", 0, "YY"))
_ZZ = _Power("rzz", True, 0, _both("pauli", 0, "ZZ"))
_SWAP = _Power("swap_power", False, 0, _both("swap"))
_ISWAP = _Power("xx_plus_yy", False, 0, {1.0: ("iswap", 0, None)})


def _constant(name: str) -> Handler:
    def handler(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
        return (Op(name, q),), None
    return handler


def _rotation(name: str) -> Handler:
    """cirq.rx(theta) is exp(-i theta X / 2): the engine's rx(theta), theta as given."""
    def handler(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
        return (Op(name, q, params=(p.angle(gate._rads),)),), None
    return handler


def _phased_x(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
    # Z**p X**t Z**-p = e^{i pi t (s + 1/2)} r(pi t, pi p)
    shift = number(gate.global_shift)
    if shift is None:
        return None
    t = gate.exponent
    return (Op("r", q, params=(p.angle(t, PI), p.angle(gate.phase_exponent, PI))),), \
        p.angle(t, PI * (shift + 0.5))


def _phased_xz(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    # Z**(z+a) X**x Z**-a = e^{i pi x / 2} u(pi x, pi (a + z) - pi/2, pi/2 - pi a)
    x, z, a = gate.x_exponent, gate.z_exponent, gate.axis_phase_exponent
    params = (p.angle(x, PI), p.combination((a, PI), (z, PI), offset=-PI / 2),
              p.angle(a, -PI, PI / 2))
    return (Op("u", q, params=params),), p.angle(x, PI / 2)


def _phased_iswap(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
    shift = number(gate.global_shift)
    if shift is None:
        return None
    t = gate.exponent
    op = Op("xx_plus_yy", q, params=(p.angle(t, -PI), p.angle(gate.phase_exponent, 2 * PI)))
    return (op,), (p.angle(t, PI * shift) if shift else None)


def _fsim(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    return (Op("fsim", q, params=(p.angle(gate.theta), p.angle(gate.phi))),), None


def _phased_fsim(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    params = tuple(p.angle(v) for v in (gate.theta, gate.zeta, gate.chi, gate.gamma, gate.phi))
    return (Op("phased_fsim", q[::-1], params=params),), None


def _cswap(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    return (Op("swap", q[1:], q[:1]),), None


def _matrix(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
    if any(d != 2 for d in cirq.qid_shape(gate)) or len(q) > MAX_MATRIX_QUBITS:
        return None
    payload = np.ascontiguousarray(cirq.unitary(gate), dtype=np.complex128)
    return (Op("unitary", q[::-1], payload=payload),), None


def _clifford(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
    # A fixed gate that no library operation is: its constant matrix (from Cirq's tableau).
    if len(q) > MAX_MATRIX_QUBITS:
        return None
    payload = np.ascontiguousarray(cirq.unitary(gate), dtype=np.complex128)
    return (Op("unitary", q[::-1], payload=payload),), None


def _diagonal(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    angles = tuple(p.angle(v) for v in gate._diag_angles_radians)
    return (Op("phases", q[::-1], params=angles),), None


def _global_phase(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    return (), p.phase(gate.coefficient)


def _identity(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    return (), None


def _permutation(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    # Cirq moves the bit at position i to position perm[i]; the engine reads
    # out[m] = in[members[m]] with target j at bit j (targets in Cirq's order).
    perm = gate.permutation
    k = len(q)
    members = tuple(sum(((m >> perm[j]) & 1) << j for j in range(k)) for m in range(1 << k))
    return (Op("permutation", q, payload=members),), None


def _word(mask: Any, q: tuple[int, ...]) -> tuple[tuple[int, ...], str]:
    letters = [(qubit, _PAULI[int(m)]) for qubit, m in zip(q, mask) if m]
    return tuple(t for t, _ in letters), "".join(letter for _, letter in letters)


def _pauli_string(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    targets, word = _word(gate.pauli_mask, q)
    ops = (Op("pauli", targets, payload=word),) if word else ()
    return ops, p.phase(gate.coefficient)


def _pauli_phasor(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered:
    # e^{i pi e_pos} on the +1 eigenspace, e^{i pi e_neg} on the -1 one:
    # e^{i pi (e_pos + e_neg) / 2} exp(-i theta/2 P) with theta = pi (e_neg - e_pos).
    targets, word = _word(gate.dense_pauli_string.pauli_mask, q)
    neg, pos = gate.exponent_neg, gate.exponent_pos
    if not word:
        return (), p.angle(pos, PI)
    theta = p.combination((neg, PI), (pos, -PI))
    return (Op("pauli_rotation", targets, params=(theta,), payload=word),), \
        p.combination((pos, PI / 2), (neg, PI / 2))


def _controlled(gate: Any, q: tuple[int, ...], p: Parameters) -> Lowered | None:
    if any(d != 2 for d in gate.control_qid_shape):
        return None
    count = gate.num_controls()
    inner = lower_gate(gate.sub_gate, q[count:], p)
    if inner is None:
        return None
    return with_controls(inner, q[:count], gate.control_values)


def _products(controls: tuple[int, ...], values: Any) -> list[tuple[tuple[int, ...],
                                                                    tuple[int, ...]]]:
    """The control conditions as (controls, values) products on disjoint subspaces; a control
    that may take either value conditions nothing and is dropped."""
    if isinstance(values, cirq.ProductOfSums):
        kept = [(c, v[0]) for c, v in zip(controls, values) if len(set(v)) == 1]
        return [(tuple(c for c, _ in kept), tuple(int(v) for _, v in kept))]
    return [(controls, tuple(int(v) for v in product)) for product in values]


_LEADING_CONTROL = frozenset(("cx", "cy", "cz"))


def with_controls(lowered: Lowered, controls: tuple[int, ...], values: Any) -> Lowered:
    """``lowered`` under further controls: the gate's phase then multiplies its operation
    (or is a phase on the controls' subspace when the operation has controls of its own)."""
    ops, phase = lowered
    out: list[Op] = []
    for ctrl, vals in _products(controls, values):
        if not ctrl:
            return lowered
        for op in ops:
            fold = phase is not None and len(ops) == 1 and not op.controls \
                and op.name not in _LEADING_CONTROL
            out.append(Op(op.name, op.qubits, ctrl + op.controls,
                          vals + (op.control_values or (1,) * len(op.controls)), op.params,
                          op.payload, phase if fold else op.phase))
            if fold:
                break
        else:
            if phase is not None and phase != 0.0:
                out.append(Op("global_phase", (), ctrl, vals, params=(phase,)))
    return tuple(out), None


_HANDLERS: dict[type, Handler | None] = {
    type(cirq.X): _constant("x"), type(cirq.Y): _constant("y"), type(cirq.Z): _constant("z"),
    cirq.XPowGate: _X, cirq.YPowGate: _Y, cirq.ZPowGate: _Z, cirq.HPowGate: _H,
    cirq.Rx: _rotation("rx"), cirq.Ry: _rotation("ry"), cirq.Rz: _rotation("rz"),
    cirq.CZPowGate: _CZ, cirq.CXPowGate: _CX, cirq.CYPowGate: _CY, cirq.CCZPowGate: _CCZ,
    cirq.CCXPowGate: _CCX, cirq.CCYPowGate: _CCY,
    cirq.SingleQubitCliffordGate: _clifford, cirq.CliffordGate: _clifford,
    cirq.XXPowGate: _XX, cirq.YYPowGate: _YY, cirq.ZZPowGate: _ZZ,
    cirq.SwapPowGate: _SWAP, cirq.ISwapPowGate: _ISWAP, cirq.CSwapGate: _cswap,
    cirq.PhasedXPowGate: _phased_x, cirq.PhasedXZGate: _phased_xz,
    cirq.PhasedISwapPowGate: _phased_iswap, cirq.FSimGate: _fsim,
    cirq.PhasedFSimGate: _phased_fsim, cirq.MatrixGate: _matrix,
    cirq.DiagonalGate: _diagonal, cirq.TwoQubitDiagonalGate: _diagonal,
    cirq.ThreeQubitDiagonalGate: _diagonal, cirq.GlobalPhaseGate: _global_phase,
    cirq.IdentityGate: _identity, cirq.QubitPermutationGate: _permutation,
    cirq.BaseDensePauliString: _pauli_string, cirq.PauliStringPhasorGate: _pauli_phasor,
    cirq.ControlledGate: _controlled,
}


def _handler(kind: type) -> Handler | None:
    try:
        return _HANDLERS[kind]
    except KeyError:
        found = next((_HANDLERS[c] for c in kind.__mro__ if c in _HANDLERS), None)
        _HANDLERS[kind] = found
        return found


def lower_gate(gate: Any, qubits: tuple[int, ...], parameters: Parameters) -> Lowered | None:
    """``gate`` on engine qubits ``qubits`` (in Cirq's order), or None."""
    handler = _handler(type(gate))
    return None if handler is None else handler(gate, qubits, parameters)


def _parameter_free(lowered: Lowered) -> bool:
    ops, phase = lowered
    return not isinstance(phase, Linear) and all(
        not isinstance(op.payload, np.ndarray) and not isinstance(op.phase, Linear)
        and not any(isinstance(a, Linear) for a in op.params) for op in ops)


# Lowered gates without parameters or matrices, by the gate object and its engine qubits:
# circuits mostly share Cirq's gate constants (cirq.H, cirq.CNOT), so most operations of a
# circuit translated for the first time are found here. The gate is kept with its entry, so
# its id names no other object while the entry lives.
_SEEN: dict[tuple[int, tuple[int, ...]], tuple[Any, Lowered]] = {}
_SEEN_LIMIT = 1 << 14


def lower(op: cirq.Operation, where: Qubits, parameters: Parameters) -> Lowered | None:
    """``op`` as engine operations on the qubits ``where`` places, or None."""
    gate = op.gate
    if gate is None:
        return None
    qubits = where.indices(op.qubits)
    key = (id(gate), qubits)
    seen = _SEEN.get(key)
    if seen is not None and seen[0] is gate:
        return seen[1]
    handler = _handler(type(gate))
    if handler is None:
        return None
    lowered = handler(gate, qubits, parameters)
    if lowered is not None and _parameter_free(lowered):
        if len(_SEEN) >= _SEEN_LIMIT:
            _SEEN.clear()
        _SEEN[key] = (gate, lowered)
    return lowered


class Qubits:
    """Cirq qubits to engine indices: ``order[k]`` is engine qubit ``n - 1 - k``.

    Looked up by the qubit object first (Cirq shares one object per qubit, and hashing a
    qubit costs more than the rest of a lookup); an equal qubit that is another object is
    looked up by equality. ``order`` keeps its objects alive, so an id here names no other.
    """

    def __init__(self, order: tuple[cirq.Qid, ...]) -> None:
        n = len(order)
        self.order = order
        self.index = {qubit: n - 1 - k for k, qubit in enumerate(order)}
        self._by_id = {id(qubit): n - 1 - k for k, qubit in enumerate(order)}

    def __contains__(self, qubit: object) -> bool:
        return id(qubit) in self._by_id or qubit in self.index

    def indices(self, qubits: tuple[cirq.Qid, ...]) -> tuple[int, ...]:
        by_id = self._by_id
        try:
            return tuple([by_id[id(q)] for q in qubits])
        except KeyError:
            return tuple([self.index[q] for q in qubits])
