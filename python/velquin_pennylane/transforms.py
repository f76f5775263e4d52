"""What velquin.qubit adds to PennyLane's own preprocessing.

- ``decompose_or_by_matrix``: an operation's own decomposition, or, for a
  unitary operation that has none (DoubleExcitationPlus, BlockEncode, ...),
  its matrix as a QubitUnitary, which PennyLane decomposes into rotations and
  CNOTs with the global phase kept. A non-unitary operation stays refused.

- ``prepare_from_zero``: a state preparation (StatePrep, BasisState, ...) is
  decomposed into gates that assume its wires are still in |0>; one that
  comes after a gate on one of its wires is refused instead of being silently
  wrong.
- ``group_for_sampling``: a tape with shots is split into tapes of qubit-wise
  commuting measurements (PennyLane's ``split_non_commuting``), each rotated
  into the computational basis (``diagonalize_measurements``), so one set of
  velquin samples serves all of a tape's measurements. Tapes without shots
  pass unchanged: their measurements share one exact state vector.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np
from pennylane.operation import DecompositionUndefinedError, Operator
from pennylane.ops import QubitUnitary

from pennylane.exceptions import DeviceError
from pennylane.operation import StatePrepBase
from pennylane.tape import QuantumScript
from pennylane.transforms import diagonalize_measurements, split_non_commuting
from pennylane.transforms.core import transform


def _first(results: Sequence[Any]) -> Any:
    return results[0]


def decompose_or_by_matrix(op: Operator) -> Sequence[Operator]:
    """The decomposition ``decompose`` applies to an operation the device does not run."""
    if op.has_decomposition:
        return op.decomposition()
    if op.has_matrix:
        matrix = op.matrix()
        if np.allclose(matrix @ matrix.conj().T, np.eye(matrix.shape[0]), rtol=0, atol=1e-10):
            return [QubitUnitary(matrix, wires=op.wires)]
    raise DecompositionUndefinedError


@transform
def prepare_from_zero(tape: QuantumScript, name: str = "velquin.qubit"
                      ) -> tuple[Sequence[QuantumScript], Any]:
    """Refuse a state preparation on a wire an earlier operation acted on."""
    if not any(isinstance(op, StatePrepBase) for op in tape.operations):
        return (tape,), _first
    touched: set[object] = set()
    for op in tape.operations:
        if isinstance(op, StatePrepBase) and not touched.isdisjoint(op.wires):
            raise DeviceError(
                f"Operator {op} prepares a state on wires that earlier operations act on; "
                f"{name} prepares states only on wires still in |0>")
        touched.update(op.wires)
    return (tape,), _first


@transform
def group_for_sampling(tape: QuantumScript, lower: Callable[[list[Operator]], list[Operator]]
                       ) -> tuple[Sequence[QuantumScript], Any]:
    """With shots: one tape per qubit-wise commuting group, measured in the Z basis.

    ``lower`` writes the rotations into the device's operations (they are
    velquin gates already, but an observable's own diagonalizing gates may not be).
    """
    if not tape.shots or len(tape.measurements) == 0:
        return (tape,), _first
    tapes, combine = split_non_commuting(tape, grouping_strategy="qwc")
    rotated = [diagonalize_measurements(t)[0][0] for t in tapes]
    return [t.copy(operations=lower(t.operations)) for t in rotated], combine
