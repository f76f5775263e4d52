"""A plan played on velquin, measured with PennyLane's own measurement code.

Without shots, the final state is velquin's amplitude array, viewed as a
tensor with one axis per wire (see plan.py: no transposition), and every
measurement goes through PennyLane's ``measure``, the code default.qubit uses
(an expectation value of a Pauli sum through its cached sparse matrix, the
product PennyLane's ``csr_dot_products`` forms: see observables.py).
With shots, each group of measurements is sampled by velquin (its seeded
sampler: the same seed gives the same counts everywhere), the counts become
per-shot rows in a seeded random order (velquin_adapters.counts_to_bits), and
each measurement reads them with its own ``process_samples``.
"""

from __future__ import annotations

from typing import Any

import numpy as np
from pennylane.devices.qubit.measure import measure
from pennylane.measurements import StateMP
from pennylane.wires import Wires
from velquin_adapters import Job, counts, counts_to_bits, statevector

from .plan import Plan


def _exact(plan: Plan) -> list[Any]:
    # The global phase is visible only in the state itself.
    phase = any(isinstance(mp, StateMP) for mp in plan.measurements)
    state = statevector(Job(max(1, plan.n_wires), plan.gates, plan.global_phase), phase=phase)
    # With no wire kept, velquin still simulated one idle qubit: its |0> amplitude is the state.
    state = state[: 2 ** plan.n_wires]
    tensor = state.reshape((2,) * plan.n_wires)
    matrices = plan.matrices or (None,) * len(plan.measurements)
    return [measure(mp, tensor) if matrix is None else np.vdot(state, matrix @ state).real
            for mp, matrix in zip(plan.measurements, matrices)]


def _sampled(plan: Plan) -> list[Any]:
    n_qubits = max(1, plan.n_wires)
    wire_order = Wires(range(plan.n_wires))
    # Column p of the samples is wire p, which is velquin qubit n_wires - 1 - p.
    columns = [plan.n_wires - 1 - p for p in range(plan.n_wires)]
    bins = list(plan.shots.bins())
    results: list[Any] = [None] * len(plan.measurements)
    for group in plan.groups:
        job = Job(n_qubits, [*plan.gates, *group.gates], shots=plan.shots.total_shots,
                  seed=group.seeds.velquin)
        samples = counts_to_bits(counts(job), n_qubits, columns, group.seeds.rng())
        samples = samples.astype(np.int64)
        for i in group.indices:
            mp = plan.measurements[i]
            per_bin = tuple(mp.process_samples(samples[lower:upper], wire_order)
                            for lower, upper in bins)
            results[i] = per_bin if plan.shots.has_partitioned_shots else per_bin[0]
    return results


def run(plan: Plan) -> Any:
    """The tape's result in PennyLane's layout: one value per measurement (the value alone
    for one measurement), and with a shot vector one such entry per shot bin."""
    results = _sampled(plan) if plan.shots else _exact(plan)
    if not results:
        return ()
    if plan.shots.has_partitioned_shots:
        per_bin = [tuple(r[b] for r in results) for b in range(plan.shots.num_copies)]
        return tuple(r[0] if len(results) == 1 else r for r in per_bin)
    return results[0] if len(results) == 1 else tuple(results)
