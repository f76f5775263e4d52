"""``velquin.qubit``: PennyLane's device interface on velquin's state vector."""

from __future__ import annotations

import concurrent.futures
from pathlib import Path
from typing import Any

import numpy as np
from pennylane.devices import Device, ExecutionConfig
from pennylane.devices.capabilities import observable_stopping_condition_factory
from pennylane.devices.modifiers import simulator_tracking, single_tape_support
from pennylane.devices.preprocess import (
    decompose,
    validate_device_wires,
    validate_measurements,
    validate_observables,
)
from pennylane.measurements import (
    ClassicalShadowMP,
    MeasurementProcess,
    SampleMeasurement,
    ShadowExpvalMP,
)
from pennylane.operation import Operator
from pennylane.tape import QuantumScript
from pennylane.transforms.core import CompilePipeline
from velquin_adapters import DaskClientLike, Executor

from .batch import Batch
from .exact import plan_exact
from .observables import PauliSums, remembered
from .sampling import plan_sampled
from .structures import Structures, measured_wires
from .transforms import decompose_or_by_matrix, defer_within, expand_broadcasts, prepare_from_zero

NAME = "velquin.qubit"


def _sampled(mp: MeasurementProcess) -> bool:
    """Measurements taken with shots; classical shadows are (PennyLane reads them from the
    state, one random basis per shot)."""
    return isinstance(mp, (SampleMeasurement, ClassicalShadowMP, ShadowExpvalMP))


@simulator_tracking
@single_tape_support
class VelquinQubit(Device):  # type: ignore[misc]
    """A PennyLane device that simulates circuits on velquin's exact state vector.

    Args:
        wires (int, Iterable, None): the device's wires, or their number; None
            accepts any wires a circuit uses (at most 30 that gates or
            measurements act on).
        shots (int, Sequence, None): default shots (deprecated in PennyLane:
            prefer ``qml.set_shots`` on the QNode).
        seed (int, None, SeedSequence, BitGenerator, Generator, "global"): as
            for ``default.qubit``: anything ``numpy.random.default_rng`` takes,
            or ``"global"`` (the default) to draw a seed from NumPy's global
            generator. It fixes every sample the device draws.
        executor (concurrent.futures.Executor, dask.distributed.Client, None):
            where the engine runs a batch's programs; None runs them here. Results
            do not depend on it.

    Seeds: a batch with shots draws a 128-bit root from the device's
    generator; group ``g`` of tape ``i`` (one set of samples, measurements
    grouped as default.qubit groups them) then takes velquin_adapters'
    ``job_seeds(root, (i, g))``: its first word seeds velquin's sampling, its
    generator the outcomes of a classical shadow. A device made with the same
    seed therefore returns the same samples for the same sequence of batches,
    on any thread count and with any executor. Batches without shots draw
    nothing, so they do not shift the sampling stream.
    """

    config_filepath = str(Path(__file__).with_name("velquin_qubit.toml"))

    @property
    def name(self) -> str:
        return NAME

    def __init__(self, wires: Any = None, shots: Any = None, seed: Any = "global",
                 executor: Executor = None) -> None:
        super().__init__(wires=wires, shots=shots)
        if isinstance(seed, str) and seed == "global":
            seed = np.random.randint(0, high=10000000)
        try:
            self._rng = np.random.default_rng(seed)
        except (TypeError, ValueError) as error:
            raise type(error)(f"{NAME} takes a seed as numpy.random.default_rng does; "
                              f"seed={seed!r} is not one: {error}") from None
        if executor is not None and not isinstance(
                executor, (concurrent.futures.Executor, DaskClientLike)):
            raise TypeError("executor must be None, a concurrent.futures.Executor or a "
                            f"dask.distributed.Client, not {type(executor).__name__}")
        self._executor = executor
        self._sums = PauliSums()
        self._structures = Structures()

    def _stopping_condition(self, shots: bool) -> Any:
        assert self.capabilities is not None
        return self.capabilities.filter(finite_shots=shots).supports_operation

    def preprocess_transforms(self, execution_config: ExecutionConfig | None = None
                              ) -> CompilePipeline:
        """Mid-circuit measurements deferred, operations decomposed into the device's own,
        measurements and observables validated against ``velquin_qubit.toml``."""
        config = execution_config or ExecutionConfig()
        capabilities = self.capabilities
        assert capabilities is not None
        exact, sampled = capabilities.filter(finite_shots=False), capabilities.filter(finite_shots=True)
        program = CompilePipeline()
        if config.mcm_config.mcm_method == "deferred":
            program.add_transform(defer_within, self.wires, name=NAME)
        program.add_transform(prepare_from_zero, name=NAME)
        lower = {
            "stopping_condition": exact.supports_operation,
            "stopping_condition_shots": sampled.supports_operation,
            "skip_initial_state_prep": False,
            "target_gates": exact.gate_set() & sampled.gate_set(),
            "device_wires": self.wires,
            "decomposer": decompose_or_by_matrix,
            "name": NAME,
        }
        program.add_transform(decompose, **lower)
        program.add_transform(expand_broadcasts)
        program.add_transform(validate_device_wires, self.wires, name=NAME)
        # Every state measurement is read from the state and every sample measurement from
        # samples, by its own process_state / process_samples: user-defined ones too.
        program.add_transform(validate_measurements, sample_measurements=_sampled, name=NAME)
        program.add_transform(
            validate_observables,
            stopping_condition=remembered(observable_stopping_condition_factory(exact)),
            stopping_condition_shots=remembered(observable_stopping_condition_factory(sampled)),
            name=NAME,
        )
        return program

    def _lower(self, ops: list[Operator]) -> list[Operator]:
        """``ops`` decomposed into the device's operations (for diagonalizing gates)."""
        supported = self._stopping_condition(True)
        if all(supported(op) for op in ops):
            return ops
        (tape,), _ = decompose(QuantumScript(ops), stopping_condition=supported,
                               skip_initial_state_prep=False, decomposer=decompose_or_by_matrix,
                               name=NAME)
        return list(tape.operations)

    def simulated_wires(self, circuit: QuantumScript) -> tuple[Any, ...]:
        """The wires velquin simulates for a preprocessed ``circuit``: those a gate or a
        measurement acts on (all of them when a measurement is of the whole state), in the
        circuit's order. Raises velquin_adapters.TooManyQubitsError beyond 30."""
        return self._structures.of(circuit.operations, measured_wires(circuit.measurements)).kept

    def execute(self, circuits: Any, execution_config: ExecutionConfig | None = None) -> Any:
        """The results of ``circuits``: the tapes that share a structure run as one program,
        one engine call for all of them (batch.py)."""
        root = None
        if any(circuit.shots for circuit in circuits):
            root = int.from_bytes(self._rng.bytes(16), "little")
        batch = Batch()
        with self._structures.reading():
            results = [plan_sampled(circuit, root, i, self._structures, batch, self._lower)
                       if circuit.shots and root is not None
                       else plan_exact(circuit, self._structures, self._sums, batch)
                       for i, circuit in enumerate(circuits)]
        batch.run(self._executor)
        return tuple(result() for result in results)
