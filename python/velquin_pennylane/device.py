"""``velquin.qubit``: PennyLane's device interface on velquin's state vector."""

from __future__ import annotations

import concurrent.futures
from collections.abc import Callable
from dataclasses import replace
from pathlib import Path
from typing import Any

import numpy as np
from pennylane.devices import Device, ExecutionConfig, MCMConfig
from pennylane.devices.capabilities import (
    observable_stopping_condition_factory,
    validate_mcm_method,
)
from pennylane.devices.modifiers import simulator_tracking, single_tape_support
from pennylane.devices.preprocess import (
    decompose,
    validate_device_wires,
    validate_measurements,
    validate_observables,
)
from pennylane.exceptions import DeviceError
from pennylane.measurements import (
    ClassicalShadowMP,
    MeasurementProcess,
    SampleMeasurement,
    ShadowExpvalMP,
)
from pennylane.operation import Operator
from pennylane.ops import MidMeasure
from pennylane.tape import QuantumScript
from pennylane.transforms.core import CompilePipeline
from velquin_adapters import DaskClientLike, Executor

from . import adjoint
from .batch import Batch
from .dynamic import is_dynamic
from .exact import plan_exact
from .observables import GradientParts, PauliSums, remembered
from .sampling import plan_sampled
from .structures import Structures, measured_wires
from .trajectories import plan_trajectories
from .transforms import (
    decompose_or_by_matrix,
    defer_within,
    expand_broadcasts,
    needs_shots,
    prepare_from_zero,
)

NAME = "velquin.qubit"


def _by_name(supported: Callable[[str], bool]) -> Callable[[Operator], bool]:
    """A capabilities check (which reads only the operation's name), answered from memory."""
    answers: dict[str, bool] = {}

    def check(op: Operator) -> bool:
        name = op.name
        found = answers.get(name)
        if found is None:
            found = answers[name] = supported(name)
        return found

    return check


