"""EstimatorV2: expectation values of Pauli sums from velquin's engine.

A PUB's parameter sets and observables broadcast against each other; each parameter set's
state is made once per engine call, and every observable that set needs is evaluated on it
(observables needing the same sets share one call), every sum in the engine's fixed tree.

A circuit that measures, resets, branches on outcomes or is noisy has no single final state:
its values are means over ``ceil(1 / precision**2)`` seeded trajectories (the shots Qiskit's
``BackendEstimatorV2`` takes for a precision), and at precision 0 it is refused, since exact
values would need a density matrix.
"""

from __future__ import annotations

import math
from collections.abc import Iterable, Sequence
from dataclasses import dataclass

import _velquin_native as native
import numpy as np
import numpy.typing as npt
from qiskit.primitives import BaseEstimatorV2, PrimitiveResult, PubResult
from qiskit.primitives.containers import DataBin, EstimatorPubLike
from qiskit.primitives.containers.estimator_pub import EstimatorPub
from velquin_adapters import (
    ExpectationJob,
    Executor,
    PauliSum,
    Program,
    TrajectoryJob,
    fan_out,
    job_seeds,
    split_rows,
)

from .angles import binding_values
from .jobs import CancellableJob, engine_call, expectations, pieces, trajectory_means
from .noise import NoiseSteps
from .observables import pauli_sum
from .refusals import UnsupportedInstructionError
from .seeds import SeedLike, check_seed, root_of
from .translation import Translation, Translator


@dataclass(frozen=True)
class _Group:
    """Observables needing the same parameter sets: one engine call."""

    sets: npt.NDArray[np.intp]        # the flat parameter sets, ascending
    observables: list[int]            # flat observable indices
    targets: npt.NDArray[np.intp]     # flat result indices this group fills
    row: npt.NDArray[np.intp]         # for each target: its set's position in ``sets``
    column: npt.NDArray[np.intp]      # for each target: its observable's position


@dataclass(frozen=True)
class _Plan:
    pub: EstimatorPub
    program: Program
    rows: npt.NDArray[np.float64]
    sums: dict[int, PauliSum]
    groups: list[_Group]
    trajectories: int
    """0 for exact values; else the trajectories each parameter set's values average."""
    seeds: tuple[int, ...]
    """Each parameter set's trajectory seed (path (pub, set)); empty for exact values."""


def _groups(pub: EstimatorPub) -> list[_Group]:
    shape = pub.shape
    sets = np.broadcast_to(np.arange(pub.parameter_values.size).reshape(
        pub.parameter_values.shape), shape).ravel()
    observables = np.broadcast_to(np.arange(pub.observables.size).reshape(
        pub.observables.shape), shape).ravel()
    # Each observable's result indices, then the parameter sets they need.
    order = np.argsort(observables, kind="stable")
    chunks = np.split(order, np.flatnonzero(np.diff(observables[order])) + 1) \
        if order.size else []
    by_sets: dict[tuple[int, ...], list[npt.NDArray[np.intp]]] = {}
    for chunk in chunks:
        by_sets.setdefault(tuple(np.unique(sets[chunk]).tolist()), []).append(chunk)
    groups = []
    for needed, parts in by_sets.items():
        used = np.array(needed, dtype=np.intp)
        targets = np.concatenate(parts)
        column = np.concatenate([np.full(p.size, c, dtype=np.intp) for c, p in enumerate(parts)])
        groups.append(_Group(used, [int(observables[p[0]]) for p in parts], targets,
                             np.searchsorted(used, sets[targets]), column))
    return groups


def trajectories(translation: Translation, precision: float, where: str) -> int:
    """The trajectories for ``precision`` (0 where the values are exact); refuses a dynamic
    or noisy circuit at precision 0."""
    if translation.dynamic is None:
        return 0
    if precision == 0:
        fix = ("give a positive precision for the mean over ceil(1 / precision**2) seeded "
               "trajectories")
        if translation.noisy is not None:
            raise UnsupportedInstructionError(
                f"{where}: exact noisy expectation values need a density matrix, which velquin "
                f"does not simulate (the noise model gives {translation.noisy} an error); "
                + fix)
        described, reason = translation.dynamic
        raise UnsupportedInstructionError(
            f"{where}: exact expectation values after {described} need a density matrix, which "
            f"velquin does not simulate ({reason}); " + fix)
    return max(1, math.ceil(1.0 / precision**2))


def _plan(pub: EstimatorPub, index: int, translate: Translator, root: int) -> _Plan:
    translation = translate(pub.circuit)
    where = f"PUB {index}"
    count = trajectories(translation, pub.precision, where)
    layout, program = translation.shrunk()
    rows = translation.angles.rows(binding_values(translation.angles, pub.parameter_values,
                                                  where))
    seeds = tuple(job_seeds(root, (index, i)).velquin for i in range(rows.shape[0])) \
        if count else ()
    groups = _groups(pub)
    flat = pub.observables.sparse_observables_array().reshape(-1)
    n = pub.circuit.num_qubits
    sums = {j: pauli_sum(flat[j], layout, n, f"{where}'s observable {j}")
            for group in groups for j in group.observables}
    return _Plan(pub, program, rows, sums, groups, count, seeds)


