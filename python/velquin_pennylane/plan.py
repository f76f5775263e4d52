"""One preprocessed tape as a picklable plan: velquin gates, measurements, shots and seeds.

Plans are made in the calling process (where the device and its seeds live)
and simulated anywhere: in the same process, or on an executor's workers.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from dataclasses import dataclass

from pennylane.measurements import MeasurementProcess, Shots
from pennylane.operation import Operator
from pennylane.tape import QuantumScript
from velquin_adapters import Gate, JobSeeds, job_seeds, layout_of

from .translate import append_gates, qubit_map

_IDLE = frozenset({"Identity", "GlobalPhase", "Adjoint(Identity)", "Adjoint(GlobalPhase)"})


@dataclass(frozen=True, slots=True)
class Group:
    """Measurements read from one set of samples: taken after ``gates`` rotate their basis."""

    gates: tuple[Gate, ...]
    indices: tuple[int, ...]
    seeds: JobSeeds


@dataclass(frozen=True, slots=True)
class Plan:
    """A tape on ``n_wires`` kept wires, renumbered 0..n_wires-1 (wire p is velquin qubit
    n_wires-1-p); ``groups`` is empty without shots."""

    n_wires: int
    gates: list[Gate]
    global_phase: float
    measurements: tuple[MeasurementProcess, ...]
    shots: Shots
    groups: tuple[Group, ...]


def kept_wires(tape: QuantumScript) -> list[object]:
    """The wires to simulate, in the tape's order: those a gate or a measurement acts on.

    A measurement without wires (the whole state) keeps them all. Raises
    velquin_adapters.TooManyQubitsError beyond 30.
    """
    wires = tape.wires
    index = {wire: i for i, wire in enumerate(wires)}
    if any(len(mp.wires) == 0 for mp in tape.measurements):
        keep: list[int] = list(range(len(wires)))
    else:
        keep = [index[w] for mp in tape.measurements for w in mp.wires]
    acting = ([index[w] for w in op.wires] for op in tape.operations if op.name not in _IDLE)
    layout = layout_of(acting, keep)
    return [wires[i] for i in layout.qubits]


def make_plan(tape: QuantumScript, root: int | None, path: Sequence[int],
              lower: Callable[[list[Operator]], list[Operator]]) -> Plan:
    """The plan of ``tape``; ``root`` and ``path`` seed its samples (``root`` None: no shots).

    ``lower`` writes operations (a group's diagonalizing gates) in the device's own.
    """
    kept = kept_wires(tape)
    qubit = qubit_map(kept)
    gates: list[Gate] = []
    phase = append_gates(tape.operations, qubit, gates)
    position = {wire: p for p, wire in enumerate(kept)}
    measurements = tuple(mp.map_wires(position) for mp in tape.measurements)
    groups: list[Group] = []
    if tape.shots:
        if root is None:
            raise ValueError("a tape with shots needs a seed root")
        by_rotation: dict[tuple[int, ...], tuple[list[Operator], list[int]]] = {}
        for i, mp in enumerate(tape.measurements):
            rotation = mp.diagonalizing_gates()
            by_rotation.setdefault(tuple(op.hash for op in rotation), (rotation, []))[1].append(i)
        for g, (rotation, indices) in enumerate(by_rotation.values()):
            rotation_gates: list[Gate] = []
            append_gates(lower(rotation), qubit, rotation_gates)
            groups.append(Group(tuple(rotation_gates), tuple(indices),
                                job_seeds(root, (*path, g))))
    return Plan(len(kept), gates, phase, measurements, tape.shots, tuple(groups))
