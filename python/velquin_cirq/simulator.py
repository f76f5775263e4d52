"""``velquin_cirq.Simulator``: Cirq's simulator interfaces, played on velquin.

Each call checks and decomposes the circuit once (``translation``), binds
every sweep point's parameters into that one template, and sends the points,
each with its own seed, to velquin, serially or over an executor.
"""

from __future__ import annotations

import dataclasses
from collections.abc import Callable, Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import Any, TypeVar

import cirq
import numpy as np
import velquin_adapters as va

from . import records, results, seeds, translation, work
from .observables import terms_of
from .refusals import check

T = TypeVar("T")
R = TypeVar("R")


@dataclass(frozen=True)
class _Prepared:
    """A circuit checked and decomposed onto the qubits of ``order`` (Cirq's order)."""

    order: tuple[cirq.Qid, ...]
    template: translation.Template
    measurements: tuple[records.Measurement, ...]

    @property
    def where(self) -> dict[cirq.Qid, int]:
        return translation.velquin_positions(self.order)


def _prepare(program: cirq.AbstractCircuit, qubit_order: cirq.QubitOrderOrList) -> _Prepared:
    circuit = program
    if any(isinstance(op.untagged, cirq.CircuitOperation) for op in program.all_operations()):
        circuit = cirq.unroll_circuit_op(program, deep=True, tags_to_check=None)
    checked = check(circuit)
    order = tuple(cirq.QubitOrder.as_qubit_order(qubit_order).order_for(circuit.all_qubits()))
    return _Prepared(order, translation.decompose(checked.unitary, order),
                     tuple(records.Measurement.of(op) for _, op in checked.measurements))


def _initial_gates(prepared: _Prepared, initial_state: Any) -> list[va.Gate]:
    n = len(prepared.order)
    va.layout_of([range(n)])  # more than 30 qubits: refused, naming the count
    if initial_state is None:
        return []
    return translation.basis_state_gates(translation.basis_state_index(initial_state, n), n)


