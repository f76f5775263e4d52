"""VelquinBackend: a Qiskit BackendV2 whose jobs run on velquin."""

from __future__ import annotations

import time
import uuid
import warnings
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit
from qiskit.circuit import Measure, Parameter
from qiskit.circuit.library import get_standard_gate_name_mapping
from qiskit.providers import BackendV2, JobStatus, JobV1, Options
from qiskit.result import Result
from qiskit.transpiler import Target
from velquin_adapters import Executor, SampleJob, fan_out, job_seeds

from .bits import WORD, pack, values
from .convert import BASIS
from .jobs import check_memory, sample
from .seeds import check_seed, root_of
from .translation import Translator


def velquin_target() -> Target:
    """velquin's sixteen gates and measurement, on any qubits, for any number of qubits."""
    target = Target(description="velquin state-vector simulator", num_qubits=None)
    angle = Parameter("theta")
    standard = get_standard_gate_name_mapping()
    for name in BASIS:
        gate = standard[name]
        if gate.params:
            gate = gate.base_class(angle)
        target.add_instruction(gate, name=name)
    target.add_instruction(Measure())
    return target


def _shots(value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"shots must be a non-negative integer, not {value!r}")
    if value < 0:
        raise ValueError(f"shots must be a non-negative integer, not {value}")
    return int(value)


def _keys(outcomes: npt.NDArray[np.uint64], positions: list[int | None], memory: bool
          ) -> tuple[dict[str, int], list[str] | None]:
    """Hex counts of the classical bits (bit b reads register qubit positions[b]), and the
    per-shot list if asked, in the order the engine drew the shots."""
    if len(positions) <= WORD:
        distinct, inverse, tally = np.unique(values(outcomes, positions), return_inverse=True,
                                             return_counts=True)
        keys = [hex(int(value)) for value in distinct.tolist()]
    else:
        rows, inverse, tally = np.unique(pack(outcomes, positions), axis=0,
                                         return_inverse=True, return_counts=True)
        keys = [hex(int.from_bytes(row.tobytes(), "big")) for row in rows]
    shot_memory = [keys[i] for i in inverse.reshape(-1).tolist()] if memory else None
    return dict(zip(keys, tally.tolist())), shot_memory


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
    """Qiskit backend on velquin: ``backend.run(circuits, shots=, seed_simulator=, memory=)``.

    The target holds velquin's sixteen gates and ``measure`` on any qubits,
    with no fixed qubit count; circuits need not be transpiled for it, as
    ``run`` translates them itself. Circuit ``i`` of a run takes the seeds of
    path ``(i,)`` under ``seed_simulator`` (see velquin_adapters.seeds).
    ``executor`` (a ``concurrent.futures.Executor`` or a Dask ``Client``)
    runs the circuits of one call in parallel, with the results of a serial run.
    """

    def __init__(self, *, executor: Executor = None) -> None:
        super().__init__(name="velquin", description="exact, reproducible state-vector simulator",
                         backend_version="0.1.0")
        self._target = velquin_target()
        self._executor = executor

    @property
    def target(self) -> Target:
        return self._target

    @property
    def max_circuits(self) -> None:
        return None

    @classmethod
    def _default_options(cls) -> Options:
        return Options(shots=1024, seed_simulator=None, memory=False)

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
        circuits = [run_input] if isinstance(run_input, QuantumCircuit) else list(run_input)
        for index, circuit in enumerate(circuits):
            if not isinstance(circuit, QuantumCircuit):
                raise TypeError(f"run() takes Qiskit circuits; circuit {index} is a "
                                f"{type(circuit).__name__}")
        root = root_of(seed)
        translate = Translator()
        jobs, positions = [], []
        for index, circuit in enumerate(circuits):
            if circuit.parameters:
                raise ValueError(f"circuit {index} ('{circuit.name}') has unbound parameters")
            translation = translate(circuit)
            layout, program = translation.shrunk()
            measured = translation.measured
            positions.append([layout.position.get(measured[b]) if b in measured else None
                              for b in range(circuit.num_clbits)])
            check_memory(shots * (9 + 2 * circuit.num_clbits),
                         f"circuit {index} ('{circuit.name}', {shots} shots)")
            if circuit.num_clbits:  # without classical bits there is nothing to read
                jobs.append(SampleJob(program, np.zeros((1, program.n_params)), shots,
                                      (job_seeds(root, (index,)).velquin,)))
        start = time.perf_counter()
        outcomes = iter(fan_out(sample, jobs, self._executor))
        taken = time.perf_counter() - start
        results = []
        for circuit, where in zip(circuits, positions):
            hex_counts, shot_memory = _keys(next(outcomes)[0], where, memory) if where else \
                ({}, [] if memory else None)
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
