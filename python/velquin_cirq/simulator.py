"""``velquin_cirq.Simulator``: Cirq's simulator interfaces on velquin's engine.

Each call translates the circuit, with the noise model's operations, once (``translation``),
turns the sweep into one row of parameter values per point (``Parameters.rows``) and hands
all the rows to the engine in one call (or in a few, over an executor's workers): per-shot
samples of the final state for ``run`` of a static circuit (unitary gates, then terminal
measurements), per-shot trajectories (``run_shots``) for any other, expectation values for
Pauli sums, and the final state of each point for ``simulate``, one point at a time so that
one state is held at once (one drawn trajectory of a dynamic circuit, ``trajectory``).
"""

from __future__ import annotations

from collections.abc import Iterator, Sequence
from typing import Any

import cirq
import numpy as np
import numpy.typing as npt
import velquin_adapters as va

from . import arguments, records, refusals, results, seeds, trajectory, work
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
    ``velquin_adapters.job_seeds(root, (i,))``. ``noise`` is what
    ``cirq.NoiseModel.from_noise_model_like`` takes (a noise model, a channel
    for every qubit after every moment, or None), added as ``cirq.Simulator``
    adds it. ``executor`` (a ``concurrent.futures.Executor`` or a
    ``dask.distributed.Client``) runs the sweep points in parallel, with the
    results of a serial run.

    Final states are complex128, in Cirq's big-endian order of ``qubit_order``,
    with every global phase applied and never renormalised. ``initial_state``
    is None, a basis-state index, or a basis-state vector; other states are
    refused. What velquin cannot simulate exactly is refused with
    ``UnsupportedOperationError`` before anything is simulated, and so are
    expectation values of noisy or dynamic circuits (trajectories would only
    estimate them).
    """

    def __init__(self, seed: Any = None, noise: cirq.NOISE_MODEL_LIKE = None,
                 executor: va.Executor = None) -> None:
        self._random = seeds.parse_seed(seed)
        self.noise = cirq.NoiseModel.from_noise_model_like(noise)
        self._noise = None if self.noise is cirq.NO_NOISE else self.noise
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
        translation = translate(program, cirq.QubitOrder.DEFAULT, self._noise)
        if not translation.measurements:
            raise ValueError("Circuit has no measurements to sample.")
        resolvers = list(cirq.to_resolvers(params))
        rows = translation.parameters.rows(resolvers)
        if not resolvers:
            return iter([])
        count = arguments.repetitions(repetitions)
        if translation.dynamic is not None:
            return iter(self._shots(translation, resolvers, rows, count))
        return iter(self._sample(translation, resolvers, rows, count))

    def _point_seeds(self, count: int) -> list[va.JobSeeds]:
        root = seeds.call_root(self._random)
        return [va.job_seeds(root, (i,)) for i in range(count)]

    def _shots(self, translation: Translation, resolvers: list[cirq.ParamResolver],
               rows: npt.NDArray[np.float64], repetitions: int) -> list[cirq.Result]:
        """Records of a dynamic circuit: every shot a trajectory, every sweep point's
        trajectories seeded by its own seed (the same bits at any thread count and with any
        executor)."""
        named = arguments.not_finite(translation.parameters, rows, resolvers)
        if named is not None:
            raise named
        program = translation.shots()
        point_seeds = [s.velquin for s in self._point_seeds(len(resolvers))]
        jobs, start = [], 0
        for piece in self._pieces(rows):
            jobs.append(va.ShotsJob(program, piece, repetitions,
                                    tuple(point_seeds[start:start + len(piece)])))
            start += len(piece)
        try:
            parts = va.fan_out(va.run_shots, jobs, self._executor)
        except MemoryError as error:
            raise MemoryError(f"repetitions={repetitions} at {len(resolvers)} sweep points: "
                              f"{error}") from error
        bits = np.concatenate(parts) if len(parts) > 1 else parts[0]
        return [cirq.ResultDict(params=resolver, records=point)
                for resolver, point in zip(resolvers, records.shot_records(
                    translation.measurements, bits))]

    def _sample(self, translation: Translation, resolvers: list[cirq.ParamResolver],
                rows: npt.NDArray[np.float64], repetitions: int) -> list[cirq.Result]:
        _, program, positions = translation.sampled()
        point_seeds = [s.velquin for s in self._point_seeds(len(resolvers))]
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
        translation = translate(program, qubit_order, self._noise)
        resolvers = list(cirq.to_resolvers(params))
        rows = translation.parameters.rows(resolvers)
        if not resolvers:
            return
        n = len(translation.order)
        initial = arguments.basis_state(initial_state, n)
        if translation.dynamic is not None:
            yield from self._trajectories(translation, resolvers, rows, initial)
            return
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

    def _trajectories(self, translation: Translation, resolvers: list[cirq.ParamResolver],
                      rows: npt.NDArray[np.float64], initial: int
                      ) -> Iterator[cirq.StateVectorTrialResult]:
        """One drawn trajectory per sweep point, as cirq.Simulator simulates a dynamic
        circuit: its final state and each key's last record."""
        n = len(translation.order)
        va.layout_of([range(n)])  # more than 30 qubits: refused, naming the count
        dynamic = trajectory.Dynamic(max(n, 1), (*translation.initial(initial),
                                                 *translation.steps),
                                     translation.parameters.count, translation.phase,
                                     translation.register.count)
        jobs = [(dynamic, row, s.numpy) for row, s in zip(rows, self._point_seeds(len(rows)))]
        runs: Iterator[tuple[npt.NDArray[np.complex128], npt.NDArray[np.uint8]]]
        if self._executor is None:
            runs = (trajectory.run(job) for job in jobs)
        else:
            runs = iter(va.fan_out(trajectory.run, jobs, self._executor))
        for resolver, (state, bits) in zip(resolvers, runs):
            yield results.TrialResult(
                params=resolver, measurements=records.last_records(translation.measurements, bits),
                final_simulator_state=results.simulation_state(state, translation.order))

    # cirq.SimulatesExpectationValues

    def simulate_expectation_values_sweep_iter(
        self, program: cirq.AbstractCircuit,
        observables: cirq.PauliSumLike | list[cirq.PauliSumLike], params: cirq.Sweepable,
        qubit_order: cirq.QubitOrderOrList = cirq.QubitOrder.DEFAULT,
        initial_state: Any = None, permit_terminal_measurements: bool = False,
    ) -> Iterator[list[float]]:
        """Exact expectation values (complex, as Cirq's); with
        ``permit_terminal_measurements``, those of the state before its terminal
        measurements (nothing is sampled). Refused for a noisy or dynamic circuit, whose
        exact values need its density matrix."""
        terminal = ValueError(
            "Provided circuit has terminal measurements, which may skew expectation values. "
            "If this is intentional, set permit_terminal_measurements=True.")
        try:
            translation = translate(program, qubit_order, self._noise)
        except (ValueError, TypeError):
            if not permit_terminal_measurements and program.are_any_measurements_terminal():
                raise terminal from None  # what Cirq checks first
            raise
        if not permit_terminal_measurements and translation.measurements and (
                translation.dynamic is None or program.are_any_measurements_terminal()):
            raise terminal
        if translation.dynamic is not None:
            raise refusals.not_exact("expectation values", translation.dynamic)
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
