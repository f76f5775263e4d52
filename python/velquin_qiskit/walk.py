"""The walk over a circuit's instructions: every one becomes engine steps, in order.

Gates go through ``Lowering`` (one operation each where velquin has one). A measurement is a
``measure`` step writing its classical bit (through the noise model's readout error, if any);
``reset`` is a ``reset`` step; a ``Kraus`` instruction (Qiskit appends a ``SuperOp`` as one)
and Aer's quantum-error instructions are ``kraus`` and ``mixture`` steps; control flow is
translated in control_flow.py; an instruction that is not a gate but has a definition (a
circuit made into an instruction, ``initialize``) is walked in place with its bits. After
each instruction comes the noise model's error for it (noise.py).

The walk also notes whether the program is dynamic, and why (the first instruction that made
it so): a program whose only non-unitary steps are measurements that no later instruction
touches runs as a state sampled once, its measurements recorded, not simulated.
"""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass, field

import numpy as np

from qiskit import QuantumCircuit
from qiskit.circuit import (
    BreakLoopOp,
    CircuitInstruction,
    Clbit,
    ContinueLoopOp,
    ControlFlowOp,
    Gate,
    Measure,
    Qubit,
    Reset,
    Store,
)
from velquin_adapters import Op, TerminalMeasurements

from . import control_flow
from .angles import Angles, NotRealError
from .noise import NoiseSteps, error_steps
from .operations import MAX_DENSE, Lowering
from .refusals import Refused, refusal, where

_NOT_NOISY = frozenset({"measure", "if_else", "switch_case", "for_loop", "while_loop", "box",
                        "break_loop", "continue_loop"})
"""Instructions the noise model gives no error after: control flow (Aer lowers it to jumps),
and measurements, whose error Aer applies before them."""

Qubits = Mapping[Qubit, int]
Clbits = Mapping[Clbit, int]


@dataclass
class Loop:
    """The jumps a loop's body makes: to the next iteration and out of the loop."""

    continues: list[int] = field(default_factory=list)
    breaks: list[int] = field(default_factory=list)


