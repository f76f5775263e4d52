"""What one sweep point asks of velquin: picklable items and module-level functions,
so ``velquin_adapters.fan_out`` can send them to worker processes or a Dask cluster."""

from __future__ import annotations

import cmath
from collections.abc import Sequence

import numpy as np
import numpy.typing as npt
import velquin_adapters as va

from . import observables


def final_state(job: va.Job) -> npt.NDArray[np.complex128]:
    """The job's state vector, global phase applied; a one-element state for no qubits."""
    if job.n_qubits == 0:
        return np.array([cmath.exp(1j * job.global_phase)])
    return va.statevector(job)


def final_state_and_shot(job: va.Job) -> tuple[npt.NDArray[np.complex128], dict[str, int]]:
    """The state and one shot sampled from it with the job's seed (two plays of the gates:
    sampling then reading the state needs no second copy of the register)."""
    shot = va.counts(va.Job(job.n_qubits, job.gates, shots=1, seed=job.seed))
    return va.statevector(job), shot


def expectations(item: tuple[Sequence[observables.Terms], va.Job]) -> list[float]:
    """The observables' expectation values in the job's final state (phase not applied)."""
    terms, job = item
    if job.n_qubits == 0:
        return [float(sum(c for c, _ in t)) for t in terms]
    return observables.expectations(terms, va.statevector(job, phase=False))
