"""SamplerV2: shots from velquin, one BitArray per classical register."""

from __future__ import annotations

import warnings
from collections.abc import Iterable, Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt
from qiskit.primitives import BaseSamplerV2, PrimitiveJob, PrimitiveResult, SamplerPubResult
from qiskit.primitives.containers import BitArray, DataBin, SamplerPubLike
from qiskit.primitives.containers.sampler_pub import SamplerPub
from velquin_adapters import Executor, Job, counts, counts_to_bits, fan_out, job_seeds, resolve_seed

from .bits import pack
from .translation import Translation, Translator, parameter_rows

Registers = list[tuple[str, list[int | None]]]
"""Per classical register: its name and, per bit, the measured-qubit column or None."""


@dataclass(frozen=True)
class Shots:
    """One parameter set's sampling, as sent to a worker."""

    job: Job
    numpy_seed: int
    positions: list[int | None]  # register qubit of each measured column, None if idle
    registers: Registers


def sample(task: Shots) -> dict[str, npt.NDArray[np.uint8]]:
    """Run in a worker: the packed bits of every classical register."""
    shots = task.job.shots or 0
    if all(p is None for p in task.positions):  # nothing measured acts: every bit reads 0
        bits = np.zeros((shots, len(task.positions)), dtype=np.uint8)
    else:
        bits = counts_to_bits(counts(task.job), task.job.n_qubits, task.positions,
                              np.random.default_rng(task.numpy_seed))
    return {name: pack(bits, columns) for name, columns in task.registers}


def measured_columns(translation: Translation) -> tuple[list[int], Registers]:
    """The measured qubits (caller's indices, ascending) and each register's bit columns."""
    circuit = translation.circuit
    qubits = sorted(set(translation.measured.values()))
    column = {q: i for i, q in enumerate(qubits)}
    registers: Registers = []
    for register in circuit.cregs:
        bits = [circuit.find_bit(bit).index for bit in register]
        registers.append((register.name, [column.get(translation.measured[b])
                                          if b in translation.measured else None
                                          for b in bits]))
    return qubits, registers


@dataclass(frozen=True)
class _Plan:
    pub: SamplerPub
    tasks: list[Shots]


def _plan(pub: SamplerPub, pub_index: int, root: int, translate: Translator) -> _Plan:
    translation = translate(pub.circuit)
    gate_lists, _ = translation.bind(parameter_rows(translation, pub.parameter_values))
    qubits, registers = measured_columns(translation)
    positions = translation.layout.positions(qubits)
    n = translation.layout.n_qubits
    tasks = []
    for index, gates in enumerate(gate_lists):
        seeds = job_seeds(root, (pub_index, index))
        tasks.append(Shots(Job(n, gates, shots=pub.shots, seed=seeds.velquin), seeds.numpy,
                           positions, registers))
    return _Plan(pub, tasks)


class SamplerV2(BaseSamplerV2):  # type: ignore[misc]
    """Qiskit's ``BaseSamplerV2`` on velquin.

    Each PUB gives one ``BitArray`` per classical register, shaped by its
    parameter sets, as Qiskit's ``StatevectorSampler`` lays them out. Shots
    come from ``run(shots=)``, else the PUB's, else ``default_shots``. The
    parameter set at flat index ``i`` of PUB ``k`` takes the seeds of path
    ``(k, i)`` under ``seed`` (resolved once per ``run``; see
    velquin_adapters.seeds); its shots are velquin's exact counts in a
    seeded random order. ``executor`` (a ``concurrent.futures.Executor`` or
    a Dask ``Client``) samples parameter sets in parallel with the same results.
    """

    def __init__(self, *, seed: int | None = None, default_shots: int = 1024,
                 executor: Executor = None) -> None:
        resolve_seed(seed)  # reject a bad seed now
        self._seed = seed
        self._default_shots = default_shots
        self._executor = executor

    @property
    def seed(self) -> int | None:
        return self._seed

    @property
    def default_shots(self) -> int:
        return self._default_shots

    @property
    def executor(self) -> Executor:
        return self._executor

    def run(self, pubs: Iterable[SamplerPubLike], *, shots: int | None = None
            ) -> PrimitiveJob[PrimitiveResult[SamplerPubResult]]:
        """Sample every PUB; circuits are checked and translated before this returns."""
        if shots is None:
            shots = self._default_shots
        coerced = [SamplerPub.coerce(pub, shots) for pub in pubs]
        if any(len(pub.circuit.cregs) == 0 for pub in coerced):
            warnings.warn("One of your circuits has no output classical registers and so the "
                          "result will be empty. Did you mean to add measurement instructions?",
                          UserWarning, stacklevel=2)
        root = resolve_seed(self._seed)
        translate = Translator()
        plans = [_plan(pub, index, root, translate) for index, pub in enumerate(coerced)]
        job = PrimitiveJob(self._run, plans)
        job._submit()
        return job

    def _run(self, plans: Sequence[_Plan]) -> PrimitiveResult[SamplerPubResult]:
        outputs = iter(fan_out(sample, [task for plan in plans for task in plan.tasks],
                               self._executor))
        results = []
        for plan in plans:
            pub = plan.pub
            per_set = [next(outputs) for _ in plan.tasks]
            data = {}
            for register in pub.circuit.cregs:
                row = (pub.shots, -(-register.size // 8))
                stacked = np.zeros((len(per_set), *row), dtype=np.uint8)
                for i, out in enumerate(per_set):
                    stacked[i] = out[register.name]
                data[register.name] = BitArray(stacked.reshape(pub.shape + row), register.size)
            results.append(SamplerPubResult(
                DataBin(**data, shape=pub.shape),
                metadata={"shots": pub.shots, "circuit_metadata": pub.circuit.metadata}))
        return PrimitiveResult(results, metadata={"version": 2})
