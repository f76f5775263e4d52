"""SamplerV2: shots from velquin's engine, one BitArray per classical register."""

from __future__ import annotations

import warnings
from collections.abc import Iterable, Sequence
from dataclasses import dataclass

import _velquin_native as native
import numpy as np
import numpy.typing as npt
from qiskit.primitives import BaseSamplerV2, PrimitiveResult, SamplerPubResult
from qiskit.primitives.containers import BitArray, DataBin, SamplerPubLike
from qiskit.primitives.containers.sampler_pub import SamplerPub
from velquin_adapters import Executor, Program, SampleJob, fan_out, job_seeds, split_rows

from .angles import binding_values
from .bits import pack
from .jobs import CancellableJob, check_memory, engine_call, pieces, sample
from .seeds import SeedLike, check_seed, root_of
from .translation import Translation, Translator

Registers = list[tuple[str, list[int | None]]]
"""Per classical register: its name and, per bit, the register qubit measured into it (None
where no measurement writes the bit, or the qubit is one nothing acts on: it reads 0)."""


def registers(translation: Translation, position: dict[int, int]) -> Registers:
    """Each classical register's bits as register qubits of the shrunk program."""
    circuit = translation.circuit
    clbit = {c: i for i, c in enumerate(circuit.clbits)}
    out: Registers = []
    for register in circuit.cregs:
        qubits = [translation.measured.get(clbit[bit]) for bit in register]
        out.append((register.name, [None if q is None else position.get(q) for q in qubits]))
    return out


@dataclass(frozen=True)
class _Plan:
    pub: SamplerPub
    program: Program
    rows: npt.NDArray[np.float64]
    seeds: tuple[int, ...]
    registers: Registers


def _per_shot_bytes(registers: Registers) -> int:
    """Bytes each shot takes: the engine's outcome, each register's bits and packed bytes."""
    return 8 + sum(len(bits) + -(-len(bits) // 8) for _, bits in registers)


def _plan(pub: SamplerPub, index: int, root: int, translate: Translator) -> _Plan:
    translation = translate(pub.circuit)
    layout, program = translation.shrunk()
    where = f"PUB {index}"
    values = binding_values(translation.angles, pub.parameter_values, where)
    rows = translation.angles.rows(values)
    if pub.shots is None:
        raise TypeError(f"{where} has no shot count: run() was given shots=None, the PUB none "
                        "and the sampler default_shots=None")
    layout_registers = registers(translation, layout.position)
    check_memory(rows.shape[0] * pub.shots * _per_shot_bytes(layout_registers),
                 f"{where} ({rows.shape[0]} parameter sets of {pub.shots} shots)")
    seeds = tuple(job_seeds(root, (index, i)).velquin for i in range(rows.shape[0]))
    return _Plan(pub, program, rows, seeds, layout_registers)


class SamplerV2(BaseSamplerV2):  # type: ignore[misc]
    """Qiskit's ``BaseSamplerV2`` on velquin.

    Each PUB gives one ``BitArray`` per classical register, shaped by its parameter sets, as
    Qiskit's ``StatevectorSampler`` lays them out. Shots come from ``run(shots=)``, else the
    PUB's, else ``default_shots``. ``seed`` takes what ``numpy.random.default_rng`` takes (see
    seeds.py); the parameter set at flat index ``i`` of PUB ``k`` takes the seeds of path
    ``(k, i)`` under the run's root (see velquin_adapters.seeds), and its shots are the
    engine's draws, in the order drawn. ``executor`` (a ``concurrent.futures.Executor`` or a
    Dask ``Client``) samples parameter sets in parallel with the same results. Ctrl-C while
    waiting on ``result()`` stops the sampling.
    """

    def __init__(self, *, seed: SeedLike = None, default_shots: int | None = 1024,
                 executor: Executor = None) -> None:
        check_seed(seed)
        self._seed = seed
        self._default_shots = default_shots
        self._executor = executor

    @property
    def seed(self) -> SeedLike:
        return self._seed

    @property
    def default_shots(self) -> int | None:
        return self._default_shots

    @property
    def executor(self) -> Executor:
        return self._executor

    def run(self, pubs: Iterable[SamplerPubLike], *, shots: int | None = None
            ) -> CancellableJob:
        """Sample every PUB; circuits are checked and translated before this returns."""
        if shots is None:
            shots = self._default_shots
        coerced = [SamplerPub.coerce(pub, shots) for pub in pubs]
        if any(len(pub.circuit.cregs) == 0 for pub in coerced):
            warnings.warn("One of your circuits has no output classical registers and so the "
                          "result will be empty. Did you mean to add measurement instructions?",
                          UserWarning, stacklevel=2)
        root = root_of(self._seed)
        translate = Translator()
        plans = [_plan(pub, index, root, translate) for index, pub in enumerate(coerced)]
        job = CancellableJob(self._run, plans)
        job._submit()
        return job

    def _run(self, plans: Sequence[_Plan], cancel: native.Cancel | None = None
             ) -> PrimitiveResult[SamplerPubResult]:
        jobs, owner = [], []
        for k, plan in enumerate(plans):
            start = 0
            for rows in split_rows(plan.rows, pieces(self._executor, plan.rows.shape[0])):
                stop = start + rows.shape[0]
                jobs.append(SampleJob(plan.program, rows, plan.pub.shots, plan.seeds[start:stop]))
                owner.append(k)
                start = stop
        outputs = fan_out(engine_call(sample, self._executor, cancel), jobs, self._executor)
        results = []
        for k, plan in enumerate(plans):
            pub = plan.pub
            parts = [out for out, o in zip(outputs, owner) if o == k]
            outcomes = parts[0] if len(parts) == 1 else \
                np.concatenate(parts) if parts else np.zeros((0, pub.shots), dtype=np.uint64)
            data = {}
            for name, qubits in plan.registers:
                packed = pack(outcomes, qubits)
                data[name] = BitArray(packed.reshape(*pub.shape, *packed.shape[1:]), len(qubits))
            results.append(SamplerPubResult(
                DataBin(**data, shape=pub.shape),
                metadata={"shots": pub.shots, "circuit_metadata": pub.circuit.metadata}))
        return PrimitiveResult(results, metadata={"version": 2})