def _or_mid_circuit(supported: Callable[[Operator], bool]) -> Callable[[Operator], bool]:
    return lambda op: isinstance(op, MidMeasure) or supported(op)


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
        self._parts = GradientParts()
        self._structures = Structures()
        self._adjoint_pipeline: CompilePipeline | None = None
        assert self.capabilities is not None
        self._supported = (_by_name(self.capabilities.filter(finite_shots=False).supports_operation),
                           _by_name(self.capabilities.filter(finite_shots=True).supports_operation))

    def preprocess_transforms(self, execution_config: ExecutionConfig | None = None
                              ) -> CompilePipeline:
        """Mid-circuit measurements deferred, operations decomposed into the device's own,
        measurements and observables validated against ``velquin_qubit.toml``."""
        config = execution_config or ExecutionConfig()
        capabilities = self.capabilities
        assert capabilities is not None
        exact, sampled = capabilities.filter(finite_shots=False), capabilities.filter(finite_shots=True)
        differentiate = config.gradient_method in ("adjoint", "device")
        method = config.mcm_config.mcm_method
        program = CompilePipeline()
        if differentiate:
            adjoint.refuse_shots(program)
        program.add_transform(needs_shots, method, name=NAME)
        if method == "deferred":
            program.add_transform(defer_within, self.wires, name=NAME)
        program.add_transform(prepare_from_zero, name=NAME)
        stop, stop_shots = self._supported
        if differentiate:
            stop = stop_shots = adjoint.stopping_condition(stop)
        elif method != "deferred":  # measured mid-circuit by the engine, shot by shot
            stop_shots = _or_mid_circuit(stop_shots)
        lower = {
            "stopping_condition": stop,
            "stopping_condition_shots": stop_shots,
            "skip_initial_state_prep": False,
            "target_gates": exact.gate_set(differentiable=differentiate) & sampled.gate_set(),
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
        if differentiate:
            adjoint.add_checks(program)
        return program

    def _lower(self, ops: list[Operator]) -> list[Operator]:
        """``ops`` decomposed into the device's operations (for diagonalizing gates)."""
        supported = self._supported[1]
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
        config = execution_config or ExecutionConfig()
        batch = Batch()
        results = []
        with self._structures.reading():
            for i, circuit in enumerate(circuits):
                if not circuit.shots or root is None:
                    results.append(plan_exact(circuit, self._structures, self._sums, batch))
                elif is_dynamic(circuit.operations):
                    results.append(plan_trajectories(circuit, root, i, self._structures, batch,
                                                     self._lower,
                                                     config.mcm_config.postselect_mode))
                else:
                    results.append(plan_sampled(circuit, root, i, self._structures, batch,
                                                self._lower))
        batch.run(self._executor)
        return tuple(result() for result in results)

    # Derivatives: the adjoint method on the engine (adjoint.py).

    def setup_execution_config(self, config: ExecutionConfig | None = None,
                               circuit: QuantumScript | None = None) -> ExecutionConfig:
        """As lightning.qubit sets it up: ``"best"`` (once PennyLane has found that the adjoint
        method applies) becomes ``"adjoint"``, whose derivatives come with the execution
        and whose vector-Jacobian products the device computes too."""
        config = config or ExecutionConfig()
        updated: dict[str, Any] = {}
        method = config.gradient_method
        if method == "best":
            method = updated["gradient_method"] = "adjoint"
        ours = method in ("adjoint", "device")
        if config.use_device_gradient is None:
            updated["use_device_gradient"] = ours
        if config.use_device_jacobian_product is None:
            updated["use_device_jacobian_product"] = ours
        if config.grad_on_execution is None and updated.get("use_device_gradient",
                                                             config.use_device_gradient):
            updated["grad_on_execution"] = True
        updated["mcm_config"] = self._mcm_config(config.mcm_config, circuit)
        return replace(config, **updated)

    def _mcm_config(self, mcm: MCMConfig, circuit: QuantumScript | None) -> MCMConfig:
        """default.qubit's resolution: no method is "one-shot" with shots, else "deferred";
        "device" is "tree-traversal"."""
        shots = bool(circuit is not None and circuit.shots)
        validate_mcm_method(self.capabilities, mcm.mcm_method, shots)
        method = mcm.mcm_method
        if method is None:
            method = "one-shot" if shots else "deferred"
        elif method == "device":
            method = "tree-traversal"
        if mcm.postselect_mode == "fill-shots" and method != "deferred":
            raise DeviceError("Using postselect_mode='fill-shots' is only supported with "
                              "mcm_method='deferred'.")
        return replace(mcm, mcm_method=method)

    def supports_derivatives(self, execution_config: ExecutionConfig | None = None,
                             circuit: QuantumScript | None = None) -> bool:
        """``"adjoint"`` and ``"device"`` always (preprocessing refuses, naming it, what the
        method cannot differentiate); ``"best"`` where the adjoint method applies to
        ``circuit`` (else PennyLane falls back to parameter-shift)."""
        if execution_config is None:
            return True
        method = execution_config.gradient_method
        if method in ("adjoint", "device"):
            return True
        if method != "best":
            return False
        if circuit is None:
            return True
        if self._adjoint_pipeline is None:
            self._adjoint_pipeline = self.preprocess_transforms(ExecutionConfig(
                gradient_method="adjoint", mcm_config=MCMConfig(mcm_method="deferred")))
        deferred = execution_config.mcm_config.mcm_method in (None, "deferred")
        return adjoint.applies(self._adjoint_pipeline, circuit, deferred)

    def supports_vjp(self, execution_config: ExecutionConfig | None = None,
                     circuit: QuantumScript | None = None) -> bool:
        return self.supports_derivatives(execution_config, circuit)

    def _derivatives(self, circuits: Any) -> list[adjoint.Derivatives]:
        for circuit in circuits:
            if circuit.shots:
                raise DeviceError(f"Finite shots are not supported with {adjoint.NAME}: the "
                                  "adjoint method's derivatives are exact")
        batch = Batch()
        plans = adjoint.plan(circuits, self._structures, self._parts, batch)
        batch.run(self._executor)
        return plans

    def compute_derivatives(self, circuits: Any,
                            execution_config: ExecutionConfig | None = None) -> Any:
        """Each circuit's Jacobian in its trainable parameters, by the adjoint method: one
        engine call for the circuits of each structure."""
        return tuple(p.shaped_jacobian() for p in self._derivatives(circuits))

    def execute_and_compute_derivatives(self, circuits: Any,
                                        execution_config: ExecutionConfig | None = None) -> Any:
        plans = self._derivatives(circuits)
        return tuple(p.values() for p in plans), tuple(p.shaped_jacobian() for p in plans)

    def compute_vjp(self, circuits: Any, cotangents: Any,
                    execution_config: ExecutionConfig | None = None) -> Any:
        """Each circuit's cotangents times its Jacobian (adjoint method)."""
        return tuple(adjoint.vjp(p.jacobian(), dy)
                     for p, dy in zip(self._derivatives(circuits), cotangents))

    def execute_and_compute_vjp(self, circuits: Any, cotangents: Any,
                                execution_config: ExecutionConfig | None = None) -> Any:
        plans = self._derivatives(circuits)
        return (tuple(p.values() for p in plans),
                tuple(adjoint.vjp(p.jacobian(), dy) for p, dy in zip(plans, cotangents)))