class EstimatorV2(BaseEstimatorV2):  # type: ignore[misc]
    """Qiskit's ``BaseEstimatorV2`` on velquin: expectation values of Pauli sums.

    ``precision`` 0 gives exact values with standard deviations 0; a positive precision adds
    Gaussian noise of that standard deviation to every value (stds then equal the
    precision), drawn from the PUB's seed (the run's root from ``seed``, which takes what
    ``numpy.random.default_rng`` takes, then path ``(pub_index,)``; see
    velquin_adapters.seeds). A circuit with measurements, resets, control flow or noise from
    ``noise_model`` (a ``qiskit_aer.noise.NoiseModel``) takes, for each parameter set at flat
    index ``i`` of PUB ``k``, the mean over ``ceil(1 / precision**2)`` trajectories seeded by
    path ``(k, i)`` (stds the precision, as Aer's estimator reports them); at precision 0 it
    is refused. ``executor`` (a ``concurrent.futures.Executor`` or a Dask ``Client``) computes
    the parameter sets in parallel; the results are those of a serial run. Ctrl-C while
    waiting on ``result()`` stops the computation.
    """

    def __init__(self, *, seed: SeedLike = None, default_precision: float = 0.0,
                 executor: Executor = None, noise_model: object = None) -> None:
        check_seed(seed)
        self._seed = seed
        self._default_precision = default_precision
        self._executor = executor
        self._noise_model = noise_model
        self._noise = None if noise_model is None else NoiseSteps(noise_model)

    @property
    def seed(self) -> SeedLike:
        return self._seed

    @property
    def default_precision(self) -> float:
        return self._default_precision

    @property
    def executor(self) -> Executor:
        return self._executor

    @property
    def noise_model(self) -> object:
        return self._noise_model

    def run(self, pubs: Iterable[EstimatorPubLike], *, precision: float | None = None
            ) -> CancellableJob:
        """Estimate every PUB; circuits are checked and translated before this returns."""
        if precision is None:
            precision = self._default_precision
        coerced = [EstimatorPub.coerce(pub, precision) for pub in pubs]
        translate = Translator(noise=self._noise, keep_measurements=True)
        root = root_of(self._seed)
        plans = [_plan(pub, index, translate, root) for index, pub in enumerate(coerced)]
        job = CancellableJob(self._run, plans, root)
        job._submit()
        return job

    def _run(self, plans: Sequence[_Plan], root: int, cancel: native.Cancel | None = None
             ) -> PrimitiveResult[PubResult]:
        exact: list[ExpectationJob] = []
        sampled: list[TrajectoryJob] = []
        owner: list[tuple[int, int, bool]] = []
        for k, plan in enumerate(plans):
            for g, group in enumerate(plan.groups):
                observables = tuple(plan.sums[j] for j in group.observables)
                rows = plan.rows[group.sets]
                start = 0
                for part in split_rows(rows, pieces(self._executor, rows.shape[0])):
                    if plan.trajectories:
                        seeds = tuple(plan.seeds[s] for s in
                                      group.sets[start:start + part.shape[0]].tolist())
                        sampled.append(TrajectoryJob(plan.program, part, plan.trajectories,
                                                     seeds, observables))
                    else:
                        exact.append(ExpectationJob(plan.program, part, observables))
                    owner.append((k, g, bool(plan.trajectories)))
                    start += part.shape[0]
        outputs = {
            False: iter(fan_out(engine_call(expectations, self._executor, cancel), exact,
                                self._executor)),
            True: iter(fan_out(engine_call(trajectory_means, self._executor, cancel), sampled,
                               self._executor))}
        values: dict[tuple[int, int], list[npt.NDArray[np.generic]]] = {}
        for k, g, kind in owner:
            values.setdefault((k, g), []).append(next(outputs[kind]))
        results = []
        for k, plan in enumerate(plans):
            pub = plan.pub
            evs = np.zeros(pub.shape, dtype=np.float64)
            flat = evs.reshape(-1)
            for g, group in enumerate(plan.groups):
                table = np.concatenate(values[(k, g)]).real
                flat[group.targets] = table[group.row, group.column]
            precision = pub.precision
            metadata = {"target_precision": precision,
                        "circuit_metadata": pub.circuit.metadata}
            if plan.trajectories:
                metadata["shots"] = plan.trajectories
            elif precision != 0:
                evs = np.asarray(job_seeds(root, (k,)).rng().normal(evs, precision),
                                 dtype=np.float64)
            results.append(PubResult(
                DataBin(evs=evs, stds=np.full(pub.shape, float(precision)), shape=pub.shape),
                metadata=metadata))
        return PrimitiveResult(results, metadata={"version": 2})
