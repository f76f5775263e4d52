"""Cirq's non-unitary operations as the engine's dynamic steps.

- ``cirq.measure`` is one ``measure`` step into its record's classical bits; a confusion map
  of single-qubit matrices gives each bit its readout errors (P(1|0), P(0|1)), where Cirq
  confuses each bit on its own; the ``invert_mask`` is applied to the records (``records``).
- ``cirq.ResetChannel`` is a ``reset`` step.
- A unitary mixture (``cirq.has_mixture``) is a ``mixture`` step: the branch is drawn by
  Cirq's own probabilities before the state is touched. Pauli channels
  (``cirq.depolarize``, ``bit_flip``, ``phase_flip``, ``asymmetric_depolarize``) have Pauli
  operations as branches, a ``cirq.RandomGateChannel`` of a gate the engine has that gate's
  operation, and any other mixture Cirq's matrices.
- Any other channel (``cirq.kraus``: amplitude and phase damping, ...) is a ``kraus`` step of
  Cirq's Kraus operators.

Which step an operation becomes depends on its type alone. Channels with symbolic
probabilities, channels that record their branch under a key, and matrices wider than 10
qubits are refused (``Reason``).
"""

from __future__ import annotations

from typing import Any

import cirq
import numpy as np
import numpy.typing as npt
from velquin_adapters import Op

from . import gates
from .conditions import Register
from .parameters import Parameters
from .refusals import Reason

_PAULI_OPS = {"X": "x", "Y": "y", "Z": "z"}


def measurement(gate: cirq.MeasurementGate, qubits: tuple[int, ...], register: Register
                ) -> tuple[Op, ...]:
    """``gate`` on engine qubits ``qubits`` (its own order): one step per run of qubits with
    the same readout errors."""
    bits = register.measure(gate.key, gate.full_invert_mask())
    readout: list[tuple[float, float] | None] = [None] * len(qubits)
    for indices, matrix in gate.confusion_map.items():
        if len(indices) != 1:
            raise Reason(f"its confusion matrix over qubits {indices} correlates their readout "
                         "errors, and velquin draws each bit's readout error on its own")
        m = np.asarray(matrix)
        if m.shape != (2, 2) or np.iscomplexobj(m) or (m < 0).any() or \
                not np.allclose(m.sum(axis=1), 1.0):
            raise ValueError(f"the confusion matrix of qubit {indices[0]} of {gate} is not a 2x2 "
                             "matrix of probabilities whose rows sum to 1")
        readout[indices[0]] = (float(m[0, 1]), float(m[1, 0]))  # P(1|0), P(0|1)
    steps: list[Op] = []
    start = 0
    for j in range(1, len(qubits) + 1):
        if j == len(qubits) or readout[j] != readout[start]:
            errors = readout[start]
            dynamic: tuple[tuple[str, Any], ...] = (("clbits", bits[start:j]),)
            if errors is not None and errors != (0.0, 0.0):
                dynamic += (("probabilities", errors),)
            steps.append(Op("measure", qubits[start:j], dynamic=dynamic))
            start = j
    return tuple(steps)


def reset(qubits: tuple[int, ...]) -> tuple[Op, ...]:
    return (Op("reset", qubits),)


def _checked(op: cirq.Operation) -> None:
    if len(op.qubits) > gates.MAX_MATRIX_QUBITS:
        raise Reason(f"it acts on {len(op.qubits)} qubits; velquin's channels take at most "
                     f"{gates.MAX_MATRIX_QUBITS}")


def _pauli_branch(word: str, qubits: tuple[int, ...]) -> tuple[Op, ...]:
    """A Pauli word (a letter per qubit, Cirq's order; I for none) as engine operations."""
    letters = [(q, letter) for q, letter in zip(qubits, word) if letter != "I"]
    if not letters:
        return ()
    if len(letters) == 1:
        return (Op(_PAULI_OPS[letters[0][1]], (letters[0][0],)),)
    return (Op("pauli", tuple(q for q, _ in letters),
               payload="".join(letter for _, letter in letters)),)


def _words(gate: Any) -> list[str] | None:
    """The Pauli word of each of a Pauli channel's branches, in ``cirq.mixture``'s order."""
    if isinstance(gate, cirq.DepolarizingChannel):
        gate = gate._delegate  # its Pauli probabilities, as Cirq's own mixture takes them
    if isinstance(gate, cirq.AsymmetricDepolarizingChannel):
        return list(gate.error_probabilities)
    if isinstance(gate, cirq.BitFlipChannel):
        return ["I", "X"]
    if isinstance(gate, cirq.PhaseFlipChannel):
        return ["I", "Z"]
    return None


def _matrix(matrix: npt.ArrayLike, qubits: tuple[int, ...]) -> tuple[Op, ...]:
    # Cirq's matrices are big-endian over the qubits; engine member bit i is target i.
    payload = np.ascontiguousarray(matrix, dtype=np.complex128)
    return (Op("unitary", qubits[::-1], payload=payload),)


def _with_phase(lowered: gates.Lowered) -> tuple[Op, ...]:
    """A lowered gate as a branch: its phase an operation of its own (the branch's whole
    effect, as ``simulate`` shows it)."""
    ops, phase = lowered
    if phase is None or phase == 0.0:
        return ops
    return ops + (Op("global_phase", (), params=(phase,)),)


def mixture(op: cirq.Operation, qubits: tuple[int, ...], parameters: Parameters) -> Op:
    """A unitary mixture as one ``mixture`` step (branches of probability 0 left out)."""
    _checked(op)
    drawn = cirq.mixture(op)
    gate = op.gate
    words = _words(gate)
    sub: gates.Lowered | None = None
    if isinstance(gate, cirq.RandomGateChannel) and cirq.has_unitary(gate.sub_gate):
        sub = gates.lower_gate(gate.sub_gate, qubits, parameters)  # [(p, gate), (1 - p, I)]
    probabilities: list[float] = []
    branches: list[tuple[Op, ...]] = []
    for i, (p, matrix) in enumerate(drawn):
        if p == 0:
            continue
        if words is not None:
            branch = _pauli_branch(words[i], qubits)
        elif sub is not None:
            branch = _with_phase(sub) if i == 0 else ()
        else:
            branch = _matrix(matrix, qubits)
        probabilities.append(float(p))
        branches.append(branch)
    return Op("mixture", (), dynamic=(("probabilities", tuple(probabilities)),
                                      ("branches", tuple(branches))))


def kraus(op: cirq.Operation, qubits: tuple[int, ...]) -> Op:
    """A channel as one ``kraus`` step of Cirq's operators."""
    _checked(op)
    operators = tuple(np.ascontiguousarray(k, dtype=np.complex128) for k in cirq.kraus(op))
    return Op("kraus", qubits[::-1], dynamic=(("kraus", operators),))
