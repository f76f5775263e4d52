"""EstimatorV2: exact expectation values from velquin's state vectors.

Values are Qiskit's: its Pauli expectation routines on velquin's array (see
expectation.py), observables reduced to the qubits the circuit acts on.
"""

from __future__ import annotations

from collections.abc import Iterable, Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt
from qiskit.primitives import BaseEstimatorV2, PrimitiveJob, PrimitiveResult, PubResult
from qiskit.primitives.containers import DataBin, EstimatorPubLike
from qiskit.primitives.containers.estimator_pub import EstimatorPub
from qiskit.quantum_info import PauliList, SparsePauliOp
from velquin_adapters import Executor, Job, Layout, fan_out, job_seeds, resolve_seed
from velquin_adapters import statevector as job_statevector

from .expectation import PauliTerms, expectation_value, prepare
from .translation import Translation, Translator, parameter_rows


def reduce_observable(observable: SparsePauliOp, layout: Layout) -> SparsePauliOp:
    """The observable on the register's qubits alone, with the same expectation value.

    Every qubit outside ``layout`` is in |0>: a term with X or Y there has
    expectation 0 and is dropped, and Z or I there is a factor 1.
    """
    active = list(layout.qubits)
    idle = np.setdiff1d(np.arange(observable.num_qubits), active)
    z, x = observable.paulis.z, observable.paulis.x
    keep = ~x[:, idle].any(axis=1)
    if not active:  # velquin's smallest register has one qubit
        z, x, active = np.zeros((len(keep), 1), bool), np.zeros((len(keep), 1), bool), [0]
    if not keep.any():
        return SparsePauliOp("I" * layout.n_qubits, 0.0)
    paulis = PauliList.from_symplectic(z[keep][:, active], x[keep][:, active],
                                       observable.paulis.phase[keep])
    return SparsePauliOp(paulis, observable.coeffs[keep], ignore_pauli_phase=False, copy=False)


def expectation_values(task: tuple[Job, Sequence[PauliTerms]]) -> list[float]:
    """Run in a worker: one state (velquin's array, never copied), each observable's value."""
    job, observables = task
    state = job_statevector(job, phase=False)
    return [expectation_value(state, op).real for op in observables]


@dataclass(frozen=True)
class _Plan:
    pub: EstimatorPub
    translation: Translation
    tasks: list[tuple[Job, list[PauliTerms]]]
    targets: list[npt.NDArray[np.intp]]  # per task, the flat result indices it fills


def _plan(pub: EstimatorPub, translate: Translator) -> _Plan:
    translation = translate(pub.circuit)
    gate_lists, _ = translation.bind(parameter_rows(translation, pub.parameter_values))
    shape = pub.shape
    params = np.broadcast_to(np.arange(pub.parameter_values.size).reshape(
        pub.parameter_values.shape), shape).ravel()
    observables = np.broadcast_to(np.arange(pub.observables.size).reshape(
        pub.observables.shape), shape).ravel()
    flat_observables = pub.observables.ravel()
    reduced: dict[int, PauliTerms] = {}
    for index in np.unique(observables).tolist():
        terms = flat_observables[index].items()
        op = SparsePauliOp(*zip(*terms)) if terms else SparsePauliOp(
            "I" * pub.observables.num_qubits, 0.0)
        reduced[index] = prepare(reduce_observable(op, translation.layout))
    tasks, targets = [], []
    n = translation.layout.n_qubits
    for p, gates in enumerate(gate_lists):
        where = np.flatnonzero(params == p)
        if where.size:
            tasks.append((Job(n, gates), [reduced[i] for i in observables[where].tolist()]))
            targets.append(where)
    return _Plan(pub, translation, tasks, targets)


class EstimatorV2(BaseEstimatorV2):  # type: ignore[misc]
    """Qiskit's ``BaseEstimatorV2`` on velquin: exact expectation values of Pauli sums.

    ``precision`` 0 gives exact values with standard deviations 0; a positive
    precision adds Gaussian noise of that standard deviation to every value
    (stds then equal the precision), drawn from the PUB's seed (``seed``
    resolved once per ``run``, then path ``(pub_index,)``; see
    velquin_adapters.seeds). ``executor`` (a ``concurrent.futures.Executor``
    or a Dask ``Client``) computes the parameter sets in parallel; the
    results are those of a serial run.
    """

    def __init__(self, *, seed: int | None = None, default_precision: float = 0.0,
                 executor: Executor = None) -> None:
        resolve_seed(seed)  # reject a bad seed now
        self._seed = seed
        self._default_precision = default_precision
        self._executor = executor

    @property
    def seed(self) -> int | None:
        return self._seed

    @property
    def default_precision(self) -> float:
        return self._default_precision

    @property
    def executor(self) -> Executor:
        return self._executor

    def run(self, pubs: Iterable[EstimatorPubLike], *, precision: float | None = None
            ) -> PrimitiveJob[PrimitiveResult[PubResult]]:
        """Estimate every PUB; circuits are checked and translated before this returns."""
        if precision is None:
            precision = self._default_precision
        translate = Translator()
        plans = [_plan(EstimatorPub.coerce(pub, precision), translate) for pub in pubs]
        job = PrimitiveJob(self._run, plans, resolve_seed(self._seed))
        job._submit()
        return job

    def _run(self, plans: list[_Plan], root: int) -> PrimitiveResult[PubResult]:
        tasks = [task for plan in plans for task in plan.tasks]
        values = iter(fan_out(expectation_values, tasks, self._executor))
        results = []
        for index, plan in enumerate(plans):
            evs = np.zeros(plan.pub.shape, dtype=np.float64)
            flat = evs.reshape(-1)
            for target in plan.targets:
                flat[target] = next(values)
            precision = plan.pub.precision
            stds = np.full(plan.pub.shape, float(precision))
            if precision != 0:
                evs = job_seeds(root, (index,)).rng().normal(evs, precision)
            results.append(PubResult(
                DataBin(evs=evs, stds=stds, shape=evs.shape),
                metadata={"target_precision": precision,
                          "circuit_metadata": plan.pub.circuit.metadata}))
        return PrimitiveResult(results, metadata={"version": 2})
