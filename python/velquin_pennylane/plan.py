"""One preprocessed tape as a picklable plan: velquin gates, measurements, shots and seeds.

Plans are made in the calling process (where the device and its seeds live)
and simulated anywhere: in the same process, or on an executor's workers.
"""

from __future__ import annotations

from collections.abc import Callable, Iterable, Sequence
from dataclasses import dataclass

from pennylane.measurements import ExpectationMP, MeasurementProcess, Shots
from pennylane.operation import Operator
from pennylane.tape import QuantumScript
from scipy.sparse import csr_matrix
from velquin_adapters import Gate, JobSeeds, job_seeds, shrink

from .observables import SparseObservables
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
    matrices: tuple[csr_matrix | None, ...] = ()
    """Without shots: for each measurement, the sparse matrix of a Pauli sum whose expectation
    value it asks for (on the kept wires), else None."""


def make_plan(tape: QuantumScript, root: int | None, path: Sequence[int],
              lower: Callable[[list[Operator]], list[Operator]],
              observables: SparseObservables | None = None) -> Plan:
    """The plan of ``tape``; ``root`` and ``path`` seed its samples (``root`` None: no shots).

    Only wires that a gate or a measurement acts on are simulated (all of them
    when a measurement has no wires: the whole state). ``lower`` writes
    operations (a group's diagonalizing gates) in the device's own;
    ``observables`` supplies the matrices of Pauli sums. Raises
    velquin_adapters.TooManyQubitsError beyond 30 simulated wires.
    """
    # Wire k of the tape's N is qubit N-1-k: the first wire is the most significant bit of a
    # state index for PennyLane and for velquin alike. (tape.wires is cached by the time a
    # preprocessed tape gets here: validating the device's wires asked for it.)
    wires = tape.wires
    top = len(wires) - 1
    qubit = {wire: top - k for k, wire in enumerate(wires)}
    gates: list[Gate] = []
    phase = append_gates(tape.operations, qubit, gates)
    if any(len(mp.wires) == 0 for mp in tape.measurements):
        keep: Iterable[int] = range(len(wires))
    else:
        keep = {qubit[w] for mp in tape.measurements for w in mp.wires}
    layout, gates = shrink(gates, keep)
    # Register qubit i holds tape qubit layout.qubits[i]: the kept wires in the tape's order
    # are the register's qubits from the top down.
    kept = [wires[top - q] for q in reversed(layout.qubits)]
    measurements = tuple(tape.measurements)
    if any(wire != p for p, wire in enumerate(kept)):
        position = {wire: p for p, wire in enumerate(kept)}
        measurements = tuple(mp.map_wires(position) for mp in measurements)
    matrices: tuple[csr_matrix | None, ...] = ()
    if not tape.shots and observables is not None:
        matrices = tuple(observables.matrix(mp.obs, kept)
                         if type(mp) is ExpectationMP and mp.obs is not None else None
                         for mp in tape.measurements)
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
    return Plan(len(kept), gates, phase, measurements, tape.shots, tuple(groups), matrices)
