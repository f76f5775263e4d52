"""One preprocessed tape as a picklable plan: velquin gates, measurements, shots and seeds.

Plans are made in the calling process (where the device and its seeds live)
and simulated anywhere: in the same process, or on an executor's workers.
What a plan takes from its tape's structure (operations' signatures and the
measurements' wires) is worked out once per structure and kept (``Structures``):
the tapes of a gradient differ only in their angles.
"""

from __future__ import annotations

from collections.abc import Callable, Hashable, Iterable, Sequence
from dataclasses import dataclass

from pennylane.measurements import ExpectationMP, MeasurementProcess, Shots
from pennylane.operation import Operator
from pennylane.tape import QuantumScript
from scipy.sparse import csr_matrix
from velquin_adapters import Gate, JobSeeds, Layout, job_seeds, shrink

from .observables import SparseObservables
from .recent import Recent
from .translate import Signature, Translation, signature, translate


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
    gates: Sequence[Gate]
    global_phase: float
    measurements: tuple[MeasurementProcess, ...]
    shots: Shots
    groups: tuple[Group, ...]
    matrices: tuple[csr_matrix | None, ...] = ()
    """Without shots: for each measurement, the sparse matrix of a Pauli sum whose expectation
    value it asks for (on the kept wires), else None."""


@dataclass(frozen=True, slots=True)
class Structure:
    """What the plans of tapes of one structure share.

    Wire ``k`` of the tape's ``N`` (operations' wires first, then measured
    ones, each in order of first appearance, as ``tape.wires``) is qubit
    ``N-1-k`` (``qubit``): the first wire is the most significant bit of a
    state index for PennyLane and for velquin alike. ``kept`` are the wires
    simulated, in that order (``layout`` maps qubits onto them); ``position``
    renumbers measurement wires onto them, None when they are 0..n-1 already.
    """

    qubit: dict[Hashable, int]
    layout: Layout
    kept: tuple[Hashable, ...]
    position: dict[Hashable, int] | None
    translation: Translation


def _structure(tape: QuantumScript, signatures: tuple[Signature, ...],
               measured: tuple[tuple[Hashable, ...], ...]) -> Structure:
    wires = list(dict.fromkeys(
        [w for _, _, labels in signatures for w in labels] + [w for m in measured for w in m]))
    top = len(wires) - 1
    qubit = {wire: top - k for k, wire in enumerate(wires)}
    translation = translate(tape.operations, signatures, qubit)
    if any(len(m) == 0 for m in measured):  # a measurement of the whole state
        keep: Iterable[int] = range(len(wires))
    else:
        keep = {qubit[w] for m in measured for w in m}
    layout, gates = shrink(translation.gates, keep)
    # Register qubit i holds tape qubit layout.qubits[i]: the kept wires in the tape's order
    # are the register's qubits from the top down.
    kept = tuple(wires[top - q] for q in reversed(layout.qubits))
    position = None
    if any(wire != p for p, wire in enumerate(kept)):
        position = {wire: p for p, wire in enumerate(kept)}
    return Structure(qubit, layout, kept, position, translation.with_gates(gates))


class Structures:
    """The structures of recent tapes, by the operations' signatures and measured wires."""

    KEEP = 32

    def __init__(self) -> None:
        self._recent: Recent[Structure] = Recent(self.KEEP)

    def of(self, tape: QuantumScript) -> Structure:
        """The structure of ``tape``; raises if an operation is not velquin's."""
        signatures = signature(tape.operations)
        measured = tuple(mp.wires.labels for mp in tape.measurements)
        key = (signatures, measured)
        found = self._recent.get(key)
        if found is None:
            found = self._recent.add(key, _structure(tape, signatures, measured))
        return found


def make_plan(tape: QuantumScript, root: int | None, path: Sequence[int],
              lower: Callable[[list[Operator]], list[Operator]],
              observables: SparseObservables | None = None,
              structures: Structures | None = None) -> Plan:
    """The plan of ``tape``; ``root`` and ``path`` seed its samples (``root`` None: no shots).

    Only wires that a gate or a measurement acts on are simulated (all of them
    when a measurement has no wires: the whole state). ``lower`` writes
    operations (a group's diagonalizing gates) in the device's own;
    ``observables`` supplies the matrices of Pauli sums, ``structures`` the
    structures already seen. Raises velquin_adapters.TooManyQubitsError beyond
    30 simulated wires.
    """
    structure = (structures or Structures()).of(tape)
    gates, phase = structure.translation.bind(tape.operations)
    kept, position = structure.kept, structure.position
    measurements = tuple(tape.measurements)
    if position is not None:
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
        qubit, where = structure.qubit, structure.layout.position
        for g, (rotation, indices) in enumerate(by_rotation.values()):
            lowered = lower(rotation)
            rotation_gates, _ = translate(lowered, signature(lowered), qubit).bind(lowered)
            renumbered = tuple(Gate(name, tuple(where[q] for q in qubits), angle)
                               for name, qubits, angle in rotation_gates)
            groups.append(Group(renumbered, tuple(indices), job_seeds(root, (*path, g))))
    return Plan(len(kept), gates, phase, measurements, tape.shots, tuple(groups), matrices)
