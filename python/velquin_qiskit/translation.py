"""Qiskit circuits as programs for velquin's engine, translated once per circuit.

Every standard gate becomes one operation (gates.py); so do ``UnitaryGate``,
``DiagonalGate``, ``PermutationGate``, ``PauliGate`` and any ``ControlledGate`` whose base
gate is one operation (its controls and control state added to that operation). Only what has
no operation of its own is unrolled by its definition (``QFTGate``, library blocks, circuits
turned into gates), recursively; a parameter-free gate's definition is translated once per
process (operations.py). Angles stay expressions of the circuit's parameters (angles.py), so
one translation runs for every parameter set. Measurements are recorded, not simulated: a
measured qubit may take no later operation.
"""

from __future__ import annotations

from dataclasses import dataclass

from qiskit import QuantumCircuit
from qiskit.circuit import Measure
from velquin_adapters import (
    MAX_QUBITS,
    Layout,
    Program,
    TerminalMeasurements,
    TooManyQubitsError,
    add,
)

from .angles import Angles, NotRealError
from .operations import Lowering
from .refusals import IGNORED, Refused, non_unitary_reason, refusal


@dataclass
class Translation:
    """One circuit for the engine.

    ``program`` is on the caller's qubit indices; ``shrunk()`` gives it on the qubits it acts
    on. ``measured[clbit] = qubit`` (caller's indices) for every classical bit a measurement
    writes, the last measurement winning, as in the circuit.
    """

    circuit: QuantumCircuit
    program: Program
    angles: Angles
    measured: dict[int, int]
    _shrunk: tuple[Layout, Program] | None = None

    def shrunk(self) -> tuple[Layout, Program]:
        """The layout of the qubits the operations touch and the program on them (at most 30,
        else TooManyQubitsError naming the count)."""
        if self._shrunk is None:
            self._shrunk = self.program.shrunk()
        return self._shrunk


def translate(circuit: QuantumCircuit, *, measurements: str = "final") -> Translation:
    """Check and translate a circuit; nothing is simulated.

    ``measurements`` is "final" (measurements at the end, recorded in ``measured``) or the
    reason measurements are refused (the estimator's). Raises UnsupportedInstructionError
    naming the first instruction velquin cannot simulate exactly.
    """
    angles = Angles(list(circuit.parameters))
    lowering = Lowering(angles)
    qubit_index = {q: i for i, q in enumerate(circuit.qubits)}
    clbit_index = {c: i for i, c in enumerate(circuit.clbits)}
    terminal = TerminalMeasurements()
    measured: dict[int, int] = {}
    for index, instruction in enumerate(circuit.data):
        name = instruction.name
        if name in IGNORED:
            continue
        qubits = tuple(map(qubit_index.__getitem__, instruction.qubits))
        standard = instruction.is_standard_gate()
        stored = not standard and name == "unitary" and not instruction.params
        if not standard and not stored:
            operation = instruction.operation
            if isinstance(operation, Measure):
                if measurements != "final":
                    raise refusal(name, index, qubits, measurements)
                measured[clbit_index[instruction.clbits[0]]] = qubits[0]
                terminal.measure(qubits, f"circuit.data[{index}]")
                continue
            reason = non_unitary_reason(operation)
            if reason is not None:
                raise refusal(name, index, qubits, reason)
        if measured:  # some qubit is measured already: no later operation may touch it
            conflict = terminal.conflict(qubits)
            if conflict is not None:
                qubit, at = conflict
                raise refusal(name, index, qubits,
                              f"it acts on qubit {qubit} after its measurement at {at}, and "
                              "mid-circuit measurements are not simulated")
        try:
            if standard:
                lowering.standard(name, qubits, instruction.params)
            elif not (stored and lowering.stored_unitary(instruction, qubits)):
                lowering.lower(instruction.operation, qubits)
        except Refused as refused:
            raise refusal(name, index, qubits, refused.reason) from None
        except NotRealError as error:
            raise refusal(name, index, qubits, str(error)) from None
    phase = add(angles.angle(circuit.global_phase), *lowering.phases)
    program = Program(max(1, circuit.num_qubits), lowering.ops, angles.n_slots,
                      None if phase == 0.0 else phase)
    return Translation(circuit, program, angles, measured)


def check_size(circuit: QuantumCircuit) -> None:
    """Refuses a circuit whose whole register velquin cannot hold (naming the count)."""
    if circuit.num_qubits > MAX_QUBITS:
        raise TooManyQubitsError(
            f"the circuit has {circuit.num_qubits} qubits; velquin simulates at most {MAX_QUBITS}")


class Translator:
    """``translate`` with a memory for one call: a circuit given in several PUBs (or several
    times to the backend) is translated once. Keep it no longer than the call, since
    circuits can change between calls."""

    def __init__(self, *, measurements: str = "final") -> None:
        self._measurements = measurements
        self._done: dict[int, tuple[QuantumCircuit, Translation]] = {}

    def __call__(self, circuit: QuantumCircuit) -> Translation:
        done = self._done.get(id(circuit))
        if done is None or done[0] is not circuit:
            translation = translate(circuit, measurements=self._measurements)
            done = self._done[id(circuit)] = (circuit, translation)
        return done[1]