class Walk:
    """One circuit's steps (``ops``, shared with its ``Lowering``) and what they need."""

    def __init__(self, angles: Angles, noise: NoiseSteps | None, keep_measurements: bool
                 ) -> None:
        self.lowering = Lowering(angles)
        self.ops = self.lowering.ops
        self.noise = noise
        self.keep_measurements = keep_measurements
        self.terminal = TerminalMeasurements()
        self.measured: dict[int, int] = {}
        self.dynamic: tuple[str, str] | None = None
        """Why the program is dynamic: the first instruction that made it so, and why."""
        self.noisy: str | None = None
        """The first instruction the noise model gives an error (or a readout error)."""

    def mark(self, described: str, reason: str) -> None:
        if self.dynamic is None:
            self.dynamic = (described, reason)

    def jump(self, condition: list[tuple[object, ...]] | None, target: int = -1) -> int:
        """Adds a jump (to ``target``, or to be landed later); returns its step index."""
        dynamic: tuple[tuple[str, object], ...] = (("target", max(target, 0)),)
        if condition is not None:
            dynamic += (("condition", tuple(condition)),)
        self.ops.append(Op("jump", (), dynamic=dynamic))
        return len(self.ops) - 1

    def land(self, jumps: list[int] | int) -> None:
        """Points the given jumps at the next step."""
        for at in [jumps] if isinstance(jumps, int) else jumps:
            op = self.ops[at]
            self.ops[at] = op._replace(dynamic=(("target", len(self.ops)), *op.dynamic[1:]))

    def circuit(self, circuit: QuantumCircuit, qubits: Qubits, clbits: Clbits, at: str,
                loop: Loop | None) -> None:
        """Adds the steps of ``circuit`` (``at`` its location, as refusals name it)."""
        for index, instruction in enumerate(circuit.data):
            self.instruction(instruction, qubits, clbits, f"{at}[{index}]", loop)

    def instruction(self, instruction: CircuitInstruction, qubit_map: Qubits,
                    clbit_map: Clbits, at: str, loop: Loop | None) -> None:
        name = instruction.name
        if name == "barrier":
            return
        qubits = tuple(qubit_map[q] for q in instruction.qubits)
        try:
            self._steps(instruction, qubits, qubit_map, clbit_map, at, loop)
            if self.noise is not None and name not in _NOT_NOISY:
                label = getattr(instruction.operation, "label", None)
                self._noise(label or name, qubits, where(name, at, qubits))
        except Refused as refused:
            raise refusal(name, at, qubits, refused.reason) from None
        except NotRealError as error:
            raise refusal(name, at, qubits, str(error)) from None

    def _noise(self, key: str, qubits: tuple[int, ...], described: str) -> None:
        assert self.noise is not None
        steps = self.noise.after(key, qubits)
        if steps:
            self.ops.extend(steps)
            self._noisy(described)

    def _noisy(self, described: str) -> None:
        if self.noisy is None:
            self.noisy = described
        self.mark(described, "the noise model gives it an error")

    def _steps(self, instruction: CircuitInstruction, qubits: tuple[int, ...],
               qubit_map: Qubits, clbit_map: Clbits, at: str, loop: Loop | None) -> None:
        name = instruction.name
        operation = instruction.operation
        described = where(name, at, qubits)
        if name == "delay":
            return
        if isinstance(operation, (BreakLoopOp, ContinueLoopOp)):
            if loop is None:
                raise Refused("it is not inside a loop")
            self.mark(described, "a jump out of a loop body")
            (loop.breaks if isinstance(operation, BreakLoopOp) else loop.continues).append(
                self.jump(None))
            return
        if isinstance(operation, ControlFlowOp):
            control_flow.lower(self, instruction, qubit_map, clbit_map, at, loop)
            return
        if isinstance(operation, Measure):
            self._measure(qubits[0], clbit_map[instruction.clbits[0]], described,
                          getattr(operation, "label", None))
            return
        if isinstance(operation, Reset):
            self.mark(described, "a reset is not unitary: the state after it depends on the "
                      "outcome of the qubit's measurement")
            self.ops.append(Op("reset", qubits))
            return
        if isinstance(operation, Store):
            raise Refused("classical variables and stores need classical memory beyond the "
                          "circuit's bits, which velquin does not hold")
        error = getattr(operation, "_quantum_error", None)  # Aer's QuantumChannelInstruction
        if error is not None or (name == "kraus" and not isinstance(operation, Gate)):
            self.mark(described, "a noise channel is not unitary: the state after it is a "
                      "mixture")
            self.ops.extend(error_steps(error, qubits) if error is not None else
                            [self._kraus(operation.params, qubits)])
            return
        if not isinstance(operation, Gate) and getattr(operation, "definition", None) \
                is not None:
            definition = operation.definition
            inner_clbits = {bit: clbit_map[outer] for bit, outer in
                            zip(definition.clbits, instruction.clbits)}
            self.circuit(definition, dict(zip(definition.qubits, qubits)), inner_clbits,
                         f"{at}.definition.data", loop)
            return
        self._gate(instruction, qubits, described)

    def _measure(self, qubit: int, clbit: int, described: str, label: str | None) -> None:
        dynamic: tuple[tuple[str, object], ...] = (("clbits", (clbit,)),)
        readout = None
        if self.noise is not None:
            self._noise(label or "measure", (qubit,), described)
            readout = self.noise.readout(qubit)
        if readout is not None:
            dynamic += (("probabilities", readout),)
            self._noisy(described)
        if self.keep_measurements:
            self.mark(described, "the state after a measurement depends on its outcome")
        self.ops.append(Op("measure", (qubit,), dynamic=dynamic))
        self.measured[clbit] = qubit
        self.terminal.measure((qubit,), described)

    @staticmethod
    def _kraus(matrices: list[object], qubits: tuple[int, ...]) -> Op:
        if len(qubits) > MAX_DENSE:
            raise Refused(f"velquin applies Kraus operators on at most {MAX_DENSE} qubits, and "
                          f"this channel acts on {len(qubits)}")
        kraus = tuple(np.ascontiguousarray(m, dtype=np.complex128) for m in matrices)
        return Op("kraus", qubits, dynamic=(("kraus", kraus),))

    def _gate(self, instruction: CircuitInstruction, qubits: tuple[int, ...],
              described: str) -> None:
        if self.terminal.measured and self.dynamic is None:
            conflict = self.terminal.conflict(qubits)
            if conflict is not None:
                qubit, at = conflict
                self.mark(described, f"it acts on qubit {qubit} after its measurement by {at}, "
                          "so the state depends on the outcome")
        lowering = self.lowering
        if instruction.is_standard_gate():
            lowering.standard(instruction.name, qubits, instruction.params)
        elif not lowering.stored_unitary(instruction, qubits):
            lowering.lower(instruction.operation, qubits)
