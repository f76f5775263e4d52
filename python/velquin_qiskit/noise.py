"""A ``qiskit_aer.noise.NoiseModel`` as the engine's noise steps, applied as Aer applies them.

After each instruction (a gate, reset or delay; never a barrier), and before each
measurement, the model's quantum error for that instruction comes: Aer looks it up by the
instruction's label, else its name, taking the error for exactly those qubits, else the
all-qubit error. A measurement records its bit through the qubit's readout error (the
qubit's own, else the all-qubit one). Both are
read here from the model (Aer keeps them in its private tables; its public ``to_dict`` is
their serialised form).

A ``QuantumError`` is a mixture of circuits with probabilities. Errors built by composing and
tensoring simpler ones (Aer's device models: a depolarizing error composed with thermal
relaxation on each qubit) are the products of their factors, so the circuits are factored
back into independent steps where their probabilities are a product: a factor of unitary
circuits (Pauli channels, depolarizing, bit and phase flips) becomes one ``mixture`` step
(its branch drawn without touching the state), any other one ``kraus`` step with the Kraus
operators of its circuits (amplitude and phase damping, resets, thermal relaxation), each
scaled by the square root of its probability. Nothing is approximated: a factoring is used
only when it gives every circuit's probability to within rounding (1e-12 relative).

Refused, naming the instruction: an error whose size is not the instruction's, and readout
errors correlated across qubits (Aer applies those only to a measurement of all their qubits
at once, which Qiskit's single-qubit measurements never are).
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt
from qiskit import QuantumCircuit
from qiskit.circuit import Gate
from qiskit.quantum_info import Kraus
from velquin_adapters import Op

from .angles import Angles
from .operations import MAX_DENSE, Lowering
from .refusals import Refused

_RELATIVE = 1e-12
"""How closely a factoring must give each circuit's probability (rounding, not a model)."""

Instruction = tuple[Any, tuple[int, ...]]
"""One instruction of an error's circuit: the operation and its qubits (the error's indices)."""


def _rows(error: Any) -> list[list[Instruction]]:
    rows = []
    for circuit in error.circuits:
        index = {q: i for i, q in enumerate(circuit.qubits)}
        rows.append([(i.operation, tuple(index[q] for q in i.qubits)) for i in circuit.data])
    return rows


def _key(instruction: Instruction) -> tuple[Any, ...]:
    operation, qubits = instruction
    params = tuple(np.asarray(p).tobytes() if isinstance(p, np.ndarray) else repr(p)
                   for p in operation.params)
    return operation.name, qubits, params


def _factors(rows: list[list[Instruction]], probs: list[float]
             ) -> list[tuple[list[list[Instruction]], list[float]]]:
    """The error as independent factors, each (circuits, probabilities), applied in order; one
    factor (the error itself) where no product is found."""
    length = len(rows[0])
    if len(rows) < 4 or any(len(row) != length for row in rows):
        return [(rows, probs)]
    keys = [tuple(map(_key, row)) for row in rows]
    table = dict(zip(keys, probs))
    for split in range(1, length):
        heads = list(dict.fromkeys(k[:split] for k in keys))
        tails = list(dict.fromkeys(k[split:] for k in keys))
        if len(heads) == 1 or len(tails) == 1 or len(table) != len(rows) or \
                len(heads) * len(tails) != len(rows):
            continue
        head_p = [sum(table[h + t] for t in tails if h + t in table) for h in heads]
        tail_p = [sum(table[h + t] for h in heads if h + t in table) for t in tails]
        if all(h + t in table and abs(table[h + t] - hp * tp) <= _RELATIVE * table[h + t]
               for h, hp in zip(heads, head_p) for t, tp in zip(tails, tail_p)):
            first = {k[:split]: row[:split] for k, row in zip(keys, rows)}
            rest = {k[split:]: row[split:] for k, row in zip(keys, rows)}
            return [([first[h] for h in heads], head_p),
                    *_factors([rest[t] for t in tails], tail_p)]
    return [(rows, probs)]


def _circuit(instructions: Sequence[Instruction], n_qubits: int) -> QuantumCircuit:
    circuit = QuantumCircuit(n_qubits)
    for operation, qubits in instructions:
        circuit.append(operation, qubits)
    return circuit


