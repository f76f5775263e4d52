"""A tape's structure: its wires, the qubits kept, and its translation, kept per device.

The tapes of a gradient share one structure and differ in their angles. A
structure's key is its operations' signatures (translate.py: all that
translation reads besides the angles) and its measurements' wires; the device
keeps what follows from it for its 32 most recent structures. The key holds no
PennyLane object, so nothing is keyed on an identity that could be reused.
"""

from __future__ import annotations

from collections.abc import Hashable, Iterable, Iterator, Sequence
from contextlib import contextmanager
from dataclasses import dataclass

import numpy as np
from pennylane.measurements import MeasurementProcess
from pennylane.operation import Operator
from velquin_adapters import Program

from .dynamic import dynamic_signature, translate_dynamic
from .recent import Recent
from .translate import MATRIX_GATES, Signature, signature, translate, unwrap, wire_order

Measured = tuple[tuple[Hashable, ...], ...]
"""The wires of each measurement; an empty entry measures every wire (the whole state)."""


@dataclass(frozen=True, slots=True)
class Structure:
    """What the tapes of one structure share.

    Wire ``k`` of the ``N`` wires (operations' first, then measured ones, in
    order of first appearance, as ``tape.wires`` lists them) is qubit
    ``N-1-k``: the first wire is the most significant bit of a state index for
    PennyLane and for velquin alike. Only the wires a gate or a measurement acts
    on are simulated: ``kept``, in that order, where register qubit
    ``n-1-p`` holds ``kept[p]`` (so the engine's state is PennyLane's over
    ``kept`` with no transposition). ``position`` renumbers wires onto
    ``0..n-1`` (None when they are so already). The program's parameters are
    the data of the operations ``sources`` names; ``slots[i]`` is the parameter
    that operation datum ``i`` (in ``tape.get_parameters`` order) fills, -1 for a
    datum that is no angle (a matrix); ``bad_payload`` is the first operation
    whose matrix is not finite, if any. A dynamic program measures ``terminal``
    at the end, into the classical bits after the mid-circuit measurements'.
    """

    program: Program
    sources: tuple[int, ...]
    kept: tuple[Hashable, ...]
    position: dict[Hashable, int] | None
    bad_payload: int | None
    slots: tuple[int, ...]
    terminal: tuple[Hashable, ...] = ()

    def mapped(self, measurements: Iterable[MeasurementProcess]) -> list[MeasurementProcess]:
        """``measurements`` on the kept wires' positions."""
        if self.position is None:
            return list(measurements)
        return [mp.map_wires(self.position) for mp in measurements]


def _has_bad_matrix(op: Operator) -> bool:
    base = unwrap(op).base
    return base.name in MATRIX_GATES and not bool(np.all(np.isfinite(base.data[0])))


def _structure(ops: Sequence[Operator], measured: Measured, dynamic: bool) -> Structure:
    wires = list(dict.fromkeys(wire_order(ops) + [w for m in measured for w in m]))
    top = len(wires) - 1
    qubit = {wire: top - k for k, wire in enumerate(wires)}
    keep: Iterable[int]
    if any(len(m) == 0 for m in measured):
        keep = range(len(wires))
    else:
        keep = {qubit[w] for m in measured for w in m}
    n_clbits = 0
    terminal: tuple[Hashable, ...] = ()
    if dynamic:  # the measured wires, in order, are measured at the end (dynamic.py)
        terminal = tuple(wires if measured and min(map(len, measured)) == 0
                         else dict.fromkeys(w for m in measured for w in m))
        translation, n_clbits = translate_dynamic(ops, qubit, [qubit[w] for w in terminal])
    else:
        translation = translate(ops, qubit)
    full = Program(max(1, len(wires)), translation.ops, translation.n_params, translation.phase,
                   n_clbits)
    layout, program = full.shrunk(keep)
    kept = tuple(wires[top - q] for q in reversed(layout.qubits))
    position = None
    if any(wire != p for p, wire in enumerate(kept)):
        position = {wire: p for p, wire in enumerate(kept)}
    bad = next((k for k, op in enumerate(ops) if _has_bad_matrix(op)), None)
    return Structure(program, translation.sources, kept, position, bad,
                     _slots(ops, translation.sources), terminal)


def _slots(ops: Sequence[Operator], sources: Sequence[int]) -> tuple[int, ...]:
    angles = set(sources)
    out: list[int] = []
    slot = 0
    for k, op in enumerate(ops):
        count = len(op.data)
        if k in angles:
            out.extend(range(slot, slot + count))
            slot += count
        else:
            out.extend([-1] * count)
    return tuple(out)


class Structures:
    """The structures of recent tapes, by the operations' signatures and measured wires."""

    KEEP = 32

    def __init__(self) -> None:
        self._recent: Recent[Structure] = Recent(self.KEEP)
        self._seen: dict[int, Signature] | None = None

    @contextmanager
    def reading(self) -> Iterator[None]:
        """Within it, a wrapped operation's signature is read once per object (translate.py's
        ``signature``): for one batch, whose tapes hold their operations alive."""
        self._seen = {}
        try:
            yield
        finally:
            self._seen = None

    def of(self, ops: Sequence[Operator], measured: Measured) -> Structure:
        """The structure of ``ops`` measured on ``measured``; raises
        UnsupportedOperationError if an operation is not the device's, and
        velquin_adapters.TooManyQubitsError beyond 30 simulated wires."""
        key = (signature(ops, self._seen), measured)
        found = self._recent.get(key)
        if found is None:
            found = self._recent.add(key, _structure(ops, measured, False))
        return found

    def dynamic(self, ops: Sequence[Operator], measured: Measured) -> Structure:
        """The structure of a dynamic tape (dynamic.py) whose ``measured`` wires are
        measured at the end; its program's classical bits are the mid-circuit measurements',
        then the measured wires' in order of first appearance (all wires if one entry is
        empty)."""
        key = ("dynamic", dynamic_signature(ops, self._seen), measured)
        found = self._recent.get(key)
        if found is None:
            found = self._recent.add(key, _structure(ops, measured, True))
        return found


def measured_wires(measurements: Iterable[MeasurementProcess]) -> Measured:
    return tuple(mp.wires.labels for mp in measurements)
