"""Qiskit's classical conditions as the engine's postfix tokens over the classical bits.

A condition is a legacy ``(Clbit, value)`` or ``(ClassicalRegister, value)`` pair, or a
``qiskit.circuit.classical.expr`` expression of type ``Bool`` (an ``if_test``, a
``while_loop``) or ``Uint`` (a ``switch`` target). The engine evaluates tokens on unsigned
64-bit values and takes a condition as holding where its value is not 0.

Qiskit's types become values as follows, so every operation keeps Qiskit's meaning: a ``Bool``
is 0 or 1 (a cast to ``Bool`` compares with 0); a ``Uint[w]`` is below 2^w (additions,
subtractions, shifts left and bitwise nots wrap at the width of their result type, a narrowing
cast masks). Classical variables other than bits and registers, floats, durations and
stretches, multiplication, division and negation have no exact counterpart there and are
refused, naming the expression.
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

from qiskit.circuit import Clbit, ClassicalRegister
from qiskit.circuit.classical import expr, types

from .refusals import Refused

Token = tuple[Any, ...]
Scope = Mapping[Clbit, int]
"""Each classical bit an instruction can see, as its index among the program's bits."""

_WIDEST = 64
"""The widest value the engine's tokens hold."""

_BINARY: dict[Any, str] = {
    expr.Binary.Op.BIT_AND: "bit_and", expr.Binary.Op.BIT_OR: "bit_or",
    expr.Binary.Op.BIT_XOR: "bit_xor", expr.Binary.Op.LOGIC_AND: "and",
    expr.Binary.Op.LOGIC_OR: "or", expr.Binary.Op.EQUAL: "eq",
    expr.Binary.Op.NOT_EQUAL: "ne", expr.Binary.Op.LESS: "lt",
    expr.Binary.Op.LESS_EQUAL: "le", expr.Binary.Op.GREATER: "gt",
    expr.Binary.Op.GREATER_EQUAL: "ge", expr.Binary.Op.SHIFT_RIGHT: "shr",
}
_WRAPPING: dict[Any, str] = {
    expr.Binary.Op.SHIFT_LEFT: "shl", expr.Binary.Op.ADD: "add", expr.Binary.Op.SUB: "sub",
}
"""Operations whose result wraps at its type's width: the width goes with the token."""


def _bit(bit: Clbit, scope: Scope) -> int:
    if bit not in scope:
        raise Refused(f"its condition reads the classical bit {bit}, which it is not given")
    return scope[bit]


def _register(register: ClassicalRegister, scope: Scope) -> Token:
    if len(register) > _WIDEST:
        raise Refused(f"its condition reads the register '{register.name}' of {len(register)} "
                      f"bits, and velquin evaluates conditions on at most {_WIDEST} bits")
    return ("register", tuple(_bit(bit, scope) for bit in register))


def _width(kind: types.Type, node: expr.Expr) -> int:
    if isinstance(kind, types.Bool):
        return 1
    if isinstance(kind, types.Uint):
        if kind.width > _WIDEST:
            raise Refused(f"its condition holds {node} of {kind.width} bits, and velquin "
                          f"evaluates conditions on at most {_WIDEST} bits")
        return int(kind.width)
    raise Refused(f"its condition holds {node} of type {kind}, and velquin evaluates integer "
                  "and Boolean conditions only")


def expression(node: expr.Expr, scope: Scope) -> list[Token]:
    """The tokens of a classical expression; raises Refused for what has no exact tokens."""
    width = _width(node.type, node)
    if isinstance(node, expr.Var):
        if isinstance(node.var, Clbit):
            return [("bit", _bit(node.var, scope))]
        if isinstance(node.var, ClassicalRegister):
            return [_register(node.var, scope)]
        raise Refused(f"its condition reads the classical variable '{node.name}', and velquin "
                      "holds classical bits and registers only")
    if isinstance(node, expr.Value):
        return [("const", int(node.value))]
    if isinstance(node, expr.Cast):
        inner = expression(node.operand, scope)
        if isinstance(node.type, types.Bool):
            return [*inner, ("const", 0), ("ne",)] if _width(node.operand.type, node) > 1 \
                else inner
        if width < _width(node.operand.type, node):
            return [*inner, ("const", (1 << width) - 1), ("bit_and",)]
        return inner
    if isinstance(node, expr.Unary):
        inner = expression(node.operand, scope)
        if node.op == expr.Unary.Op.LOGIC_NOT or (node.op == expr.Unary.Op.BIT_NOT and
                                                 isinstance(node.type, types.Bool)):
            return [*inner, ("not",)]
        if node.op == expr.Unary.Op.BIT_NOT:
            return [*inner, ("bit_not", width)]
    elif isinstance(node, expr.Binary):
        operands = [*expression(node.left, scope), *expression(node.right, scope)]
        if node.op in _BINARY:
            return [*operands, (_BINARY[node.op],)]
        if node.op in _WRAPPING:
            return [*operands, (_WRAPPING[node.op], width)]
    elif isinstance(node, expr.Index):
        # Bit i of the target: (target >> i) & 1.
        return [*expression(node.target, scope), *expression(node.index, scope), ("shr",),
                ("const", 1), ("bit_and",)]
    raise Refused(f"its condition holds {node}, which has no exact form in velquin's "
                  "conditions (bits, registers, integer constants, comparisons, logical and "
                  "bitwise operations, shifts, additions and subtractions)")


def condition(value: Any, scope: Scope) -> list[Token]:
    """The tokens of an ``if_test`` or ``while_loop`` condition (a Bool expression or a legacy
    pair), true where it holds."""
    if isinstance(value, expr.Expr):
        return expression(value, scope)
    target, wanted = value
    if isinstance(target, Clbit):
        return [("bit", _bit(target, scope))] if wanted else \
            [("bit", _bit(target, scope)), ("not",)]
    return [_register(target, scope), ("const", int(wanted)), ("eq",)]


def target(value: Any, scope: Scope) -> list[Token]:
    """The tokens of a ``switch`` target: a bit, a register or a Uint or Bool expression."""
    if isinstance(value, expr.Expr):
        return expression(value, scope)
    if isinstance(value, Clbit):
        return [("bit", _bit(value, scope))]
    return [_register(value, scope)]


def negated(tokens: list[Token]) -> list[Token]:
    return [*tokens, ("not",)]


def matches(value: list[Token], cases: tuple[int, ...]) -> list[Token]:
    """Tokens true where ``value`` equals one of ``cases``."""
    out: list[Token] = []
    for k, case in enumerate(cases):
        out.extend([*value, ("const", int(case)), ("eq",)])
        if k:
            out.append(("or",))
    return out
