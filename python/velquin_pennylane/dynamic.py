"""Tapes with mid-circuit measurements, conditions or noise as one dynamic engine program.

Classical bit ``j`` holds the outcome of the tape's ``j``-th mid-circuit measurement
(``qml.measure``); with ``reset=True`` the qubit is then reset to |0>. Postselection is not a
step: every shot measures as it would, and the shots whose outcome differs from the one asked
for are discarded afterwards (trajectories.py), which is PennyLane's own rule (``hw-like``).
``qml.cond(value, op)`` is ``op``'s engine operations under a condition over the bits of the
measurements ``value`` reads: its truth table (``MeasurementValue.branches``, every outcome
combination) as the outcomes for which it holds, so any arithmetic on measurement values is
exact. Channels are channels.py's steps. Terminal measurements come last: the measured qubits
into the bits after the mid-circuit ones, sampled from each shot's final state.

Global phases are dropped: a dynamic program is only ever sampled, and no outcome depends on
a phase that multiplies the whole state (a phase on a subspace is an operation and is kept).
"""

from __future__ import annotations

from collections.abc import Hashable, Mapping, Sequence
from typing import Any

from pennylane.operation import Operator
from pennylane.ops import Conditional, MeasurementValue, MidMeasure
from velquin_adapters import Op

from .channels import channel_key, channel_step, is_channel
from .translate import Signature, Translation, signature, translate_one, unsupported

Tokens = tuple[tuple[Any, ...], ...]


def is_dynamic(ops: Sequence[Operator]) -> bool:
    """Whether ``ops`` measure mid-circuit, run conditionally or draw noise."""
    return any(isinstance(op, (MidMeasure, Conditional)) or is_channel(op) for op in ops)


def _measurement_index(ops: Sequence[Operator]) -> dict[MidMeasure, int]:
    return {op: j for j, op in enumerate(o for o in ops if isinstance(o, MidMeasure))}


def _table(value: MeasurementValue, index: Mapping[MidMeasure, int]
           ) -> tuple[tuple[int, ...], tuple[int, ...]]:
    """The bits ``value`` reads (first one lowest) and the register values where it holds."""
    bits = []
    for m in value.measurements:
        if m not in index:
            raise unsupported(m, "a condition reads it, but it is not measured before")
        bits.append(index[m])
    holds = tuple(sum(b << i for i, b in enumerate(outcome))
                  for outcome, result in value.branches.items() if bool(result))
    return tuple(bits), holds


def condition_tokens(bits: tuple[int, ...], holds: tuple[int, ...]) -> Tokens | None:
    """Postfix tokens true exactly where the register of ``bits`` is one of ``holds`` (by the
    shorter of that list and its complement); None when it always holds."""
    size = 1 << len(bits)
    if len(holds) == size:
        return None
    if not holds:
        return (("const", 0),)
    if len(bits) == 1:
        return (("bit", bits[0]),) if holds == (1,) else (("bit", bits[0]), ("not",))
    fails = tuple(v for v in range(size) if v not in set(holds))
    values, negate = (fails, True) if len(fails) < len(holds) else (holds, False)
    tokens: list[tuple[Any, ...]] = []
    for k, v in enumerate(values):
        tokens += [("register", bits), ("const", v), ("eq",)]
        if k:
            tokens.append(("or",))
    if negate:
        tokens.append(("not",))
    return tuple(tokens)


def dynamic_signature(ops: Sequence[Operator], seen: dict[int, Signature] | None
                      ) -> tuple[Signature, ...]:
    """translate.py's signatures, with what a measurement, a condition or a channel adds."""
    index = _measurement_index(ops)
    out: list[Signature] = []
    for op in ops:
        if isinstance(op, MidMeasure):
            out.append((MidMeasure, op.wires.labels, op.reset))
        elif isinstance(op, Conditional):
            out.append((Conditional, _table(op.meas_val, index), *signature([op.base], seen)))
        elif is_channel(op):
            out.append((type(op), op.wires.labels, channel_key(op)))
        else:
            out.extend(signature([op], seen))
    return tuple(out)


def _with(op: Op, tokens: Tokens) -> Op:
    return op._replace(dynamic=(*op.dynamic, ("condition", tokens)))


def _step(op: Operator, qubit: Mapping[Hashable, int], slot: int) -> tuple[list[Op], int]:
    """An operation that is not a measurement or a condition: its engine steps and slots."""
    if is_channel(op):
        try:
            return [channel_step(op, tuple(qubit[w] for w in op.wires.labels))], 0
        except KeyError:
            raise unsupported(op, "it is not one of the device's channels") from None
    built, _, taken = translate_one(op, qubit, slot)
    return built, taken


def translate_dynamic(ops: Sequence[Operator], qubit: Mapping[Hashable, int],
                      terminal: Sequence[int]) -> tuple[Translation, int]:
    """The program's operations (their parameters as in translate.py) and its number of
    classical bits: the mid-circuit measurements', then one per ``terminal`` qubit, measured
    at the end."""
    index = _measurement_index(ops)
    out: list[Op] = []
    sources: list[int] = []
    slot = 0
    for k, op in enumerate(ops):
        if isinstance(op, MidMeasure):
            q = qubit[op.wires.labels[0]]
            out.append(Op("measure", (q,), dynamic=(("clbits", (index[op],)),)))
            if op.reset:
                out.append(Op("reset", (q,)))
            continue
        if isinstance(op, Conditional):
            tokens = condition_tokens(*_table(op.meas_val, index))
            built, taken = _step(op.base, qubit, slot)
            if tokens is not None:
                built = [_with(b, tokens) for b in built]
        else:
            built, taken = _step(op, qubit, slot)
        out.extend(built)
        if taken:
            sources.append(k)
            slot += taken
    n_clbits = len(index) + len(terminal)
    if terminal:
        out.append(Op("measure", tuple(terminal),
                      dynamic=(("clbits", tuple(range(len(index), n_clbits))),)))
    return Translation(out, slot, tuple(sources), None), n_clbits
