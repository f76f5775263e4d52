"""What velquin cannot simulate exactly, named with its moment before anything is simulated.

velquin plays unitary gates, measurements anywhere (``cirq.measure``, with single-qubit
confusion maps), resets, unitary mixtures, Kraus channels and classically controlled
operations. It refuses, with an error naming the operation and its moment: qudits, loops
repeated until an outcome (``repeat_until``: their records are as many as the outcomes
make them), correlated readout errors, channels with symbolic probabilities or that record
their branch, conditions it cannot evaluate exactly, and operations that are none of these
(nor decompose into them). The walk (``walk``) asks here for the words.
"""

from __future__ import annotations

import cirq
from velquin_adapters import UnsupportedError


class UnsupportedOperationError(UnsupportedError):
    """The circuit holds an operation velquin cannot simulate exactly."""


class Reason(Exception):
    """Why an operation is refused; the walk names the operation and its moment."""


def describe(op: cirq.Operation) -> str:
    """The operation as Cirq prints it (without its tags), or its gate's type and qubits when
    that is long."""
    op = op.untagged
    text = str(op)
    if len(text) <= 200 and "\n" not in text:
        return text
    kind = type(op.gate if op.gate is not None else op).__name__
    return f"{kind} on {', '.join(map(str, op.qubits))}"


def refuse(op: cirq.Operation, moment: int, reason: str) -> UnsupportedOperationError:
    """The error for ``op`` in moment ``moment``."""
    return UnsupportedOperationError(
        f"velquin cannot simulate {describe(op)} in moment {moment}: {reason}")


def not_exact(what: str, dynamic: str) -> UnsupportedOperationError:
    """The refusal of exact results (``what``) of a circuit that is not unitary gates and
    terminal measurements; ``dynamic`` names its first such operation."""
    return UnsupportedOperationError(
        f"velquin cannot compute {what} exactly: {dynamic}, so each run is one trajectory "
        "of many, and averaging trajectories would only estimate the values; exact values "
        "of a noisy or dynamic circuit need its density matrix (cirq.DensityMatrixSimulator)")
