"""Tapes with shots: measurements grouped as default.qubit groups them, each group read from
one set of velquin's samples.

The grouping is default.qubit's (``pennylane.devices.qubit.sampling``):
measurements of Pauli words that commute qubit-wise share a group; those
without an observable share another; every other observable and every
classical shadow has one of its own. A group's samples are drawn from the
tape's program followed by the group's diagonalizing gates, and each
measurement reads them with its own ``process_samples`` (so ``counts`` keeps
all outcomes and a sum samples its own eigenvalues, as default.qubit's do).
The expectation value of a sum (a Hamiltonian, a ``Sum``) is the sum of its
terms' values, the terms grouped again in the same way. Classical shadows
take random bases per shot: PennyLane's ``process_state_with_shots`` on the
engine's state. A shot vector's bins are consecutive slices of one set of
``total_shots`` samples.

Seeds: group ``g`` of tape ``i`` (terms of a sum: sub-group ``j`` of it,
``(i, g, j)``, and so on) takes velquin_adapters' ``job_seeds(root, path)``:
its first word seeds velquin's sampling, its generator a shadow's outcomes.
"""

from __future__ import annotations

import copy
from collections.abc import Callable, Sequence
from typing import Any

import numpy as np
import pennylane as qml
from pennylane.measurements import (
    ClassicalShadowMP,
    ExpectationMP,
    MeasurementProcess,
    SampleMeasurement,
    ShadowExpvalMP,
    Shots,
)
from pennylane.operation import Operator
from pennylane.ops import LinearCombination, Prod, SProd, Sum
from pennylane.tape import QuantumScript
from pennylane.wires import Wires
from velquin_adapters import columns, job_seeds

from .batch import Batch, angles_of
from .structures import Structures, measured_wires

PerBin = Callable[[], list[Any]]
"""After the batch has run: one measurement's value in each shot bin."""


def _group(mps: list[MeasurementProcess]) -> list[list[int]]:
    """default.qubit's groups of measurement indices (``_group_measurements``)."""
    if len(mps) == 1:
        return [[0]]
    pauli: list[int] = []
    no_obs: list[int] = []
    others: list[list[int]] = []
    for i, mp in enumerate(mps):
        if isinstance(mp, (ClassicalShadowMP, ShadowExpvalMP)):
            others.append([i])
        elif mp.obs is None:
            no_obs.append(i)
        elif qml.pauli.is_pauli_word(mp.obs):
            pauli.append(i)
        else:
            others.append([i])
    groups = []
    if pauli:
        parts = qml.pauli.compute_partition_indices([mps[i].obs for i in pauli])
        groups = [[pauli[k] for k in part] for part in parts]
    return groups + ([no_obs] if no_obs else []) + others


def _simplified(mps: Sequence[MeasurementProcess]) -> list[MeasurementProcess]:
    """Sums, products and scalar products simplified, as default.qubit does before grouping
    several measurements (on copies: the tape keeps its own)."""
    if len(mps) == 1:
        return list(mps)
    out = []
    for mp in mps:
        if isinstance(mp.obs, (Sum, SProd, Prod)):
            mp = copy.copy(mp)
            mp.obs = qml.simplify(mp.obs)
        out.append(mp)
    return out


def _rotation(mps: Sequence[MeasurementProcess]) -> list[Operator]:
    """The gates that rotate a group into the computational basis (default.qubit's)."""
    if len(mps) == 1:
        return list(mps[0].diagonalizing_gates())
    if all(mp.obs for mp in mps):
        return list(qml.pauli.diagonalize_qwc_pauli_words([mp.obs for mp in mps])[0])
    return []


