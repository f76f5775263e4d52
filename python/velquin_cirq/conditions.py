"""Measurement records as the engine's classical bits, and Cirq's classical controls as the
engine's conditions over them.

Every measurement of a circuit, in circuit order, writes its own classical bits: bit ``j`` of
its record (its ``j``-th qubit) is one engine bit, written once. A key measured several times
has one record per measurement, in order (``cirq.ResultDict`` instances). Cirq reads a record
as a big-endian integer (the first qubit most significant) after its ``invert_mask``; the
engine's ``register`` token reads bits lowest first, so a record is its bits reversed, XORed
with the mask.

A condition is the engine's postfix expression (non-zero: the step runs): ``KeyCondition``
(the record is not 0), ``BitMaskKeyCondition`` (``(record & mask) == or != target``) and a
``SympyCondition`` built from keys, ``key[i]`` bits (``sympy.IndexedBase``), non-negative
integers, sums, products with non-negative integers, comparisons and ``And``/``Or``/``Not``/
``Xor``. Each sum is computed just wide enough for its largest value, so it never wraps: every
condition is Cirq's exactly. Anything
else is refused (``ConditionError``) before anything runs.
"""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any, TypeAlias

import cirq
import sympy

from .refusals import Reason

Tokens: TypeAlias = "tuple[tuple[Any, ...], ...]"


class ConditionError(Reason):
    """A condition the engine cannot evaluate exactly; the text says why."""


@dataclass(frozen=True)
class Record:
    """One measurement's classical bits (its qubits' order) and its inversion, as an integer
    (the first qubit most significant)."""

    clbits: tuple[int, ...]
    invert: int

    def value(self) -> Tokens:
        """The record's integer, inverted where its mask says so."""
        if len(self.clbits) == 1:
            return (("bit", self.clbits[0]),) + ((("not",),) if self.invert else ())
        tokens: Tokens = (("register", self.clbits[::-1]),)
        return tokens + ((("const", self.invert), ("bit_xor",)) if self.invert else ())

    def bit(self, index: int) -> Tokens:
        """Bit ``index`` of the record (its ``index``-th qubit), inverted where asked."""
        k = len(self.clbits)
        if not -k <= index < k:
            raise ConditionError(f"bit {index} of a record of {k} bits")
        flipped = self.invert >> (k - 1 - index % k) & 1
        return (("bit", self.clbits[index]),) + ((("not",),) if flipped else ())


class Register:
    """The classical bits of one circuit: every measurement's record, by key, in order."""

    def __init__(self) -> None:
        self.records: dict[str, list[Record]] = {}
        self.count = 0

    def measure(self, key: str, invert: Sequence[bool]) -> tuple[int, ...]:
        """The bits of a new record of ``key`` with the given inversion."""
        bits = tuple(range(self.count, self.count + len(invert)))
        self.count += len(invert)
        earlier = self.records.setdefault(key, [])
        if earlier and len(earlier[0].clbits) != len(bits):
            raise ValueError(f"the measurement key {key!r} is measured on {len(earlier[0].clbits)} "
                             f"qubits and then on {len(bits)}; Cirq's records of one key need "
                             "one width")
        earlier.append(Record(bits, sum(1 << (len(bits) - 1 - j)
                                        for j, b in enumerate(invert) if b)))
        return bits

    def record(self, key: Any, index: int = -1) -> Record:
        """The record of ``key`` at ``index`` (-1: the latest), with Cirq's errors."""
        found = self.records.get(str(key))
        if not found:
            raise ValueError(f"Measurement key {key} missing when testing classical control")
        return found[index]  # IndexError, as Cirq's, for an index beyond the records

    def condition(self, conditions: Sequence[cirq.Condition]) -> Tokens:
        """All ``conditions`` (Cirq's ClassicallyControlledOperation ANDs them)."""
        tokens: Tokens = ()
        for i, condition in enumerate(conditions):
            tokens += self._one(condition) + ((("and",),) if i else ())
        return tokens

    def _one(self, condition: cirq.Condition) -> Tokens:
        if isinstance(condition, cirq.KeyCondition):
            return self.record(condition.key, condition.index).value()
        if isinstance(condition, cirq.BitMaskKeyCondition):
            tokens = self.record(condition.key, condition.index).value()
            if condition.bitmask is not None:
                tokens += (("const", int(condition.bitmask)), ("bit_and",))
            if not condition.equal_target and condition.target_value == 0:
                return tokens
            if condition.target_value < 0:
                raise ConditionError(f"the target {condition.target_value} is negative")
            return tokens + (("const", int(condition.target_value)),
                             ("eq",) if condition.equal_target else ("ne",))
        if isinstance(condition, cirq.SympyCondition):
            return _Sympy(self).truth(condition.expr)
        raise ConditionError(f"{type(condition).__name__} is not a condition velquin knows")


