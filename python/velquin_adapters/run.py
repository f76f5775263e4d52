"""Programs run on velquin's companion engine: state vectors, probabilities, per-shot samples
and expectation values, each for one parameter set or many in one call, and the picklable
jobs that send them to an executor's workers."""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

import _velquin_native as native

from .observables import PauliSum
from .program import Program

# Every function below takes cancel=: a _velquin_native.Cancel that stops the engine's work
# from another thread (it cannot travel with a job to another process).
Cancel = native.Cancel


def state(program: Program, params: npt.NDArray[np.float64] | None = None, *,
          cancel: Cancel | None = None) -> npt.NDArray[np.complex128]:
    """The final state (global phase included) for one parameter set; never copied."""
    return program.compiled().state(params, cancel=cancel)


def probabilities(program: Program, params: npt.NDArray[np.float64] | None,
                  qubits: Sequence[int] | None = None, *, cancel: Cancel | None = None
                  ) -> npt.NDArray[np.float64]:
    """Outcome probabilities of ``qubits`` (bit i of an outcome is qubits[i])."""
    return program.compiled().probabilities(params, qubits, cancel=cancel)


@dataclass(frozen=True, slots=True)
class SampleJob:
    """Shots of a program for rows of parameter sets, one seed per row."""

    program: Program
    rows: npt.NDArray[np.float64]  # (sets, n_params)
    shots: int
    seeds: tuple[int, ...]


def sample(job: SampleJob, *, cancel: Cancel | None = None) -> npt.NDArray[np.uint64]:
    """Per-shot basis indices, (sets, shots): row i drawn with seeds[i], as velquin's
    ``measure_counts(shots, seed)`` draws them."""
    return job.program.compiled().sample(job.rows, job.shots, list(job.seeds), cancel=cancel)


@dataclass(frozen=True, slots=True)
class ExpectationJob:
    """Expectation values of observables for rows of parameter sets."""

    program: Program
    rows: npt.NDArray[np.float64]
    observables: tuple[PauliSum, ...]


def expectations(job: ExpectationJob, *, cancel: Cancel | None = None
                 ) -> npt.NDArray[np.complex128]:
    """(sets, observables): each observable's value in each set's final state."""
    if not job.observables:
        return np.zeros((job.rows.shape[0], 0), dtype=np.complex128)
    return job.program.compiled().expectations(job.rows, [o.native() for o in job.observables],
                                               cancel=cancel)


def split_rows(rows: npt.NDArray[np.float64], pieces: int) -> list[npt.NDArray[np.float64]]:
    """``rows`` in at most ``pieces`` contiguous parts, for an executor's workers."""
    pieces = max(1, min(pieces, rows.shape[0]))
    bounds = np.linspace(0, rows.shape[0], pieces + 1).astype(int)
    return [rows[bounds[i]:bounds[i + 1]] for i in range(pieces) if bounds[i] < bounds[i + 1]]


@dataclass(frozen=True, slots=True)
class ShotsJob:
    """Shots of a dynamic program (measurements, resets, noise, conditions) for rows of
    parameter sets, one seed per row."""

    program: Program
    rows: npt.NDArray[np.float64]
    shots: int
    seeds: tuple[int, ...]


def run_shots(job: ShotsJob, *, cancel: Cancel | None = None) -> npt.NDArray[np.uint8]:
    """(sets, shots, n_clbits) classical bits: each shot a seeded trajectory (shot i on stream
    i of its row's seed), shots sharing their state until their outcomes differ."""
    return job.program.compiled().run_shots(job.rows, job.shots, list(job.seeds), cancel=cancel)


@dataclass(frozen=True, slots=True)
class TrajectoryJob:
    """Trajectory means of observables for rows of parameter sets."""

    program: Program
    rows: npt.NDArray[np.float64]
    shots: int
    seeds: tuple[int, ...]
    observables: tuple[PauliSum, ...]


def trajectory_means(job: TrajectoryJob, *, cancel: Cancel | None = None
                     ) -> npt.NDArray[np.float64]:
    """(sets, observables): each observable's mean over `shots` trajectories."""
    return job.program.compiled().trajectory_means(job.rows, job.shots, list(job.seeds),
                                                   [o.native() for o in job.observables],
                                                   cancel=cancel)

