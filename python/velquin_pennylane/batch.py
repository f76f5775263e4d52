"""A batch's engine work: the tapes that share a structure run as one program, in one call.

Each tape asks for what it needs of its structure's program: expectation values
of Pauli sums, its final state, or samples. The requests of one kind on one
structure (and, for samples, one shot count) become one engine call with one
row of angles per tape: ``velquin_adapters.expectations``, ``sample`` or
``states`` below. With an executor the rows are split into parts that run on
its workers; every row carries its own seed, so results are those of a serial
run. Nothing runs until ``run``.
"""

from __future__ import annotations

import os
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import Any

import numpy as np
import numpy.typing as npt
from pennylane.operation import Operator
from velquin_adapters import (
    ExpectationJob,
    Executor,
    Program,
    SampleJob,
    ShotsJob,
    expectations,
    fan_out,
    run_shots,
    sample,
    split_rows,
    state,
)

from .observables import Part
from .structures import Structure
from .translate import operation_of, real_rows, row, unsupported

ROWS_PER_PART = 16
"""With an executor, rows of one call go out in parts of at most this many."""


@dataclass(frozen=True, slots=True)
class StatesJob:
    """Final states of a program for rows of parameter sets."""

    program: Program
    rows: npt.NDArray[np.float64]


def states(job: StatesJob) -> list[npt.NDArray[np.complex128]]:
    return [state(job.program, r) for r in job.rows]


@dataclass(frozen=True, slots=True)
class GradientJob:
    """Expectation values of observables and their derivatives in every parameter, by the
    engine's adjoint method, for rows of parameter sets."""

    program: Program
    rows: npt.NDArray[np.float64]
    observables: tuple[Part, ...]


def gradients(job: GradientJob) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """(sets, observables) values and (sets, observables, parameters) derivatives."""
    sets = job.rows.shape[0]
    if not job.observables:
        return np.zeros((sets, 0)), np.zeros((sets, 0, job.program.n_params))
    return job.program.compiled().gradient(job.rows, [o.native() for o in job.observables])


Job = ExpectationJob | SampleJob | StatesJob | GradientJob | ShotsJob


def run_job(job: Job) -> Any:
    if isinstance(job, ExpectationJob):
        return expectations(job)
    if isinstance(job, SampleJob):
        return sample(job)
    if isinstance(job, ShotsJob):
        return run_shots(job)
    if isinstance(job, GradientJob):
        return gradients(job)
    return states(job)


@dataclass(slots=True)
class Request:
    """The rows of one kind of engine call on one structure; after ``Batch.run``,
    ``results[i]`` answers row ``i``."""

    kind: str
    structure: Structure
    shots: int = 0
    rows: list[list[object]] = field(default_factory=list)
    ops: list[Sequence[Operator]] = field(default_factory=list)
    seeds: list[int] = field(default_factory=list)
    observables: list[Any] = field(default_factory=list)
    columns: dict[int, int] = field(default_factory=dict)
    results: Any = None

    def column(self, observable: Part) -> int:
        """The column of ``observable`` in this request's expectation values."""
        found = self.columns.get(id(observable))
        if found is None:
            found = self.columns[id(observable)] = len(self.observables)
            self.observables.append(observable)
        return found


class Batch:
    """The engine calls of one batch of tapes (see the module docstring)."""

    def __init__(self) -> None:
        self._requests: dict[tuple[str, int, int], Request] = {}

    def add(self, kind: str, structure: Structure, ops: Sequence[Operator], angles: list[object],
            shots: int = 0, seed: int = 0) -> tuple[Request, int]:
        """Asks for ``kind`` ("expectations", "gradients", "states", "samples", "shots":
        a dynamic program's classical bits, or "shadows": states to sample from) of
        ``structure`` with the angles of ``ops``; returns the request and the row that will
        answer."""
        key = (kind, id(structure), shots)
        request = self._requests.get(key)
        if request is None:
            request = self._requests[key] = Request(kind, structure, shots)
        request.rows.append(angles)
        request.ops.append(ops)
        request.seeds.append(seed)
        return request, len(request.rows) - 1

    def run(self, executor: Executor) -> None:
        """Runs every request, each as one engine call (split over ``executor``'s workers)."""
        jobs: list[Job] = []
        owners: list[Request] = []
        for request in self._requests.values():
            structure = request.structure
            rows = real_rows(request.rows, request.ops, structure.sources)
            if request.kind in ("samples", "shadows", "shots"):
                _check_samples(request, rows)
            parts = [rows] if executor is None else split_rows(
                rows, -(-rows.shape[0] // ROWS_PER_PART))
            start = 0
            for part in parts:
                jobs.append(_job(request, part, start))
                owners.append(request)
                start += part.shape[0]
        outputs = fan_out(run_job, jobs, executor)
        gathered: dict[int, list[Any]] = {}
        for request, output in zip(owners, outputs):
            gathered.setdefault(id(request), []).append(output)
        for request in self._requests.values():
            pieces = gathered.get(id(request), [])
            if request.kind in ("states", "shadows"):
                request.results = [s for piece in pieces for s in piece]
            elif request.kind == "gradients":
                request.results = tuple(np.concatenate(p) if len(pieces) > 1 else p[0]
                                        for p in zip(*pieces))
            else:
                request.results = np.concatenate(pieces) if len(pieces) > 1 else pieces[0]


def _job(request: Request, rows: npt.NDArray[np.float64], start: int) -> Job:
    program = request.structure.program
    if request.kind == "expectations":
        return ExpectationJob(program, rows, tuple(request.observables))
    if request.kind == "gradients":
        return GradientJob(program, rows, tuple(request.observables))
    if request.kind in ("samples", "shots"):
        seeds = tuple(request.seeds[start:start + rows.shape[0]])
        job = SampleJob if request.kind == "samples" else ShotsJob
        return job(program, rows, request.shots, seeds)
    return StatesJob(program, rows)


def _check_samples(request: Request, rows: npt.NDArray[np.float64]) -> None:
    """Refuses, before sampling, what cannot be sampled: a state made from non-finite
    angles or matrices (its probabilities are undefined), or more samples than fit in
    memory (a shadow's shots are drawn by PennyLane, whose NumPy arrays check their own)."""
    structure = request.structure
    bad = np.argwhere(~np.isfinite(rows))
    if bad.size:
        tape, slot = (int(x) for x in bad[0])
        op = operation_of(request.ops[tape], structure.sources, slot)
        raise unsupported(op, f"its parameter {rows[tape, slot]} is not finite, so the "
                              "state's outcome probabilities are undefined")
    if structure.bad_payload is not None:
        op = request.ops[0][structure.bad_payload]
        raise unsupported(op, "its matrix is not finite, so the state's outcome probabilities "
                              "are undefined")
    if request.kind == "shadows":
        return
    # Per shot: the engine's 8-byte outcome (a dynamic program's byte per classical bit),
    # then PennyLane's 8-byte sample per wire.
    first = 8 if request.kind == "samples" else structure.program.n_clbits
    needed = request.shots * len(request.rows) * (first + 8 * len(structure.kept))
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")
    if needed > memory:
        raise MemoryError(
            f"velquin.qubit cannot hold {request.shots} shots of {len(structure.kept)} "
            f"wire(s) for {len(request.rows)} circuit(s): their samples need {needed} bytes, "
            f"and this machine has {memory}")


def angles_of(ops: Sequence[Operator], structure: Structure) -> list[object]:
    """The row of ``ops`` (a tape of ``structure``)."""
    return row(ops, structure.sources)
