"""Measurements in Cirq's layout: records from velquin's counts, and simulate's one shot.

A measurement's bits are in the order of its qubits, each inverted where its
``invert_mask`` says so; a key measured by several operations has one
instance per operation, in circuit order, as in ``cirq.ResultDict.records``.
"""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass

import cirq
import numpy as np
import numpy.typing as npt
from velquin_adapters import counts_to_bits


@dataclass(frozen=True)
class Measurement:
    """One terminal measurement: its key, qubits, and which bits it inverts."""

    key: str
    qubits: tuple[cirq.Qid, ...]
    invert: tuple[bool, ...]

    @staticmethod
    def of(op: cirq.Operation) -> Measurement:
        gate = op.gate
        assert isinstance(gate, cirq.MeasurementGate)
        return Measurement(gate.key, tuple(op.qubits), tuple(gate.full_invert_mask()))


def _bits(measurements: Sequence[Measurement], counts: Mapping[str, int], n_qubits: int,
          where: Mapping[cirq.Qid, int | None], rng: np.random.Generator
          ) -> npt.NDArray[np.uint8]:
    columns = [where.get(q) for m in measurements for q in m.qubits]
    bits = counts_to_bits(counts, n_qubits, columns, rng)
    bits ^= np.array([b for m in measurements for b in m.invert], dtype=np.uint8)
    return bits


def records(measurements: Sequence[Measurement], counts: Mapping[str, int], n_qubits: int,
            where: Mapping[cirq.Qid, int | None], rng: np.random.Generator
            ) -> dict[str, npt.NDArray[np.int8]]:
    """``cirq.ResultDict`` records (shots x instances x bits, int8) of the shots in ``counts``.

    ``where`` gives each measured qubit's index in velquin's register of
    ``n_qubits`` qubits, or None for a qubit no gate touches (it reads 0).
    """
    bits = _bits(measurements, counts, n_qubits, where, rng).astype(np.int8)
    instances: dict[str, list[npt.NDArray[np.int8]]] = {}
    start = 0
    for m in measurements:
        instances.setdefault(m.key, []).append(bits[:, start:start + len(m.qubits)])
        start += len(m.qubits)
    return {key: np.stack(parts, axis=1) for key, parts in instances.items()}


def empty_records(measurements: Sequence[Measurement]) -> dict[str, npt.NDArray[np.int8]]:
    """The records of zero repetitions."""
    sizes: dict[str, list[int]] = {}
    for m in measurements:
        sizes.setdefault(m.key, []).append(len(m.qubits))
    return {key: np.zeros((0, len(s), s[0]), np.int8) for key, s in sizes.items()}


def collapse(state: npt.NDArray[np.complex128], n_qubits: int,
             measurements: Sequence[Measurement], counts: Mapping[str, int],
             where: Mapping[cirq.Qid, int]) -> dict[str, npt.NDArray[np.uint8]]:
    """Project ``state`` in place onto the one shot in ``counts`` and renormalise it.

    Returns each key's bits (its last measurement's), as
    ``cirq.StateVectorTrialResult.measurements`` holds them.
    """
    (outcome,) = counts
    tensor = state.reshape((2,) * n_qubits)
    for qubit in {q for m in measurements for q in m.qubits}:
        v = where[qubit]
        other = [slice(None)] * n_qubits
        other[n_qubits - 1 - v] = slice(1 - int(outcome[n_qubits - 1 - v]),
                                        2 - int(outcome[n_qubits - 1 - v]))
        tensor[tuple(other)] = 0
    state /= math.sqrt(np.vdot(state, state).real)
    rng = np.random.default_rng(0)  # one shot: its order cannot matter
    bits = _bits(measurements, counts, n_qubits, where, rng)[0]
    result: dict[str, npt.NDArray[np.uint8]] = {}
    start = 0
    for m in measurements:
        result[m.key] = bits[start:start + len(m.qubits)].copy()
        start += len(m.qubits)
    return result
