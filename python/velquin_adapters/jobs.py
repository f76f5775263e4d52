"""The unit of work sent to a worker, and the code that plays it on velquin.

velquin's objects cannot be pickled, so a job is a plain description: a qubit
count, a flat list of gate records named by velquin's ``QuantumCircuit``
builder methods, a global phase, and what to compute.
"""

from __future__ import annotations

import cmath
from collections.abc import Iterator, Sequence
from dataclasses import dataclass
from typing import NamedTuple, overload

import numpy as np
import numpy.typing as npt
import velquin

ONE_QUBIT_GATES = frozenset({"x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx"})
ROTATIONS = frozenset({"rx", "ry", "rz"})
TWO_QUBIT_GATES = frozenset({"cx", "swap", "cy", "cz"})
GATE_NAMES = ONE_QUBIT_GATES | ROTATIONS | TWO_QUBIT_GATES
"""velquin's sixteen gates, by the name of their builder method."""


class Gate(NamedTuple):
    """One velquin gate: builder method name, qubit indices in argument order, angle or None.

    ``Gate("rx", (0,), 0.5)`` plays as ``circuit.rx(0, 0.5)``;
    ``Gate("cx", (0, 1))`` as ``circuit.cx(0, 1)``.
    """

    name: str
    qubits: tuple[int, ...]
    angle: float | None = None


class BoundGates(Sequence[Gate]):
    """A gate list with its angles filled in, made only when iterated.

    ``gates[slots[k]]`` takes ``angles[k]``; every other gate is as given. A
    sweep over many parameter sets keeps one shared ``gates`` (sent once per
    chunk of jobs, as pickle shares it) and one row of angles per set, instead
    of a full gate list per set.
    """

    __slots__ = ("gates", "slots", "angles")

    def __init__(self, gates: Sequence[Gate], slots: Sequence[int],
                 angles: Sequence[float]) -> None:
        if len(slots) != len(angles):
            raise ValueError(f"{len(slots)} slots but {len(angles)} angles")
        self.gates, self.slots, self.angles = gates, slots, angles

    def _filled(self) -> list[Gate]:
        gates = list(self.gates)
        for slot, angle in zip(self.slots, self.angles):
            name, qubits, _ = gates[slot]
            gates[slot] = Gate(name, qubits, angle)
        return gates

    def __iter__(self) -> Iterator[Gate]:
        return iter(self._filled())

    def __len__(self) -> int:
        return len(self.gates)

    @overload
    def __getitem__(self, index: int) -> Gate: ...
    @overload
    def __getitem__(self, index: slice) -> list[Gate]: ...

    def __getitem__(self, index: int | slice) -> Gate | list[Gate]:
        return self._filled()[index]

    def __reduce__(self) -> tuple[type[BoundGates], tuple[Sequence[Gate], Sequence[int],
                                                          Sequence[float]]]:
        return BoundGates, (self.gates, self.slots, self.angles)


@dataclass(frozen=True, slots=True)
class Job:
    """A picklable description of one simulation.

    ``shots=None`` asks for the state vector (``global_phase`` applied);
    an integer asks for that many shots' counts, sampled with ``seed``
    (``global_phase`` is then irrelevant and ignored).
    """

    n_qubits: int
    gates: Sequence[Gate]
    global_phase: float = 0.0
    shots: int | None = None
    seed: int | None = None


def build(n_qubits: int, gates: Sequence[Gate]) -> velquin.QuantumCircuit:
    """A velquin circuit recording ``gates`` in order."""
    circuit = velquin.QuantumCircuit(n_qubits)
    # One bound method per distinct gate: the lookup is a large share of a record's cost.
    methods = {name: getattr(circuit, name) for name in GATE_NAMES}
    records: Sequence[tuple[str, tuple[int, ...], float | None]] = gates
    if isinstance(gates, BoundGates):  # the hot path of a sweep: plain tuples, no Gate objects
        records = list(gates.gates)
        for slot, value in zip(gates.slots, gates.angles):
            name, qubits, _ = records[slot]
            records[slot] = (name, qubits, value)
    for name, qubits, angle in records:
        if angle is None:
            methods[name](*qubits)
        else:
            methods[name](*qubits, angle)
    return circuit


def statevector(job: Job, *, phase: bool = True) -> npt.NDArray[np.complex128]:
    """The job's final state; velquin's own array, with ``global_phase`` applied in place.

    ``phase=False`` returns velquin's amplitudes untouched (for expectation
    values, where a global phase cannot be seen). No second copy of the state
    is ever made.
    """
    state = build(job.n_qubits, job.gates).statevector()
    if phase and job.global_phase != 0.0:
        state *= cmath.exp(1j * job.global_phase)
    return state


def counts(job: Job) -> dict[str, int]:
    """velquin's counts for ``job.shots`` shots with ``job.seed``; keys have n_qubits characters."""
    if job.shots is None:
        raise ValueError("the job asks for a state vector, not counts")
    return build(job.n_qubits, job.gates).run(job.shots, seed=job.seed)


def execute(job: Job) -> npt.NDArray[np.complex128] | dict[str, int]:
    """What the job asks for: its state vector, or its counts."""
    return statevector(job) if job.shots is None else counts(job)
