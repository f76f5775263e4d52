"""``velquin_cirq.Simulator``: Cirq's simulator interfaces on velquin's engine.

Each call translates the circuit once (``translation``: one engine program), turns the sweep
into one row of parameter values per point (``Parameters.rows``) and hands all the rows to
the engine in one call (or in a few, over an executor's workers): per-shot samples for
``run``, expectation values for Pauli sums, and the final state of each point for
``simulate``, one point at a time so that one state is held at once.
"""

from __future__ import annotations

from collections.abc import Iterator, Sequence
from typing import Any

import cirq
import numpy as np
import numpy.typing as npt
import velquin_adapters as va

from . import arguments, records, results, seeds, work
from . import observables as pauli
from .translation import Translation, translate

# How many parts an executor's rows are cut into at most (fan_out groups them into chunks).
_PIECES = 256
_NORM = va.PauliSum.of([(1.0, {})])


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

    def _pieces(self, rows: npt.NDArray[np.float64]) -> list[npt.NDArray[np.float64]]:
        return [rows] if self._executor is None else va.split_rows(rows, _PIECES)

    # cirq.SimulatesSamples

    def _run(self, circuit: cirq.AbstractCircuit, param_resolver: cirq.ParamResolver,
             repetitions: int) -> dict[str, np.ndarray]:
        result = next(self.run_sweep_iter(circuit, param_resolver, repetitions))
        return dict(result.records)

    def run_sweep_iter(self, program: cirq.AbstractCircuit, params: cirq.Sweepable,
                       repetitions: int = 1) -> Iterator[cirq.Result]:
        # In Cirq's order: zero repetitions (nothing translated or simulated, as Cirq's own
        # simulators give them), measurements, the sweep's values, then the repetitions.
        if isinstance(repetitions, (int, float, np.number)) and repetitions == 0:
            if not program.has_measurements():
                raise ValueError("Circuit has no measurements to sample.")
            keys = [cirq.measurement_key_name(op) for _, op, _ in
                    program.findall_operations_with_gate_type(cirq.MeasurementGate)]
            return iter([cirq.ResultDict(params=r, records={k: np.empty([0, 1, 1]) for k in keys})
                         for r in cirq.to_resolvers(params)])
        translation = translate(program, cirq.QubitOrder.DEFAULT)
        if not translation.measurements:
            raise ValueError("Circuit has no measurements to sample.")
        resolvers = list(cirq.to_resolvers(params))
        rows = translation.parameters.rows(resolvers)
        if not resolvers:
            return iter([])
        count = arguments.repetitions(repetitions)
        return iter(self._sample(translation, resolvers, rows, count))

    def _sample(self, translation: Translation, resolvers: list[cirq.ParamResolver],
                rows: npt.NDArray[np.float64], repetitions: int) -> list[cirq.Result]:
        _, program, positions = translation.sampled()
        root = seeds.call_root(self._random)
        point_seeds = [va.job_seeds(root, (i,)).velquin for i in range(len(resolvers))]
        jobs, start = [], 0
        for piece in self._pieces(rows):
            jobs.append(va.SampleJob(program, piece, repetitions,
                                     tuple(point_seeds[start:start + len(piece)])))
            start += len(piece)
        try:
            parts = va.fan_out(va.sample, jobs, self._executor)
        except ValueError as error:
            named = arguments.not_finite(translation.parameters, rows, resolvers)
            if named is None:
                raise
            raise named from error
        except MemoryError as error:
            raise MemoryError(f"repetitions={repetitions} at {len(resolvers)} sweep points: "
                              f"{error}") from error
        if not parts:
            return []
        outcomes = np.concatenate(parts) if len(parts) > 1 else parts[0]
        return [cirq.ResultDict(params=resolver, records=point)
                for resolver, point in zip(resolvers, records.records(
                    translation.measurements, outcomes, positions))]

    # cirq.SimulatesFinalState

    def simulate_sweep_iter(self, program: cirq.AbstractCircuit, params: cirq.Sweepable,
                            qubit_order: cirq.QubitOrderOrList = cirq.QubitOrder.DEFAULT,
                            initial_state: Any = None) -> Iterator[cirq.StateVectorTrialResult]:
        translation = translate(program, qubit_order)
        resolvers = list(cirq.to_resolvers(params))
        rows = translation.parameters.rows(resolvers)
        if not resolvers:
            return
        n = len(translation.order)
        initial = arguments.basis_state(initial_state, n)
        engine = translation.program(initial)
        states: Iterator[npt.NDArray[np.complex128]]
        if self._executor is None:
            states = (va.state(engine, row) for row in rows)
        else:
            states = iter(va.fan_out(work.state, [(engine, row) for row in rows],
                                     self._executor))
        if translation.measurements:  # one seeded shot per point, the state collapsed onto it
            root = seeds.call_root(self._random)
            layout, sampled = translation.program(initial, phase=False).shrunk()
        for point, (resolver, state) in enumerate(zip(resolvers, states)):
            measured: dict[str, npt.NDArray[np.uint8]] = {}
            if n == 0:
                state = state[:1]
            elif translation.measurements:
                shot = va.sample(va.SampleJob(sampled, rows[point:point + 1], 1,
                                              (va.job_seeds(root, (point,)).velquin,)))
                outcome = sum(1 << q for i, q in enumerate(layout.qubits)
                              if int(shot[0, 0]) >> i & 1)
                measured = records.collapse(state, translation.measurements, outcome,
                                            translation.where)
            yield results.TrialResult(params=resolver, measurements=measured,
                                      final_simulator_state=results.simulation_state(
                                          state, translation.order))

    # cirq.SimulatesExpectationValues

    def simulate_expectation_values_sweep_iter(
        self, program: cirq.AbstractCircuit,
        observables: cirq.PauliSumLike | list[cirq.PauliSumLike], params: cirq.Sweepable,
        qubit_order: cirq.QubitOrderOrList = cirq.QubitOrder.DEFAULT,
        initial_state: Any = None, permit_terminal_measurements: bool = False,
    ) -> Iterator[list[float]]:
        """Exact expectation values (complex, as Cirq's); with
        ``permit_terminal_measurements``, those of the state before its terminal
        measurements (nothing is sampled)."""
        terminal = ValueError(
            "Provided circuit has terminal measurements, which may skew expectation values. "
            "If this is intentional, set permit_terminal_measurements=True.")
        try:
            translation = translate(program, qubit_order)
        except (ValueError, TypeError):
            if not permit_terminal_measurements and program.are_any_measurements_terminal():
                raise terminal from None  # what Cirq checks first
            raise
        if not permit_terminal_measurements and translation.measurements:
            raise terminal
        wrapped = [cirq.PauliSum.wrap(o) for o in
                   (observables if isinstance(observables, list) else [observables])]
        resolvers = list(cirq.to_resolvers(params))
        rows = translation.parameters.rows(resolvers)
        if not resolvers:
            return
        n = len(translation.order)
        engine = translation.program(arguments.basis_state(initial_state, n))
        layout, engine = engine.shrunk()
        # The norm comes along: Cirq refuses a state that is not finite, whatever is measured.
        sums = (*(pauli.pauli_sum(o, translation.where, layout) for o in wrapped), _NORM)
        jobs = [va.ExpectationJob(engine, piece, sums) for piece in self._pieces(rows)]
        values = np.concatenate(va.fan_out(va.expectations, jobs, self._executor))
        arguments.check_finite(values, translation.parameters, rows, resolvers)
        yield from values[:, :-1].tolist()
