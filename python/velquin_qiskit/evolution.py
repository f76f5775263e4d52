"""``PauliEvolutionGate`` as Pauli rotations, exactly.

The gate is ``exp(-i t H)`` for ``H`` the sum of its Pauli terms, and Qiskit's ``Operator``
(so ``Statevector``) takes that exact exponential, while its definition is a product formula.
When the terms commute, the exponential is the product of one rotation ``exp(-i t c P)`` per
term (``pauli_rotation`` with angle ``2 c t``; an identity term is the phase ``-c t``); when
they do not, no sequence of velquin's operations is exact, and the gate is refused.
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt
from qiskit.circuit.library import PauliEvolutionGate
from qiskit.quantum_info import SparseObservable, SparsePauliOp
from velquin_adapters import Angle, Op, scale

from .angles import Angles
from .gates import Qubits
from .refusals import Refused


def _terms(gate: PauliEvolutionGate) -> SparsePauliOp:
    operators = gate.operator if isinstance(gate.operator, list) else [gate.operator]
    parts = [SparsePauliOp.from_sparse_observable(op) if isinstance(op, SparseObservable) else op
             for op in operators]
    return SparsePauliOp.sum(parts)


def _commute(x: npt.NDArray[np.bool_], z: npt.NDArray[np.bool_]) -> bool:
    """Whether every pair of the Paulis (rows of x and z) commutes: their symplectic
    product is even."""
    product = (x.astype(np.int64) @ z.T.astype(np.int64) + z.astype(np.int64) @
               x.T.astype(np.int64)) % 2
    return not product.any()


def pauli_evolution(gate: PauliEvolutionGate, qubits: Qubits, angles: Angles
                    ) -> tuple[list[Op], list[Angle]]:
    """The rotations and phase terms of ``gate`` on ``qubits``; raises Refused when its
    terms do not commute or a coefficient is not real."""
    terms = _terms(gate)
    x, z = terms.paulis.x, terms.paulis.z
    if not _commute(x, z):
        raise Refused("its Pauli terms do not all commute, so its exponential is no product of "
                      "rotations, and Qiskit's definition of it only approximates it")
    time = angles.angle(gate.params[0])
    coefficients = terms.coeffs * (-1j) ** terms.paulis.phase
    ops: list[Op] = []
    phases: list[Angle] = []
    for k, coefficient in enumerate(coefficients.tolist()):
        if complex(coefficient).imag != 0:
            raise Refused(f"the coefficient {coefficient} of its term {terms.paulis[k]} is not "
                          "real")
        c = complex(coefficient).real
        letters = [(qubits[q], "Y" if x[k, q] and z[k, q] else "X" if x[k, q] else "Z")
                   for q in range(len(qubits)) if x[k, q] or z[k, q]]
        if letters:
            ops.append(Op("pauli_rotation", tuple(q for q, _ in letters),
                          params=(scale(time, 2 * c),),
                          payload="".join(letter for _, letter in letters)))
        else:
            phases.append(scale(time, -c))
    return ops, phases