class Simulator(
    cirq.SimulatesSamples,
    cirq.SimulatesFinalState[cirq.StateVectorTrialResult],
    cirq.SimulatesExpectationValues,
):
    """Cirq's sampling, final-state and expectation-value simulator, computed by velquin.

    ``seed`` is taken as Cirq's simulators take it (None, an integer, a
    ``numpy.random.RandomState`` or ``Generator``); each sampling call draws
    its root from it and sweep point ``i`` samples with the seeds
    ``velquin_adapters.job_seeds(root, (i,))``. ``executor`` (a
    ``concurrent.futures.Executor`` or a ``dask.distributed.Client``) runs
    the sweep points in parallel, with the results of a serial run.

    Final states are complex128, in Cirq's big-endian order of ``qubit_order``,
    with every global phase applied and never renormalised. ``initial_state``
    is None, a basis-state index, or a basis-state vector; other states are
    refused. Non-unitary operations and mid-circuit measurements are refused
    with ``UnsupportedOperationError`` before anything is simulated.
    """

    def __init__(self, seed: Any = None, executor: va.Executor = None) -> None:
        self._random = seeds.parse_seed(seed)
        self._executor = executor

    def _map(self, function: Callable[[T], R], items: Sequence[T]) -> Iterator[R]:
        if self._executor is None:  # one point at a time: one state in memory
            return map(function, items)
        return iter(va.fan_out(function, items, self._executor))

    # cirq.SimulatesSamples

    def _run(self, circuit: cirq.AbstractCircuit, param_resolver: cirq.ParamResolver,
             repetitions: int) -> dict[str, np.ndarray]:
        result = next(self.run_sweep_iter(circuit, param_resolver, repetitions))
        return dict(result.records)

    def run_sweep_iter(self, program: cirq.AbstractCircuit, params: cirq.Sweepable,
                       repetitions: int = 1) -> Iterator[cirq.Result]:
        if not program.has_measurements():
            raise ValueError("Circuit has no measurements to sample.")
        if repetitions < 0:
            raise ValueError(f"repetitions must be non-negative, got {repetitions}")
        prepared = _prepare(program, cirq.QubitOrder.DEFAULT)
        resolvers = list(cirq.to_resolvers(params))
        if repetitions == 0:
            return (cirq.ResultDict(params=r, records=records.empty_records(prepared.measurements))
                    for r in resolvers)
        return self._sample(prepared, resolvers, repetitions)

    def _sample(self, prepared: _Prepared, resolvers: list[cirq.ParamResolver],
                repetitions: int) -> Iterator[cirq.Result]:
        # Only the qubits the gates touch are simulated; an idle measured qubit reads 0.
        layout, gates = va.shrink(prepared.template.gates)
        template = dataclasses.replace(prepared.template, n_qubits=layout.n_qubits, gates=gates)
        where = {q: layout.position.get(v) for q, v in prepared.where.items()}
        root = seeds.call_root(self._random)
        point_seeds = [va.job_seeds(root, (i,)) for i in range(len(resolvers))]
        jobs = [va.Job(template.n_qubits, template.bind(r)[0], shots=repetitions, seed=s.velquin)
                for r, s in zip(resolvers, point_seeds)]
        for resolver, counts, s in zip(resolvers, self._map(va.counts, jobs), point_seeds):
            yield cirq.ResultDict(params=resolver, records=records.records(
                prepared.measurements, counts, template.n_qubits, where, s.rng()))

    # cirq.SimulatesFinalState

    def simulate_sweep_iter(self, program: cirq.AbstractCircuit, params: cirq.Sweepable,
                            qubit_order: cirq.QubitOrderOrList = cirq.QubitOrder.DEFAULT,
                            initial_state: Any = None) -> Iterator[cirq.StateVectorTrialResult]:
        prepared = _prepare(program, qubit_order)
        first = _initial_gates(prepared, initial_state)
        resolvers = list(cirq.to_resolvers(params))
        jobs = []
        for resolver in resolvers:
            gates, phase = prepared.template.bind(resolver)
            jobs.append(va.Job(len(prepared.order), [*first, *gates] if first else gates, phase))
        if not prepared.measurements:
            for resolver, state in zip(resolvers, self._map(work.final_state, jobs)):
                yield results.TrialResult(params=resolver, measurements={},
                                          final_simulator_state=results.simulation_state(
                                              state, prepared.order))
            return
        # Terminal measurements: one seeded shot per point, and the state collapsed onto it.
        root = seeds.call_root(self._random)
        jobs = [dataclasses.replace(job, seed=va.job_seeds(root, (i,)).velquin)
                for i, job in enumerate(jobs)]
        for resolver, (state, shot) in zip(resolvers, self._map(work.final_state_and_shot, jobs)):
            measured = records.collapse(state, len(prepared.order), prepared.measurements, shot,
                                        prepared.where)
            yield results.TrialResult(params=resolver, measurements=dict(measured),
                                      final_simulator_state=results.simulation_state(
                                          state, prepared.order))

    # cirq.SimulatesExpectationValues

    def simulate_expectation_values_sweep_iter(
        self, program: cirq.AbstractCircuit,
        observables: cirq.PauliSumLike | list[cirq.PauliSumLike], params: cirq.Sweepable,
        qubit_order: cirq.QubitOrderOrList = cirq.QubitOrder.DEFAULT,
        initial_state: Any = None, permit_terminal_measurements: bool = False,
    ) -> Iterator[list[float]]:
        """Exact expectation values; with ``permit_terminal_measurements``, those of the
        state before its terminal measurements (nothing is sampled)."""
        if not permit_terminal_measurements and program.are_any_measurements_terminal():
            raise ValueError(
                "Provided circuit has terminal measurements, which may skew expectation values. "
                "If this is intentional, set permit_terminal_measurements=True.")
        prepared = _prepare(program, qubit_order)
        first = _initial_gates(prepared, initial_state)
        wrapped: Iterable[Any] = observables if isinstance(observables, list) else [observables]
        terms = [terms_of(o, prepared.where) for o in wrapped]
        items = []
        for resolver in cirq.to_resolvers(params):
            gates, _ = prepared.template.bind(resolver)
            items.append((terms, va.Job(len(prepared.order), [*first, *gates] if first else gates)))
        yield from self._map(work.expectations, items)