_RELATIONS: dict[type, str] = {sympy.Eq: "eq", sympy.Ne: "ne", sympy.StrictLessThan: "lt",
                               sympy.LessThan: "le", sympy.StrictGreaterThan: "gt",
                               sympy.GreaterThan: "ge"}


class _Sympy:
    """A SymPy condition as tokens; each value comes with its largest possible value."""

    def __init__(self, register: Register) -> None:
        self.register = register

    def truth(self, expr: Any) -> Tokens:
        """Tokens that are non-zero exactly where ``bool(expr)`` is true."""
        if expr is sympy.true or expr is sympy.false:
            return (("const", int(expr is sympy.true)),)
        if isinstance(expr, sympy.Not):
            return self.truth(expr.args[0]) + (("not",),)
        if isinstance(expr, (sympy.And, sympy.Or)):
            tokens = self.truth(expr.args[0])
            word = "and" if isinstance(expr, sympy.And) else "or"
            for arg in expr.args[1:]:
                tokens += self.truth(arg) + ((word,),)
            return tokens
        if isinstance(expr, sympy.Xor):  # odd number of true arguments
            tokens = self._bool(expr.args[0])
            for arg in expr.args[1:]:
                tokens += self._bool(arg) + (("bit_xor",),)
            return tokens
        relation = _RELATIONS.get(type(expr))
        if relation is not None:
            left, _ = self.value(expr.lhs)
            right, _ = self.value(expr.rhs)
            return left + right + ((relation,),)
        return self.value(expr)[0]

    def _bool(self, expr: Any) -> Tokens:
        return self.truth(expr) + (("const", 0), ("ne",))

    def value(self, expr: Any) -> tuple[Tokens, int]:
        """Tokens for an integer-valued ``expr``, and its largest value."""
        if isinstance(expr, sympy.Integer) and expr >= 0:
            return (("const", int(expr)),), int(expr)
        if isinstance(expr, sympy.Symbol):
            record = self.register.record(cirq.MeasurementKey.parse_serialized(expr.name))
            return record.value(), (1 << len(record.clbits)) - 1
        if isinstance(expr, sympy.Indexed) and len(expr.indices) == 1 and \
                isinstance(expr.indices[0], sympy.Integer):
            record = self.register.record(
                cirq.MeasurementKey.parse_serialized(expr.base.name))
            return record.bit(int(expr.indices[0])), 1
        if isinstance(expr, sympy.Add):
            tokens, top = self.value(expr.args[0])
            for arg in expr.args[1:]:
                more, most = self.value(arg)
                top += most
                if top.bit_length() > 64:
                    raise ConditionError(f"{expr} may exceed 64 bits")
                tokens += more + (("add", max(1, top.bit_length())),)
            return tokens, top
        if isinstance(expr, sympy.Mul) and len(expr.args) == 2 and \
                isinstance(expr.args[0], sympy.Integer) and expr.args[0] >= 0:
            return self._times(int(expr.args[0]), *self.value(expr.args[1]), expr)
        if isinstance(expr, (sympy.Eq, sympy.Ne, sympy.Not, sympy.And, sympy.Or, sympy.Xor,
                             *_RELATIONS)) or expr is sympy.true or expr is sympy.false:
            return self.truth(expr), 1
        raise ConditionError(f"{expr} is not a sum of keys, key bits and non-negative integers "
                             "(times non-negative integers)")

    @staticmethod
    def _times(factor: int, tokens: Tokens, top: int, expr: Any) -> tuple[Tokens, int]:
        """``factor`` times a value, as a sum of its shifts (the engine has no product)."""
        most = factor * top
        width = max(1, most.bit_length())
        if width > 64:
            raise ConditionError(f"{expr} may exceed 64 bits")
        out: Tokens = (("const", 0),)
        for shift in range(factor.bit_length()):
            if factor >> shift & 1:
                out += tokens + (("const", shift), ("shl", width), ("add", width))
        return out, most
