"""VelquinBackend: a Qiskit BackendV2 whose jobs run on velquin.

A circuit whose measurements all come at the end (and no noise) samples its final state once;
any other runs shot by shot as seeded trajectories, its memory slots written where its
measurements write them. ``VelquinBackend.from_backend`` takes a device's target (so its
coupling map and basis) and the noise model Aer makes from it.
"""

from __future__ import annotations

import time
import uuid
import warnings
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit
from qiskit.circuit import (
    BoxOp,
    BreakLoopOp,
    ContinueLoopOp,
    ForLoopOp,
    IfElseOp,
    SwitchCaseOp,
    WhileLoopOp,
)
from qiskit.circuit.library import UnitaryGate, get_standard_gate_name_mapping
from qiskit.providers import BackendV2, JobStatus, JobV1, Options
from qiskit.result import Result
from qiskit.transpiler import Target
from velquin_adapters import Executor, SampleJob, ShotsJob, fan_out, job_seeds

from .bits import WORD, fold, pack, pack_bits, values
from .jobs import check_memory, run_shots, sample
from .noise import NoiseSteps
from .seeds import check_seed, root_of
from .translation import Translator

_CONTROL_FLOW = [(IfElseOp, "if_else"), (WhileLoopOp, "while_loop"), (ForLoopOp, "for_loop"),
                 (SwitchCaseOp, "switch_case"), (BreakLoopOp, "break_loop"),
                 (ContinueLoopOp, "continue_loop"), (BoxOp, "box")]


def velquin_target() -> Target:
    """Every standard gate (each one engine operation), ``unitary``, measurement, reset,
    delay and control flow, on any qubits, for any number of qubits."""
    target = Target(description="velquin state-vector simulator", num_qubits=None)
    for name, gate in get_standard_gate_name_mapping().items():
        if name != "global_phase":  # a phase on no qubits: the transpiler keeps it anyway
            target.add_instruction(gate, name=name)
    target.add_instruction(UnitaryGate, name="unitary")
    for operation, name in _CONTROL_FLOW:
        target.add_instruction(operation, name=name)
    return target


def _shots(value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"shots must be a non-negative integer, not {value!r}")
    if value < 0:
        raise ValueError(f"shots must be a non-negative integer, not {value}")
    return int(value)


def _tally(distinct: list[int], inverse: npt.NDArray[np.intp], tally: npt.NDArray[np.intp],
           memory: bool) -> tuple[dict[str, int], list[str] | None]:
    keys = [hex(value) for value in distinct]
    shot_memory = [keys[i] for i in inverse.reshape(-1).tolist()] if memory else None
    return dict(zip(keys, tally.tolist())), shot_memory


def _keys(outcomes: npt.NDArray[np.uint64], positions: list[int | None], memory: bool
          ) -> tuple[dict[str, int], list[str] | None]:
    """Hex counts of the classical bits (bit b reads register qubit positions[b]), and the
    per-shot list if asked, in the order the engine drew the shots."""
    if len(positions) <= WORD:
        distinct, inverse, tally = np.unique(values(outcomes, positions), return_inverse=True,
                                             return_counts=True)
        return _tally([int(v) for v in distinct.tolist()], inverse, tally, memory)
    rows, inverse, tally = np.unique(pack(outcomes, positions), axis=0, return_inverse=True,
                                     return_counts=True)
    return _tally([int.from_bytes(row.tobytes(), "big") for row in rows], inverse, tally,
                  memory)


def _bit_keys(bits: npt.NDArray[np.uint8], memory: bool
              ) -> tuple[dict[str, int], list[str] | None]:
    """Hex counts and memory of a dynamic circuit's shots (shots x memory slots)."""
    if bits.shape[-1] <= WORD:
        distinct, inverse, tally = np.unique(fold(bits), return_inverse=True,
                                             return_counts=True)
        return _tally([int(v) for v in distinct.tolist()], inverse, tally, memory)
    rows, inverse, tally = np.unique(pack_bits(bits, range(bits.shape[-1])), axis=0,
                                     return_inverse=True, return_counts=True)
    return _tally([int.from_bytes(row.tobytes(), "big") for row in rows], inverse, tally,
                  memory)


class VelquinJob(JobV1):  # type: ignore[misc]
    """A finished run: velquin simulates when the backend's ``run`` is called."""

    _async = False

    def __init__(self, backend: VelquinBackend, job_id: str, result: Result) -> None:
        super().__init__(backend, job_id)
        self._result = result

    def submit(self) -> None:
        return

    def result(self, timeout: float | None = None) -> Result:
        return self._result

    def status(self) -> JobStatus:
        return JobStatus.DONE


