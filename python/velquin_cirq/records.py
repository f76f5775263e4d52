"""Measurements in Cirq's layout: records from the engine's per-shot outcomes or classical
bits, and ``simulate``'s one shot with the state collapsed onto it.

A measurement's bits are in the order of its qubits, each inverted where its
``invert_mask`` says so; a key measured by several operations has one instance per
operation, in circuit order, as in ``cirq.ResultDict.records``.
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

import cirq
import numpy as np
import numpy.typing as npt
import velquin_adapters as va


@dataclass(frozen=True)
class Measurement:
    """One measurement: its key, qubits, and which bits it inverts."""

    key: str
    qubits: tuple[cirq.Qid, ...]
    invert: tuple[bool, ...]

    @staticmethod
    def of(op: cirq.Operation) -> Measurement:
        gate = op.gate
        assert isinstance(gate, cirq.MeasurementGate)
        return Measurement(gate.key, tuple(op.qubits), tuple(gate.full_invert_mask()))


def _columns(outcomes: npt.NDArray[np.uint64], positions: Sequence[int | None]
             ) -> npt.NDArray[np.uint8]:
    """``velquin_adapters.columns`` (bit q of an outcome is register qubit q), several times
    faster where the qubits run down by one, as a measurement of qubits in Cirq's order does:
    then the outcomes, as big-endian integers just wide enough, are unpacked in one flat pass
    and the columns are a view of that (a register holds at most 30 qubits)."""
    k, top = len(positions), positions[0] if positions else None
    if top is None or any(p != top - i for i, p in enumerate(positions)):
        return va.columns(outcomes, positions)
    width = 8 if top < 8 else 16 if top < 16 else 32
    big = outcomes.astype(f">u{width // 8}")
    bits = np.unpackbits(big.view(np.uint8)).reshape(*outcomes.shape, width)
    first = width - 1 - top  # column j of the unpacked integers is bit width - 1 - j
    return bits[..., first:first + k]


def _bits(measurements: Sequence[Measurement], outcomes: npt.NDArray[np.uint64],
          positions: Sequence[int | None]) -> npt.NDArray[np.int8]:
    """(..., bits): every measured bit of each outcome, inverted where asked."""
    bits = _columns(outcomes, positions)
    invert = np.array([b for m in measurements for b in m.invert], dtype=np.uint8)
    if invert.any():
        bits ^= invert
    return bits.view(np.int8)


def _grouped(measurements: Sequence[Measurement], bits: npt.NDArray[Any]
             ) -> list[dict[str, npt.NDArray[Any]]]:
    """Per sweep point of (points, shots, bits) ``bits``, Cirq's records (shots x instances
    x bits): each key's measurements in order, views of ``bits`` where a key has one."""
    out = []
    for point in bits:
        instances: dict[str, list[npt.NDArray[Any]]] = {}
        start = 0
        for m in measurements:
            instances.setdefault(m.key, []).append(point[:, start:start + len(m.qubits)])
            start += len(m.qubits)
        out.append({key: parts[0][:, None] if len(parts) == 1 else np.stack(parts, axis=1)
                    for key, parts in instances.items()})
    return out


def records(measurements: Sequence[Measurement], outcomes: npt.NDArray[np.uint64],
            positions: Sequence[int | None]) -> list[dict[str, npt.NDArray[np.int8]]]:
    """Per sweep point, ``cirq.ResultDict`` records (shots x instances x bits, int8 as
    Cirq's sampled terminal measurements) of the (points, shots) basis indices ``outcomes``.

    ``positions`` gives the register index of each measured qubit (the measurements' qubits
    in order), or None for a qubit no gate touches (it reads 0).
    """
    return _grouped(measurements, _bits(measurements, outcomes, positions))


def shot_records(measurements: Sequence[Measurement], bits: npt.NDArray[np.uint8]
                 ) -> list[dict[str, npt.NDArray[np.uint8]]]:
    """Per sweep point, records (uint8, as Cirq's records of trajectories) of the engine's
    (points, shots, classical bits) ``bits``: every measurement's bits in circuit order,
    inverted where its ``invert_mask`` says so (after any readout error, as Cirq's)."""
    invert = np.array([b for m in measurements for b in m.invert], dtype=np.uint8)
    if invert.any():
        bits = bits ^ invert
    return _grouped(measurements, bits)


def last_records(measurements: Sequence[Measurement], bits: npt.NDArray[np.uint8]
                 ) -> dict[str, npt.NDArray[np.uint8]]:
    """Each key's last record in one trajectory's classical ``bits``, inverted where asked,
    as ``cirq.StateVectorTrialResult.measurements`` holds them."""
    result: dict[str, npt.NDArray[np.uint8]] = {}
    start = 0
    for m in measurements:
        record = bits[start:start + len(m.qubits)] ^ np.array(m.invert, dtype=np.uint8)
        result[m.key] = record
        start += len(m.qubits)
    return result


def collapse(state: npt.NDArray[np.complex128], measurements: Sequence[Measurement],
             outcome: int, where: dict[cirq.Qid, int]) -> dict[str, npt.NDArray[np.uint8]]:
    """Project ``state`` in place onto the basis index ``outcome``'s values of the measured
    qubits and renormalise it; each key's bits (its last measurement's), as
    ``cirq.StateVectorTrialResult.measurements`` holds them."""
    n = int(state.size).bit_length() - 1
    tensor = state.reshape((2,) * n)
    for qubit in {q for m in measurements for q in m.qubits}:
        v = where[qubit]
        other = [slice(None)] * n
        other[n - 1 - v] = slice(1 - (outcome >> v & 1), 2 - (outcome >> v & 1))
        tensor[tuple(other)] = 0
    state /= math.sqrt(np.vdot(state, state).real)
    positions = [where[q] for m in measurements for q in m.qubits]
    bits = _bits(measurements, np.array([outcome], dtype=np.uint64), positions)[0]
    result: dict[str, npt.NDArray[np.uint8]] = {}
    start = 0
    for m in measurements:
        result[m.key] = bits[start:start + len(m.qubits)].view(np.uint8).copy()
        start += len(m.qubits)
    return result
