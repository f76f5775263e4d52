"""What velquin.qubit adds to PennyLane's own preprocessing.

- ``decompose_or_by_matrix``: an operation's own decomposition; for the
  excitations with a phase outside their subspace (DoubleExcitationPlus and
  Minus, which PennyLane does not decompose), an exact one in the device's
  operations; for any other unitary without one whose matrix holds no angle
  (Elbow, TemporaryAND, a BlockEncode of the user's matrix), that matrix as a
  QubitUnitary. A gate with angles and no decomposition is refused: its matrix
  would be NumPy's, not velquin's.
- ``prepare_from_zero``: a state preparation (StatePrep, BasisState, ...) is
  decomposed into gates that assume its wires are still in |0>; one that
  comes after a gate on one of its wires is refused instead of being silently
  wrong.
- ``defer_within``: PennyLane's ``defer_measurements``, refusing in the
  device's words a tape whose deferred measurements need wires the device lacks.
- ``expand_broadcasts``: PennyLane's ``broadcast_expand``, with counts returned
  as a list of dictionaries (one per broadcast index), as default.qubit returns them.
- ``needs_shots``: noise, and mid-circuit measurements not deferred, refused without shots
  (their exact values would need a density matrix; with shots each shot is an exact
  trajectory), and so is a noise channel with a trainable parameter (never differentiated).
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np
import pennylane as qml
from pennylane.exceptions import DeviceError, WireError
from pennylane.measurements import CountsMP, MidMeasureMP
from pennylane.operation import Channel, DecompositionUndefinedError, Operator, StatePrepBase
from pennylane.ops import Conditional, MidMeasure, QubitUnitary
from pennylane.tape import QuantumScript
from pennylane.transforms import broadcast_expand, defer_measurements
from pennylane.transforms.core import transform
from pennylane.wires import Wires

from .translate import unsupported


def _first(results: Sequence[Any]) -> Any:
    return results[0]


def _excitation_with_phase(op: Operator, outside: int) -> list[Operator]:
    """DoubleExcitation(phi) times exp(i outside phi/2) off its subspace {|0011>, |1100>}."""
    phi = op.data[0]
    a, b, c, d = op.wires
    half = outside * phi / 2
    with qml.QueuingManager.stop_recording():
        return [qml.GlobalPhase(-half, wires=op.wires), qml.DoubleExcitation(phi, wires=op.wires),
                qml.ctrl(qml.GlobalPhase(half), control=[a, b, c, d], control_values=[0, 0, 1, 1]),
                qml.ctrl(qml.GlobalPhase(half), control=[a, b, c, d], control_values=[1, 1, 0, 0])]


_EXACT = {"DoubleExcitationPlus": 1, "DoubleExcitationMinus": -1}


def decompose_or_by_matrix(op: Operator) -> Sequence[Operator]:
    """The decomposition ``decompose`` applies to an operation the device does not run."""
    if op.has_decomposition:
        return list(op.decomposition())
    if op.name in _EXACT:
        return _excitation_with_phase(op, _EXACT[op.name])
    angles = [p for p in op.data if np.ndim(p) == 0]
    if op.has_matrix and not angles:
        matrix = op.matrix()
        if np.allclose(matrix @ matrix.conj().T, np.eye(matrix.shape[0]), rtol=0, atol=1e-10):
            return [QubitUnitary(matrix, wires=op.wires)]
    raise DecompositionUndefinedError


_PREPARES: dict[type, bool] = {}
"""Operator class -> whether it prepares a state (isinstance through ABCMeta is slow per
call, and a gradient's batch asks it of every operation of every tape)."""


def _prepares(cls: type) -> bool:
    found = _PREPARES.get(cls)
    if found is None:
        found = _PREPARES[cls] = issubclass(cls, StatePrepBase)
    return found


@transform  # type: ignore[untyped-decorator]
def prepare_from_zero(tape: QuantumScript, name: str = "velquin.qubit"
                      ) -> tuple[Sequence[QuantumScript], Any]:
    """Refuse a state preparation on a wire an earlier operation acted on, or of amplitudes
    that are not finite (its gates' angles would be undefined)."""
    if not any(_prepares(type(op)) for op in tape.operations):
        return (tape,), _first
    touched: set[object] = set()
    for op in tape.operations:
        if isinstance(op, StatePrepBase):
            if not touched.isdisjoint(op.wires):
                raise DeviceError(
                    f"Operator {op} prepares a state on wires that earlier operations act on; "
                    f"{name} prepares states only on wires still in |0>")
            if not all(np.all(np.isfinite(np.asarray(d))) for d in op.data):
                raise unsupported(op, "its amplitudes are not finite; velquin.qubit prepares "
                                      "a state by gates whose angles they define")
        touched.update(op.wires)
    return (tape,), _first


@transform  # type: ignore[untyped-decorator]
def defer_within(tape: QuantumScript, device_wires: Wires | None, name: str = "velquin.qubit"
                 ) -> tuple[Sequence[QuantumScript], Any]:
    """Mid-circuit measurements deferred onto extra wires, which the device must have."""
    tapes, combine = defer_measurements(tape, allow_postselect=False)
    if device_wires is None or tapes[0] is tape:
        return tapes, combine
    added = [w for t in tapes for w in t.wires if w not in tape.wires]
    if any(w not in device_wires for w in added):
        measured = ", ".join(f"qml.measure({op.wires[0]!r}{', reset=True' if op.reset else ''})"
                             for op in tape.operations if isinstance(op, MidMeasureMP))
        raise WireError(
            f"{name} simulates mid-circuit measurements by deferring them onto extra wires: "
            f"{measured} need(s) {len(set(added))} wire(s) besides the circuit's "
            f"{tape.wires.tolist()}, and the device's wires {device_wires.tolist()} have none "
            "to spare; make the device with more wires, or with wires=None")
    return tapes, combine


@transform  # type: ignore[untyped-decorator]
def expand_broadcasts(tape: QuantumScript) -> tuple[Sequence[QuantumScript], Any]:
    """One tape per broadcast index; counts come back as a list, other results stacked."""
    tapes, stack = broadcast_expand(tape)
    if len(tapes) == 1 and tapes[0] is tape or not any(
            isinstance(mp, CountsMP) for mp in tape.measurements):
        return tapes, stack
    many, partitioned = len(tape.measurements) > 1, tape.shots.has_partitioned_shots

    def combine(values: list[Any], mp: object) -> Any:
        return list(values) if isinstance(mp, CountsMP) else qml.math.stack(values)

    def per_bin(results: Sequence[Any]) -> Any:
        if many:
            return tuple(combine([r[m] for r in results], mp)
                         for m, mp in enumerate(tape.measurements))
        return combine(list(results), tape.measurements[0])

    def unstack(results: Sequence[Any]) -> Any:
        if partitioned:
            return tuple(per_bin([r[s] for r in results]) for s in range(tape.shots.num_copies))
        return per_bin(results)

    return tapes, unstack


def _channel(op: Operator) -> Operator | None:
    base = op.base if isinstance(op, Conditional) else op
    return base if isinstance(base, Channel) else None


@transform  # type: ignore[untyped-decorator]
def needs_shots(tape: QuantumScript, mcm_method: str | None, name: str = "velquin.qubit"
                ) -> tuple[Sequence[QuantumScript], Any]:
    """Refuse what needs shots on a tape without them, and trainable channel parameters."""
    trainable = set(tape.trainable_params)
    if tape.shots and not trainable:
        return (tape,), _first
    position = 0
    for op in tape.operations:
        channel = _channel(op)
        count = len(op.data)
        if channel is not None and trainable.intersection(range(position, position + count)):
            raise unsupported(op, f"its parameters are trainable, and {name} differentiates no "
                                  "noise channel; give them as plain numbers")
        position += count
        if tape.shots:
            continue
        if channel is not None:
            raise unsupported(op, "a noise channel needs shots: exact values of a noisy "
                                  f"circuit need a density matrix, and {name} holds a state "
                                  "vector (with shots, each shot is an exact trajectory); give "
                                  "the QNode shots, or use default.mixed")
        if isinstance(op, (MidMeasure, Conditional)) and mcm_method != "deferred":
            raise unsupported(op, f"mcm_method={mcm_method!r} needs shots: exact values of "
                                  "mid-circuit measurements would need every branch's state (a "
                                  f"density matrix), and {name} holds one state vector; give the "
                                  "QNode shots, or use mcm_method='deferred' (exact, on extra "
                                  "wires)")
    return (tape,), _first
