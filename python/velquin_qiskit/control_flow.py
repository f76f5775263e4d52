"""Qiskit's control flow as the engine's conditional jumps, as Aer lowers it.

A condition is read once, where Qiskit reads it, by a jump that skips what does not run:

- ``if_else``: jump past the true block unless the condition holds; the true block ends with
  a jump past the false block.
- ``switch_case``: per case in order, a jump to the next case unless the target is one of
  its values (the default case takes every value); each block ends with a jump to the end.
- ``while_loop``: at its start, a jump past the loop unless the condition holds; the body
  ends with a jump back to the start.
- ``for_loop``: unrolled, the body once per value with the loop parameter bound to it.
- ``break_loop`` and ``continue_loop``: jumps to the loop's end and to its next iteration.
- ``box``: its body, in place.

Blocks see the enclosing circuit's qubits and bits through the instruction's own.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

from qiskit import QuantumCircuit
from qiskit.circuit import (
    CASE_DEFAULT,
    BoxOp,
    CircuitInstruction,
    ForLoopOp,
    IfElseOp,
    SwitchCaseOp,
    WhileLoopOp,
)

from . import conditions
from .refusals import Refused, where

if TYPE_CHECKING:
    from .walk import Clbits, Loop, Qubits, Walk


def _scope(body: QuantumCircuit, instruction: CircuitInstruction, qubits: Qubits,
           clbits: Clbits) -> tuple[Qubits, Clbits]:
    """A block's qubits and bits as the program's, through the instruction's."""
    return ({inner: qubits[outer] for inner, outer in zip(body.qubits, instruction.qubits)},
            {inner: clbits[outer] for inner, outer in zip(body.clbits, instruction.clbits)})


def lower(walk: Walk, instruction: CircuitInstruction, qubits: Qubits, clbits: Clbits,
          at: str, loop: Loop | None) -> None:
    """Adds the steps of one control-flow instruction (not break or continue)."""
    from .walk import Loop

    operation = instruction.operation
    described = where(instruction.name, at, [qubits[q] for q in instruction.qubits])

    def block(index: int, inner_loop: Loop | None) -> None:
        body = operation.blocks[index]
        inner_qubits, inner_clbits = _scope(body, instruction, qubits, clbits)
        walk.circuit(body, inner_qubits, inner_clbits, f"{at}.blocks[{index}].data", inner_loop)

    if isinstance(operation, BoxOp):
        block(0, loop)
    elif isinstance(operation, IfElseOp):
        walk.mark(described, "control flow makes the state depend on measurement outcomes")
        skip = walk.jump(conditions.negated(conditions.condition(operation.condition, clbits)))
        block(0, loop)
        if len(operation.blocks) > 1 and operation.blocks[1] is not None:
            past = walk.jump(None)
            walk.land(skip)
            block(1, loop)
            walk.land(past)
        else:
            walk.land(skip)
    elif isinstance(operation, SwitchCaseOp):
        walk.mark(described, "control flow makes the state depend on measurement outcomes")
        value = conditions.target(operation.target, clbits)
        ends = []
        cases = list(operation.cases_specifier())
        for index, (values, _) in enumerate(cases):
            skip = None
            if CASE_DEFAULT not in values:
                skip = walk.jump(conditions.negated(conditions.matches(
                    value, tuple(int(v) for v in values))))
            block(index, loop)
            if index < len(cases) - 1:
                ends.append(walk.jump(None))
            if skip is not None:
                walk.land(skip)
        walk.land(ends)
    elif isinstance(operation, WhileLoopOp):
        walk.mark(described, "control flow makes the state depend on measurement outcomes")
        start = len(walk.ops)
        out = walk.jump(conditions.negated(conditions.condition(operation.condition, clbits)))
        inner = Loop()
        block(0, inner)
        walk.jump(None, start)
        for continued in inner.continues:
            walk.ops[continued] = walk.ops[continued]._replace(dynamic=(("target", start),))
        walk.land([out, *inner.breaks])
    elif isinstance(operation, ForLoopOp):
        values, parameter, body = operation.params
        inner = Loop()
        for value in values:
            bound = body if parameter is None else body.assign_parameters(
                {parameter: value}, inplace=False, strict=False)
            inner_qubits, inner_clbits = _scope(bound, instruction, qubits, clbits)
            walk.circuit(bound, inner_qubits, inner_clbits, f"{at}.blocks[0].data", inner)
            walk.land(inner.continues)
            inner.continues.clear()
        walk.land(inner.breaks)
    else:
        raise Refused(f"velquin does not know the control-flow operation "
                      f"'{instruction.name}'")