class Sampler:
    """One tape's groups of measurements as requests on the batch."""

    def __init__(self, tape: QuantumScript, root: int, index: int, structures: Structures,
                 batch: Batch, lower: Callable[[list[Operator]], list[Operator]]) -> None:
        self.ops = tape.operations
        self.shots: Shots = tape.shots
        self.root, self.index = root, index
        self.structures, self.batch, self.lower = structures, batch, lower

    def measure(self, mps: Sequence[MeasurementProcess], path: tuple[int, ...]) -> list[PerBin]:
        """Each measurement's values per bin, groups numbered from ``path``."""
        mps = _simplified(mps)
        out: list[PerBin | None] = [None] * len(mps)
        for g, indices in enumerate(_group(mps)):
            group = [mps[i] for i in indices]
            where = (*path, g)
            first = group[0]
            if isinstance(first, ExpectationMP) and isinstance(first.obs, Sum):
                if isinstance(first.obs, LinearCombination):
                    coefficients, terms = first.obs.terms()
                else:
                    coefficients, terms = [1.0] * len(first.obs), list(first.obs)
                parts = self.measure([ExpectationMP(t) for t in terms], where)
                readers: list[PerBin] = [_sum(coefficients, parts)]
            elif isinstance(first, (ClassicalShadowMP, ShadowExpvalMP)):
                readers = [self._shadow(first, where)]
            else:
                readers = self._samples(group, where)
            for i, reader in zip(indices, readers):
                out[i] = reader
        return [r for r in out if r is not None]

    def _samples(self, group: list[MeasurementProcess], path: tuple[int, ...]) -> list[PerBin]:
        ops = [*self.ops, *self.lower(_rotation(group))]
        structure = self.structures.of(ops, measured_wires(group))
        seed = job_seeds(self.root, (self.index, *path)).velquin
        request, r = self.batch.add("samples", structure, ops, angles_of(ops, structure),
                                    self.shots.total_shots, seed)
        mapped = structure.mapped(group)
        n_wires = len(structure.kept)
        wire_order = Wires(range(n_wires))
        bins = list(self.shots.bins())
        # Column p of the samples is kept wire p, register qubit n_wires - 1 - p.
        qubits = list(range(n_wires - 1, -1, -1))
        cache: list[Any] = []

        def samples() -> Any:
            if not cache:
                cache.append(columns(request.results[r], qubits).astype(np.int64))
            return cache[0]

        def reader(mp: MeasurementProcess) -> PerBin:
            assert isinstance(mp, SampleMeasurement)
            return lambda: [mp.process_samples(samples()[lower:upper], wire_order)
                            for lower, upper in bins]

        return [reader(mp) for mp in mapped]

    def _shadow(self, mp: MeasurementProcess, path: tuple[int, ...]) -> PerBin:
        assert isinstance(mp, (ClassicalShadowMP, ShadowExpvalMP))
        structure = self.structures.of(self.ops, measured_wires([mp]))
        request, r = self.batch.add("shadows", structure, self.ops,
                                    angles_of(self.ops, structure))
        mapped = _shadow_on(mp, structure.position)
        n_wires = len(structure.kept)
        rng = job_seeds(self.root, (self.index, *path)).rng()

        def reader() -> list[Any]:
            tensor = request.results[r][: 2 ** n_wires].reshape((2,) * n_wires)
            return [mapped.process_state_with_shots(tensor, Wires(range(n_wires)), s, rng=rng)
                    for s in self.shots]

        return reader


def _shadow_on(mp: ClassicalShadowMP | ShadowExpvalMP, position: dict[Any, int] | None
               ) -> ClassicalShadowMP | ShadowExpvalMP:
    """``mp`` on the kept wires' positions. (PennyLane's ``map_wires`` leaves a shadow
    expectation value's observables on their old wires.)"""
    if position is None:
        return mp
    if isinstance(mp, ShadowExpvalMP):
        observables = mp.H
        moved = ([h.map_wires(position) for h in observables] if isinstance(observables, Sequence)
                 else observables.map_wires(position))
        return ShadowExpvalMP(moved, seed=mp.seed, k=mp.k)
    return mp.map_wires(position)


def _sum(coefficients: Sequence[Any], parts: list[PerBin]) -> PerBin:
    def reader() -> list[Any]:
        values = [part() for part in parts]
        return [sum(c * v[b] for c, v in zip(coefficients, values))
                for b in range(len(values[0]))] if values else []
    return reader


def plan_sampled(tape: QuantumScript, root: int, index: int, structures: Structures,
                 batch: Batch, lower: Callable[[list[Operator]], list[Operator]]
                 ) -> Callable[[], Any]:
    """Adds tape ``index``'s samples to ``batch``; the returned function, called after the
    batch has run, gives the tape's result in PennyLane's layout (with a shot vector, one
    entry per bin)."""
    readers = Sampler(tape, root, index, structures, batch, lower).measure(
        tape.measurements, ())
    return tape_result(readers, tape)


def tape_result(readers: Sequence[PerBin], tape: QuantumScript) -> Callable[[], Any]:
    """The tape's result from one reader per measurement, in PennyLane's layout: a tuple per
    shot-vector bin (one value where the tape has one measurement), the bins a tuple."""
    shots = tape.shots

    def result() -> Any:
        per_mp = [reader() for reader in readers]
        if not per_mp:
            return ()
        per_bin = [per_mp[0][b] if len(per_mp) == 1 else tuple(v[b] for v in per_mp)
                   for b in range(shots.num_copies)]
        return tuple(per_bin) if shots.has_partitioned_shots else per_bin[0]

    return result
