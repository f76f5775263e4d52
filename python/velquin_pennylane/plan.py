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
from velquin_adapters import Gate, JobSeeds, job_seeds, shrink

from .translate import append_gates


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


class TapeQubits(dict[object, int]):
    """Wire label -> tape qubit, numbered on first sight, downwards from a large constant.

    The tape's k-th wire (in order of first appearance, as ``tape.wires`` lists them) is
    qubit TOP - k, so shrinking, which keeps qubits in ascending order, puts the first wire
    on the register's top qubit. Numbering on the fly spares ``tape.wires``, which a fresh
    tape computes by asking every operation for its wires.
    """

    TOP = 1 << 62

    def __missing__(self, wire: object) -> int:
        self[wire] = qubit = self.TOP - len(self)
        return qubit


def make_plan(tape: QuantumScript, root: int | None, path: Sequence[int],
              lower: Callable[[list[Operator]], list[Operator]]) -> Plan:
    """The plan of ``tape``; ``root`` and ``path`` seed its samples (``root`` None: no shots).

    Only wires that a gate or a measurement acts on are simulated (all of them
    when a measurement has no wires: the whole state). ``lower`` writes
    operations (a group's diagonalizing gates) in the device's own. Raises
    velquin_adapters.TooManyQubitsError beyond 30 simulated wires.
    """
    qubit = TapeQubits()
    gates: list[Gate] = []
    phase = append_gates(tape.operations, qubit, gates)
    keep = {qubit[w] for mp in tape.measurements for w in mp.wires}
    if any(len(mp.wires) == 0 for mp in tape.measurements):
        keep = set(qubit.values())
    layout, gates = shrink(gates, keep)
    label = {q: wire for wire, q in qubit.items()}
    # Register qubit i holds tape qubit layout.qubits[i]: the kept wires in the tape's order
    # are the register's qubits from the top down.
    kept = [label[q] for q in reversed(layout.qubits)]
    measurements = tuple(tape.measurements)
    if any(wire != p for p, wire in enumerate(kept)):
        position = {wire: p for p, wire in enumerate(kept)}
        measurements = tuple(mp.map_wires(position) for mp in measurements)
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
            renumbered = tuple(Gate(name, tuple(layout.position[q] for q in qubits), angle)
                               for name, qubits, angle in rotation_gates)
            groups.append(Group(renumbered, tuple(indices), job_seeds(root, (*path, g))))
    return Plan(len(kept), gates, phase, measurements, tape.shots, tuple(groups))
