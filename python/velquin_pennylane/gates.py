"""The device's operations as velquin's engine operations: one ``Op`` (or only a phase) each.

Each PennyLane operation the device declares (``velquin_qubit.toml``) is
reached here by the name of its innermost base (``Adjoint`` and ``Controlled``
wrappers are unwrapped by translate.py, which adds the controls). A
``Builder`` takes the base's wires as register qubits in PennyLane's order
(first wire first), its angles as engine expressions, whether the base is
inverted, and the base itself (for a Pauli word or a matrix, never for an
angle), and gives one engine operation and a phase (the angle ``a`` of a factor
``exp(i a)``), either of which may be absent.

PennyLane writes a matrix over wires ``[w0, ..., wk]`` with ``w0`` as the most
significant bit; the engine's member index has target ``i`` as bit ``i``, so
every multi-qubit operation takes its wires reversed (``_reversed``).
Inverses are exact: rotations take negated angles (in reverse order where the
gate is a product), fixed gates their exact inverse gate or conjugated matrix.
"""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import NamedTuple

import numpy as np
import numpy.typing as npt
from pennylane.operation import Operator
from velquin_adapters import Angle, Op, scale


class Built(NamedTuple):
    op: Op | None
    phase: Angle | None


Builder = Callable[[tuple[int, ...], tuple[Angle, ...], bool, Operator], Built]


class Gate(NamedTuple):
    """A base operation: how many of its data are angles, and its builder."""

    angles: int
    build: Builder


def _reversed(qubits: tuple[int, ...]) -> tuple[int, ...]:
    return qubits[::-1]


def _neg(angle: Angle) -> Angle:
    return scale(angle, -1.0)


def _fixed(name: str, inverse_name: str, reverse: bool = True) -> Gate:
    def build(q: tuple[int, ...], _: tuple[Angle, ...], inverse: bool, __: Operator) -> Built:
        return Built(Op(inverse_name if inverse else name, _reversed(q) if reverse else q), None)
    return Gate(0, build)


def _rotation(name: str) -> Gate:
    """A gate of one angle whose inverse is the negated angle."""
    def build(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, _: Operator) -> Built:
        return Built(Op(name, _reversed(q), params=(_neg(p[0]) if inverse else p[0],)), None)
    return Gate(1, build)


def _rot(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, _: Operator) -> Built:
    # Rot(phi, theta, omega) = RZ(omega) RY(theta) RZ(phi), the engine's rot.
    phi, theta, omega = p
    params = (_neg(omega), _neg(theta), _neg(phi)) if inverse else (phi, theta, omega)
    return Built(Op("rot", q, params=params), None)


def _u3(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, _: Operator) -> Built:
    # U3(theta, phi, delta) is Qiskit's U(theta, phi, lambda); its inverse U(-theta, -lambda, -phi).
    theta, phi, delta = p
    params = (_neg(theta), _neg(delta), _neg(phi)) if inverse else (theta, phi, delta)
    return Built(Op("u", q, params=params), None)


def _u2(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, op: Operator) -> Built:
    # U2(phi, delta) = U3(pi/2, phi, delta).
    phi, delta = p
    return _u3(q, (math.pi / 2, phi, delta), inverse, op)


def _ising_xy(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, _: Operator) -> Built:
    # IsingXY(phi) = exp(i phi/4 (XX + YY)) is Qiskit's XXPlusYY(-phi, 0).
    theta = p[0] if inverse else _neg(p[0])
    return Built(Op("xx_plus_yy", _reversed(q), params=(theta, 0.0)), None)


def _siswap(q: tuple[int, ...], _: tuple[Angle, ...], inverse: bool, __: Operator) -> Built:
    # SISWAP = IsingXY(pi/2).
    theta = math.pi / 2 if inverse else -math.pi / 2
    return Built(Op("xx_plus_yy", _reversed(q), params=(theta, 0.0)), None)


_ISWAP_INVERSE = np.array([[1, 0, 0, 0], [0, 0, -1j, 0], [0, -1j, 0, 0], [0, 0, 0, 1]],
                          dtype=np.complex128)


def _iswap(q: tuple[int, ...], _: tuple[Angle, ...], inverse: bool, __: Operator) -> Built:
    if inverse:  # symmetric in its wires: no reversal needed, but keep the one rule
        return Built(Op("unitary", _reversed(q), payload=_ISWAP_INVERSE), None)
    return Built(Op("iswap", _reversed(q)), None)