class VelquinBackend(BackendV2):  # type: ignore[misc]
    """Qiskit backend on velquin: ``backend.run(circuits, shots=, seed_simulator=, memory=,
    noise_model=)``.

    The target holds every standard gate, ``unitary``, ``measure``, ``reset``, ``delay`` and
    control flow on any qubits, with no fixed qubit count; circuits need not be transpiled for
    it, as ``run`` translates them itself. Circuit ``i`` of a run takes the seeds of path
    ``(i,)`` under ``seed_simulator`` (see velquin_adapters.seeds); a dynamic circuit's shot
    ``j`` is its own trajectory, on stream ``j`` of that seed. ``noise_model`` (a
    ``qiskit_aer.noise.NoiseModel``, also a run option) adds its errors as Aer applies them.
    ``executor`` (a ``concurrent.futures.Executor`` or a Dask ``Client``) runs the circuits of
    one call in parallel, with the results of a serial run.
    """

    def __init__(self, *, executor: Executor = None, noise_model: object = None,
                 target: Target | None = None, name: str = "velquin") -> None:
        super().__init__(name=name, description="exact, reproducible state-vector simulator",
                         backend_version="0.1.0")
        self._target = velquin_target() if target is None else target
        self._executor = executor
        self._noise: tuple[object, NoiseSteps] | None = None
        if noise_model is not None:
            self.set_options(noise_model=noise_model)

    @classmethod
    def from_backend(cls, backend: BackendV2, *, executor: Executor = None
                     ) -> VelquinBackend:
        """A backend with ``backend``'s target (its qubits, coupling map and basis, so
        ``transpile`` writes circuits for the device) and the noise model
        ``qiskit_aer.noise.NoiseModel.from_backend`` makes from it, as
        ``AerSimulator.from_backend`` does."""
        from qiskit_aer.noise import NoiseModel  # only needed here

        return cls(executor=executor, noise_model=NoiseModel.from_backend(backend),
                   target=backend.target, name=f"velquin_from({backend.name})")

    @property
    def target(self) -> Target:
        return self._target

    @property
    def max_circuits(self) -> None:
        return None

    @classmethod
    def _default_options(cls) -> Options:
        return Options(shots=1024, seed_simulator=None, memory=False, noise_model=None)

    def _noise_steps(self, model: object) -> NoiseSteps | None:
        """The steps of ``model``, made once per model object."""
        if model is None:
            return None
        if self._noise is None or self._noise[0] is not model:
            self._noise = (model, NoiseSteps(model))
        return self._noise[1]

    def run(self, run_input: QuantumCircuit | Sequence[QuantumCircuit], **options: Any
            ) -> VelquinJob:
        """Simulate the circuits; every one is checked and translated before any runs."""
        for key in options:
            if not hasattr(self.options, key):
                warnings.warn(f"Option {key} is not used by this backend", UserWarning,
                              stacklevel=2)
        seed = options.get("seed_simulator", self.options.seed_simulator)
        check_seed(seed, "seed_simulator")
        shots = _shots(options.get("shots", self.options.shots))
        memory = bool(options.get("memory", self.options.memory))
        noise = self._noise_steps(options.get("noise_model", self.options.noise_model))
        circuits = [run_input] if isinstance(run_input, QuantumCircuit) else list(run_input)
        for index, circuit in enumerate(circuits):
            if not isinstance(circuit, QuantumCircuit):
                raise TypeError(f"run() takes Qiskit circuits; circuit {index} is a "
                                f"{type(circuit).__name__}")
        root = root_of(seed)
        translate = Translator(noise=noise)
        static: list[SampleJob] = []
        dynamic: list[ShotsJob] = []
        reads: list[list[int | None] | None] = []  # per circuit: qubits read, None if dynamic
        for index, circuit in enumerate(circuits):
            if circuit.parameters:
                raise ValueError(f"circuit {index} ('{circuit.name}') has unbound parameters")
            translation = translate(circuit)
            layout, program = translation.shrunk()
            check_memory(shots * (9 + 3 * circuit.num_clbits),
                         f"circuit {index} ('{circuit.name}', {shots} shots)")
            rows = np.zeros((1, program.n_params))
            seeds = (job_seeds(root, (index,)).velquin,)
            if translation.dynamic is not None:
                reads.append(None)
                dynamic.append(ShotsJob(program, rows, shots, seeds))
                continue
            measured = translation.measured
            reads.append([layout.position.get(measured[b]) if b in measured else None
                          for b in range(circuit.num_clbits)])
            if circuit.num_clbits:  # without classical bits there is nothing to read
                static.append(SampleJob(program, rows, shots, seeds))
        start = time.perf_counter()
        sampled = iter(fan_out(sample, static, self._executor))
        shot_bits = iter(fan_out(run_shots, dynamic, self._executor))
        taken = time.perf_counter() - start
        results = []
        for circuit, read in zip(circuits, reads):
            if read is None:
                hex_counts, shot_memory = _bit_keys(next(shot_bits)[0], memory)
            elif read:
                hex_counts, shot_memory = _keys(next(sampled)[0], read, memory)
            else:
                hex_counts, shot_memory = {}, [] if memory else None
            data: dict[str, Any] = {"counts": hex_counts}
            if shot_memory is not None:
                data["memory"] = shot_memory
            results.append({
                "name": circuit.name, "shots": shots, "seed_simulator": seed, "data": data,
                "status": "DONE", "success": True, "header": _header(circuit)})
        job_id = str(uuid.uuid4())
        result = Result.from_dict({
            "backend_name": self.name, "backend_version": self.backend_version,
            "job_id": job_id, "results": results, "status": "COMPLETED", "success": True,
            "time_taken": taken})
        return VelquinJob(self, job_id, result)


def _header(circuit: QuantumCircuit) -> dict[str, Any]:
    """What Qiskit's Result needs to format counts and memory by register."""
    return {
        "name": circuit.name,
        "n_qubits": circuit.num_qubits,
        "qreg_sizes": [[r.name, r.size] for r in circuit.qregs],
        "creg_sizes": [[r.name, r.size] for r in circuit.cregs],
        "qubit_labels": [[r.name, j] for r in circuit.qregs for j in range(r.size)],
        "clbit_labels": [[r.name, j] for r in circuit.cregs for j in range(r.size)],
        "memory_slots": circuit.num_clbits,
        "global_phase": float(circuit.global_phase),
        "metadata": circuit.metadata if circuit.metadata is not None else {},
    }