def _step(rows: list[list[Instruction]], probs: list[float], qubits: tuple[int, ...]
          ) -> list[Op]:
    """One factor as engine steps on ``qubits`` (the error's qubits, in order)."""
    if all(isinstance(operation, Gate) for row in rows for operation, _ in row):
        where = dict(enumerate(qubits))
        branches = []
        for row in rows:
            lowering = Lowering(Angles([]))
            # A branch's phase is a global phase of its trajectory, which nothing can see.
            lowering.walk(_circuit(row, len(qubits)))
            branches.append(tuple(op.renumbered(where) for op in lowering.ops))
        if len(branches) == 1:
            return list(branches[0])
        return [Op("mixture", (), dynamic=(("probabilities", tuple(probs)),
                                           ("branches", tuple(branches))))]
    used = sorted({q for row in rows for _, on in row for q in on})
    if len(used) > MAX_DENSE:
        raise Refused(f"its noise acts on {len(used)} qubits at once, and velquin applies "
                      f"Kraus operators on at most {MAX_DENSE}")
    local = {u: k for k, u in enumerate(used)}
    matrices: list[npt.NDArray[np.complex128]] = []
    for row, p in zip(rows, probs):
        branch = _circuit([(op, tuple(local[q] for q in on)) for op, on in row], len(used))
        for matrix in Kraus(branch).data:
            scaled = np.ascontiguousarray(math.sqrt(p) * np.asarray(matrix), dtype=np.complex128)
            if scaled.any():
                matrices.append(scaled)
    return [Op("kraus", tuple(qubits[u] for u in used), dynamic=(("kraus", tuple(matrices)),))]


def error_steps(error: Any, qubits: tuple[int, ...]) -> list[Op]:
    """The engine steps of an Aer quantum error (``QuantumError``, ``PauliError``,
    ``PauliLindbladError``) on ``qubits``; raises Refused for one of another size."""
    if not hasattr(error, "circuits"):
        convert = getattr(error, "to_quantum_error", None)
        if convert is None:
            raise Refused(f"velquin does not know the quantum error {error!r}")
        error = convert()
    if error.num_qubits != len(qubits):
        raise Refused(f"its noise model's error acts on {error.num_qubits} qubits, and the "
                      f"instruction on {len(qubits)}")
    steps: list[Op] = []
    for rows, probs in _factors(_rows(error), [float(p) for p in error.probabilities]):
        steps.extend(_step(rows, probs, qubits))
    return steps


class NoiseSteps:
    """One noise model's steps, made once per (instruction key, qubits) and kept."""

    def __init__(self, model: Any) -> None:
        from qiskit_aer.noise import NoiseModel  # only needed where a model is given

        if not isinstance(model, NoiseModel):
            raise TypeError(f"noise_model must be a qiskit_aer.noise.NoiseModel, not "
                            f"{type(model).__name__}")
        self.model = model
        self._default: dict[str, Any] = dict(model._default_quantum_errors)
        self._local: dict[str, dict[tuple[int, ...], Any]] = {
            name: dict(errors) for name, errors in model._local_quantum_errors.items()}
        self._readout_default = model._default_readout_error
        self._readout_local: dict[tuple[int, ...], Any] = dict(model._local_readout_errors)
        self._made: dict[tuple[str, tuple[int, ...]], tuple[Op, ...]] = {}

    def passes(self) -> Any:
        """The model's own passes (relaxation during delays), or None."""
        return self.model._pass_manager()

    def after(self, key: str, qubits: tuple[int, ...]) -> tuple[Op, ...]:
        """The steps after instruction ``key`` (its label, else its name) on ``qubits``."""
        made = self._made.get((key, qubits))
        if made is None:
            local = self._local.get(key, {}).get(qubits)
            error = local if local is not None else self._default.get(key)
            made = () if error is None else tuple(error_steps(error, qubits))
            self._made[(key, qubits)] = made
        return made

    def readout(self, qubit: int) -> tuple[float, float] | None:
        """(p(read 1 | 0), p(read 0 | 1)) for a measurement of ``qubit``, or None."""
        for qubits in self._readout_local:
            if qubit in qubits and len(qubits) > 1:
                raise Refused(f"the noise model's readout error on qubits {qubits} is "
                              "correlated across qubits; velquin applies single-qubit readout "
                              "errors only")
        error = self._readout_local.get((qubit,), self._readout_default)
        if error is None:
            return None
        p = np.asarray(error.probabilities, dtype=np.float64)
        return float(p[0, 1]), float(p[1, 0])