def _pauli_rot(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, op: Operator) -> Built:
    # exp(-i theta/2 P); identity letters act on nothing, and an all-identity word is
    # only the phase exp(-i theta/2).
    word = str(op.hyperparameters["pauli_word"])
    theta = _neg(p[0]) if inverse else p[0]
    acting = [(qubit, letter) for qubit, letter in zip(q, word) if letter != "I"]
    if not acting:
        return Built(None, scale(theta, -0.5))
    targets = tuple(qubit for qubit, _ in reversed(acting))
    letters = "".join(letter for _, letter in reversed(acting))
    return Built(Op("pauli_rotation", targets, params=(theta,), payload=letters), None)


def _matrix(op: Operator) -> npt.NDArray[np.complex128]:
    return np.ascontiguousarray(np.asarray(op.data[0]), dtype=np.complex128)


def _unitary(q: tuple[int, ...], _: tuple[Angle, ...], inverse: bool, op: Operator) -> Built:
    matrix = _matrix(op)
    if inverse:
        matrix = np.ascontiguousarray(matrix.conj().T)
    return Built(Op("unitary", _reversed(q), payload=matrix), None)


def _diagonal(q: tuple[int, ...], _: tuple[Angle, ...], inverse: bool, op: Operator) -> Built:
    diagonal = _matrix(op)
    return Built(Op("diagonal", _reversed(q), payload=diagonal.conj() if inverse else diagonal),
                 None)


def _phase_on(values: tuple[int, int]) -> Gate:
    """CPhaseShift00/01/10: exp(i phi) on one basis state of two wires."""
    def build(q: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, _: Operator) -> Built:
        phi = _neg(p[0]) if inverse else p[0]
        return Built(Op("global_phase", (), controls=q, control_values=values, params=(phi,)),
                     None)
    return Gate(1, build)


def _global_phase(_: tuple[int, ...], p: tuple[Angle, ...], inverse: bool, __: Operator) -> Built:
    # GlobalPhase(phi) is exp(-i phi).
    return Built(None, p[0] if inverse else _neg(p[0]))


def _identity(*_: object) -> Built:
    return Built(None, None)


GATES: dict[str, Gate] = {
    "PauliX": _fixed("x", "x"), "PauliY": _fixed("y", "y"), "PauliZ": _fixed("z", "z"),
    "Hadamard": _fixed("h", "h"), "S": _fixed("s", "sdg"), "T": _fixed("t", "tdg"),
    "SX": _fixed("sx", "sxdg"), "SWAP": _fixed("swap", "swap"), # The engine's ecr is Qiskit's, whose qubits
    # (first, second) are PennyLane's wires in their own order.
    "ECR": _fixed("ecr", "ecr", reverse=False),
    "ISWAP": Gate(0, _iswap), "SISWAP": Gate(0, _siswap),
    "RX": _rotation("rx"), "RY": _rotation("ry"), "RZ": _rotation("rz"),
    "PhaseShift": _rotation("p"), "U1": _rotation("p"),
    "Rot": Gate(3, _rot), "U2": Gate(2, _u2), "U3": Gate(3, _u3),
    "IsingXX": _rotation("rxx"), "IsingYY": _rotation("ryy"), "IsingZZ": _rotation("rzz"),
    "IsingXY": Gate(1, _ising_xy), "MultiRZ": _rotation("multi_rz"),
    "PauliRot": Gate(1, _pauli_rot), "PSWAP": _rotation("phased_swap"),
    "SingleExcitation": _rotation("single_excitation"),
    "SingleExcitationPlus": _rotation("single_excitation_plus"),
    "SingleExcitationMinus": _rotation("single_excitation_minus"),
    "DoubleExcitation": _rotation("double_excitation"),
    "CPhaseShift00": _phase_on((0, 0)), "CPhaseShift01": _phase_on((0, 1)),
    "CPhaseShift10": _phase_on((1, 0)),
    "QubitUnitary": Gate(0, _unitary), "DiagonalQubitUnitary": Gate(0, _diagonal),
    "GlobalPhase": Gate(1, _global_phase), "Identity": Gate(0, _identity),
}
"""Base operation name -> its engine operation. The controlled gates PennyLane names on
their own (CNOT, CRX, Toffoli, MultiControlledX, ControlledQubitUnitary, ...) are
``Controlled`` operations on one of these bases."""

LEADING_CONTROL = {"x": "cx", "y": "cy", "z": "cz"}
"""One control on 1 before these is velquin's own two-qubit gate (CNOT, CY, CZ)."""
