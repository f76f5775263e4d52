"""Tapes with shots that measure mid-circuit, run conditionally or draw noise: per-shot
trajectories on the engine, read as default.qubit reads its one-shot executions.

Each group of terminal measurements (grouped as sampling.py groups them) is one dynamic
program (dynamic.py): the tape's operations, the group's diagonalizing gates, and the group's
wires measured at the end, run for ``total_shots`` shots by ``run_shots``. Every group of a
tape runs with the same seed, so shot ``s`` of every group follows one trajectory (the same
mid-circuit outcomes and noise draws: the programs agree up to their terminal steps, and a
shot draws from its own stream, in step order). A measurement of mid-circuit values
(``qml.expval(m)``, ``qml.sample([m0, m1])``, ``qml.counts(2 * m0 + m1)``, ...) reads the
mid-circuit bits of the first group's shots, by PennyLane's own ``gather_mcm``.

Postselection: a shot whose postselected measurements came out otherwise is invalid. Invalid
shots are dropped from every measurement (``postselect_mode`` None or ``"hw-like"``, so
``qml.sample`` returns as many samples as shots were valid), or, with
``"pad-invalid-samples"``, samples keep their length with PennyLane's fill value in invalid
shots; a bin with no valid shot gives NaN, as default.qubit's one-shot method does.
``mcm_method="one-shot"`` and ``"tree-traversal"`` both run here: each shot is exact, and
shots share their state until their outcomes differ, which is what tree traversal saves.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from pennylane.measurements import (
    MeasurementProcess,
    ProbabilityMP,
    SampleMeasurement,
    SampleMP,
)
from pennylane.operation import Operator
from pennylane.ops import MidMeasure
from pennylane.tape import QuantumScript
from pennylane.transforms.dynamic_one_shot import fill_in_value, gather_mcm
from pennylane.wires import Wires
from velquin_adapters import job_seeds

from .batch import Batch, Request, angles_of
from .sampling import PerBin, Sampler, _rotation, tape_result
from .structures import Structures, measured_wires


def _no_shots(mp: MeasurementProcess) -> Any:
    """default.qubit's value of a measurement with no valid shot."""
    return np.nan * np.ones_like(mp.eigvals()) if isinstance(mp, ProbabilityMP) else np.nan


class Trajectories(Sampler):
    """One dynamic tape's groups as "shots" requests on the batch (see the module
    docstring)."""

    def __init__(self, tape: QuantumScript, root: int, index: int, structures: Structures,
                 batch: Batch, lower: Callable[[list[Operator]], list[Operator]],
                 postselect_mode: str | None) -> None:
        super().__init__(tape, root, index, structures, batch, lower)
        self.mcms = [op for op in tape.operations if isinstance(op, MidMeasure)]
        wanted = [(j, op.postselect) for j, op in enumerate(self.mcms) if op.postselect is not None]
        self.postselected = np.array([j for j, _ in wanted], dtype=np.int64)
        self.outcomes = np.array([v for _, v in wanted], dtype=np.uint8)
        self.pad = postselect_mode == "pad-invalid-samples"
        self.seed = job_seeds(root, (index,)).velquin
        self.first: tuple[Request, int] | None = None

    def _run(self, ops: list[Operator], group: Sequence[MeasurementProcess]
             ) -> tuple[Request, int]:
        structure = self.structures.dynamic(ops, measured_wires(group))
        found = self.batch.add("shots", structure, ops, angles_of(ops, structure),
                               self.shots.total_shots, self.seed)
        if self.first is None:
            self.first = found
        return found

    def valid(self, bits: npt.NDArray[np.uint8]) -> npt.NDArray[np.bool_]:
        """Shots whose postselected measurements gave the outcomes asked for."""
        if not self.postselected.size:
            return np.ones(bits.shape[0], dtype=bool)
        return np.all(bits[:, self.postselected] == self.outcomes, axis=1)

    def _samples(self, group: list[MeasurementProcess], path: tuple[int, ...]) -> list[PerBin]:
        ops = [*self.ops, *self.lower(_rotation(group))]
        request, r = self._run(ops, group)
        terminal = request.structure.terminal
        position = {w: p for p, w in enumerate(terminal)}
        order = Wires(range(len(terminal)))
        n_mcms = len(self.mcms)
        bins = list(self.shots.bins())
        cache: list[tuple[Any, Any]] = []

        def read() -> tuple[Any, Any]:
            if not cache:
                bits = request.results[r]
                cache.append((bits[:, n_mcms:].astype(np.int64), self.valid(bits)))
            return cache[0]

        def reader(mp: MeasurementProcess) -> PerBin:
            assert isinstance(mp, SampleMeasurement)
            mapped = mp.map_wires(position) if mp.wires else mp

            def per_bin() -> list[Any]:
                samples, valid = read()
                out = []
                for lower, upper in bins:
                    chosen, ok = samples[lower:upper], valid[lower:upper]
                    if self.pad and isinstance(mp, SampleMP):
                        value = mapped.process_samples(chosen, order)
                        out.append(np.where(ok.reshape((-1,) + (1,) * (value.ndim - 1)),
                                            value, fill_in_value))
                    elif not ok.any():
                        out.append(_no_shots(mp))
                    else:
                        out.append(mapped.process_samples(chosen[ok], order))
                return out

            return per_bin

        return [reader(mp) for mp in group]

    def _shadow(self, mp: MeasurementProcess, path: tuple[int, ...]) -> PerBin:
        raise TypeError(f"velquin.qubit cannot take {mp} of a circuit with mid-circuit "
                        "measurements or noise: it samples such a circuit shot by shot, and a "
                        "classical shadow needs its final state (PennyLane's one-shot method "
                        "does not support it either)")

    def mid_circuit(self, mp: MeasurementProcess) -> PerBin:
        """A measurement of mid-circuit values, from the first group's shots."""
        if self.first is None:
            self._run(list(self.ops), [])
        assert self.first is not None
        request, r = self.first
        bins = list(self.shots.bins())
        mcms = self.mcms

        def per_bin() -> list[Any]:
            bits = request.results[r]
            valid = self.valid(bits)
            out = []
            for lower, upper in bins:
                ok = valid[lower:upper]
                if not ok.any() and not self.pad:
                    out.append(_no_shots(mp))
                    continue
                values = {m: bits[lower:upper, j:j + 1].astype(np.int64)
                          for j, m in enumerate(mcms)}
                mode = "pad-invalid-samples" if self.pad else None
                out.append(gather_mcm(mp, values, ok, postselect_mode=mode))
            return out

        return per_bin


def plan_trajectories(tape: QuantumScript, root: int, index: int, structures: Structures,
                      batch: Batch, lower: Callable[[list[Operator]], list[Operator]],
                      postselect_mode: str | None) -> Callable[[], Any]:
    """Adds dynamic tape ``index``'s shots to ``batch``; the returned function, called after
    the batch has run, gives the tape's result (with a shot vector, one entry per bin)."""
    plan = Trajectories(tape, root, index, structures, batch, lower, postselect_mode)
    terminal = [k for k, mp in enumerate(tape.measurements) if mp.mv is None]
    readers: list[PerBin | None] = [None] * len(tape.measurements)
    for k, reader in zip(terminal, plan.measure([tape.measurements[k] for k in terminal], ())):
        readers[k] = reader
    for k, mp in enumerate(tape.measurements):
        if mp.mv is not None:
            readers[k] = plan.mid_circuit(mp)
    return tape_result([reader for reader in readers if reader is not None], tape)
