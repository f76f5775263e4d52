"""PennyLane's noise channels as the engine's noise steps, drawn per shot.

A channel whose Kraus operators are multiples of Pauli words (``BitFlip``, ``PhaseFlip``,
``DepolarizingChannel``, ``PauliError``) is one ``mixture`` step: a branch of Pauli
operations drawn by its probability (``1 - p`` for the identity, ``p``, or ``p / 3`` each for
depolarizing), without touching the state to draw it. Every other channel
(``AmplitudeDamping``, ``GeneralizedAmplitudeDamping``, ``PhaseDamping``,
``ThermalRelaxationError``, ``ResetError``, ``QubitChannel``) is one ``kraus`` step with
PennyLane's own Kraus matrices: operator ``i`` drawn with probability
``<psi|K_i^dagger K_i|psi>``. The matrices are constants made from the channel's parameters by
PennyLane; what a channel becomes depends on its class only, its values are the step's payload.
"""

from __future__ import annotations

from collections.abc import Callable

import numpy as np
from pennylane.operation import Channel, Operator
from velquin_adapters import Op

_FLIPS: dict[str, str] = {"BitFlip": "X", "PhaseFlip": "Z"}


def _mixture(probabilities: list[float], words: list[str], qubits: tuple[int, ...]) -> Op:
    """Pauli word ``words[i]`` (one letter per qubit, big-endian as PennyLane writes wires)
    with probability ``probabilities[i]``."""
    branches: list[tuple[Op, ...]] = []
    for word in words:
        acting = [(q, x) for q, x in zip(qubits, word) if x != "I"]
        if not acting:
            branches.append(())
            continue
        targets = tuple(q for q, _ in reversed(acting))
        letters = "".join(x for _, x in reversed(acting))
        branches.append((Op("pauli", targets, payload=letters),))
    return Op("mixture", (), dynamic=(("probabilities", tuple(probabilities)),
                                      ("branches", tuple(branches))))


def _pauli(op: Operator, qubits: tuple[int, ...]) -> Op:
    p = float(op.data[0])
    name = op.name
    if name in _FLIPS:
        return _mixture([1 - p, p], ["I", _FLIPS[name]], qubits)
    if name == "DepolarizingChannel":
        return _mixture([1 - p, p / 3, p / 3, p / 3], ["I", "X", "Y", "Z"], qubits)
    word = str(op.hyperparameters["operators"])  # PauliError
    return _mixture([1 - p, p], ["I" * len(word), word], qubits)


def _kraus(op: Operator, qubits: tuple[int, ...]) -> Op:
    matrices = tuple(np.ascontiguousarray(k, dtype=np.complex128) for k in op.kraus_matrices())
    return Op("kraus", qubits[::-1], dynamic=(("kraus", matrices),))


CHANNELS: dict[str, Callable[[Operator, tuple[int, ...]], Op]] = {
    "BitFlip": _pauli, "PhaseFlip": _pauli, "DepolarizingChannel": _pauli, "PauliError": _pauli,
    "AmplitudeDamping": _kraus, "GeneralizedAmplitudeDamping": _kraus, "PhaseDamping": _kraus,
    "ThermalRelaxationError": _kraus, "ResetError": _kraus, "QubitChannel": _kraus,
}
"""Channel name -> its engine step, given the channel's wires as register qubits."""


def is_channel(op: Operator) -> bool:
    return isinstance(op, Channel)


def channel_step(op: Operator, qubits: tuple[int, ...]) -> Op:
    """The engine step of channel ``op`` on ``qubits`` (its wires' register qubits, in order);
    raises KeyError for a channel the device does not declare."""
    return CHANNELS[op.name](op, qubits)


def channel_key(op: Operator) -> tuple[object, ...]:
    """What a channel's step is made from besides its wires: its values (and word)."""
    values = tuple(np.asarray(d, dtype=np.complex128).tobytes() for d in op.data)
    return op.name, values, str(op.hyperparameters.get("operators", ""))
