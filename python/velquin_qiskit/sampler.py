"""SamplerV2: shots from velquin's engine, one BitArray per classical register.

A circuit whose measurements all come at the end (and no noise) samples its final state once
per parameter set (``sample``); any other runs shot by shot as seeded trajectories
(``run_shots``: mid-circuit measurements, resets, control flow, noise), its bits written where
the circuit's measurements write them.
"""

from __future__ import annotations

import warnings
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import Any

import _velquin_native as native
import numpy as np
import numpy.typing as npt
from qiskit.primitives import BaseSamplerV2, PrimitiveResult, SamplerPubResult
from qiskit.primitives.containers import BitArray, DataBin, SamplerPubLike
from qiskit.primitives.containers.sampler_pub import SamplerPub
from velquin_adapters import (
    Executor,
    Program,
    SampleJob,
    ShotsJob,
    fan_out,
    job_seeds,
    split_rows,
)

from .angles import binding_values
from .bits import pack, pack_bits
from .jobs import CancellableJob, check_memory, engine_call, pieces, run_shots, sample
from .noise import NoiseSteps
from .seeds import SeedLike, check_seed, root_of
from .translation import Translation, Translator

Registers = list[tuple[str, list[int | None]]]
"""Per classical register: its name and, per bit, where it is read. From a sampled state: the
register qubit measured into it (None where no measurement writes the bit, or the qubit is one
nothing acts on: it reads 0). From a dynamic program: the program's classical bit."""


def registers(translation: Translation, position: dict[int, int]) -> Registers:
    """Each classical register's bits as register qubits of the shrunk program, or as the
    program's classical bits when it is dynamic."""
    circuit = translation.circuit
    clbit = {c: i for i, c in enumerate(circuit.clbits)}
    out: Registers = []
    for register in circuit.cregs:
        if translation.dynamic is not None:
            out.append((register.name, [clbit[bit] for bit in register]))
            continue
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
    dynamic: bool


def _per_shot_bytes(registers: Registers, n_clbits: int) -> int:
    """Bytes each shot takes: the engine's outcome (or bits), each register's bits and packed
    bytes."""
    return 8 + n_clbits + sum(len(bits) + -(-len(bits) // 8) for _, bits in registers)


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
    check_memory(rows.shape[0] * pub.shots * _per_shot_bytes(layout_registers,
                                                             program.n_clbits),
                 f"{where} ({rows.shape[0]} parameter sets of {pub.shots} shots)")
    seeds = tuple(job_seeds(root, (index, i)).velquin for i in range(rows.shape[0]))
    return _Plan(pub, program, rows, seeds, layout_registers, translation.dynamic is not None)


class SamplerV2(BaseSamplerV2):  # type: ignore[misc]
    """Qiskit's ``BaseSamplerV2`` on velquin.

    Each PUB gives one ``BitArray`` per classical register, shaped by its parameter sets, as
    Qiskit's ``StatevectorSampler`` lays them out. Shots come from ``run(shots=)``, else the
    PUB's, else ``default_shots``. ``seed`` takes what ``numpy.random.default_rng`` takes (see
    seeds.py); the parameter set at flat index ``i`` of PUB ``k`` takes the seeds of path
    ``(k, i)`` under the run's root (see velquin_adapters.seeds), and its shots are the
    engine's draws, in the order drawn (shot j of a dynamic circuit its own trajectory, on
    stream j of that seed). ``noise_model`` (a ``qiskit_aer.noise.NoiseModel``) adds its
    errors as Aer applies them. ``executor`` (a ``concurrent.futures.Executor`` or a Dask
    ``Client``) samples parameter sets in parallel with the same results. Ctrl-C while
    waiting on ``result()`` stops the sampling.
    """

    def __init__(self, *, seed: SeedLike = None, default_shots: int | None = 1024,
                 executor: Executor = None, noise_model: object = None) -> None:
        check_seed(seed)
        self._seed = seed
        self._default_shots = default_shots
        self._executor = executor
        self._noise_model = noise_model
        self._noise = None if noise_model is None else NoiseSteps(noise_model)

    @property
    def seed(self) -> SeedLike:
        return self._seed

    @property
    def default_shots(self) -> int | None:
        return self._default_shots

    @property
    def executor(self) -> Executor:
        return self._executor

    @property
    def noise_model(self) -> object:
        return self._noise_model

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
        translate = Translator(noise=self._noise)
        plans = [_plan(pub, index, root, translate) for index, pub in enumerate(coerced)]
        job = CancellableJob(self._run, plans)
        job._submit()
        return job

    def _run(self, plans: Sequence[_Plan], cancel: native.Cancel | None = None
             ) -> PrimitiveResult[SamplerPubResult]:
        static: list[SampleJob] = []
        dynamic: list[ShotsJob] = []
        owner: list[tuple[int, bool]] = []
        for k, plan in enumerate(plans):
            start = 0
            for rows in split_rows(plan.rows, pieces(self._executor, plan.rows.shape[0])):
                stop = start + rows.shape[0]
                seeds = plan.seeds[start:stop]
                if plan.dynamic:
                    dynamic.append(ShotsJob(plan.program, rows, plan.pub.shots, seeds))
                else:
                    static.append(SampleJob(plan.program, rows, plan.pub.shots, seeds))
                owner.append((k, plan.dynamic))
                start = stop
        outputs: dict[bool, Iterator[npt.NDArray[Any]]] = {
            False: iter(fan_out(engine_call(sample, self._executor, cancel), static,
                                self._executor)),
            True: iter(fan_out(engine_call(run_shots, self._executor, cancel), dynamic,
                               self._executor))}
        parts: list[list[npt.NDArray[Any]]] = [[] for _ in plans]
        for k, kind in owner:
            parts[k].append(next(outputs[kind]))
        results = []
        for k, plan in enumerate(plans):
            pub = plan.pub
            empty = (0, pub.shots, plan.program.n_clbits) if plan.dynamic else (0, pub.shots)
            outcomes = parts[k][0] if len(parts[k]) == 1 else np.concatenate(parts[k]) \
                if parts[k] else np.zeros(empty, dtype=np.uint8 if plan.dynamic else np.uint64)
            data = {}
            for name, where in plan.registers:
                packed = pack_bits(outcomes, [int(b) for b in where if b is not None]) \
                    if plan.dynamic else pack(outcomes, where)
                data[name] = BitArray(packed.reshape(*pub.shape, *packed.shape[1:]), len(where))
            results.append(SamplerPubResult(
                DataBin(**data, shape=pub.shape),
                metadata={"shots": pub.shots, "circuit_metadata": pub.circuit.metadata}))
        return PrimitiveResult(results, metadata={"version": 2})
