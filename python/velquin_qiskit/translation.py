"""Qiskit circuits as programs for velquin's engine, translated once per circuit.

Every standard gate becomes one operation (gates.py); so do ``UnitaryGate``,
``DiagonalGate``, ``PermutationGate``, ``PauliGate`` and any ``ControlledGate`` whose base
gate is one operation (its controls and control state added to that operation). Only what has
no operation of its own is unrolled by its definition (``QFTGate``, library blocks, circuits
turned into gates), recursively; a parameter-free gate's definition is translated once per
process (operations.py). Angles stay expressions of the circuit's parameters (angles.py), so
one translation runs for every parameter set.

Measurements, resets, control flow and noise are steps of the program (walk.py). A program
whose only such steps are measurements no later instruction touches is not dynamic: its
measurements are recorded (``measured``) and its final state sampled in one pass; any other
runs shot by shot as seeded trajectories.
"""

from __future__ import annotations

from dataclasses import dataclass

from qiskit import QuantumCircuit
from qiskit.circuit import Delay
from velquin_adapters import MAX_QUBITS, Layout, Program, TooManyQubitsError, add

from .angles import Angles
from .noise import NoiseSteps
from .walk import Walk


@dataclass
class Translation:
    """One circuit for the engine.

    ``program`` is on the caller's qubit indices; ``shrunk()`` gives it on the qubits it acts
    on. ``dynamic`` is None for a program whose final state is sampled once (then
    ``measured[clbit] = qubit``, caller's indices, for every classical bit a measurement
    writes, the last measurement winning, and the program holds no measurement); otherwise it
    names the first instruction that makes the program run shot by shot, and why, and the
    program's classical bits are the circuit's. ``noisy`` names the first instruction the
    noise model gives an error, if any.
    """

    circuit: QuantumCircuit
    program: Program
    angles: Angles
    measured: dict[int, int]
    dynamic: tuple[str, str] | None = None
    noisy: str | None = None
    _shrunk: tuple[Layout, Program] | None = None

    def shrunk(self) -> tuple[Layout, Program]:
        """The layout of the qubits the operations touch and the program on them (at most 30,
        else TooManyQubitsError naming the count)."""
        if self._shrunk is None:
            self._shrunk = self.program.shrunk()
        return self._shrunk


def _with_noise_passes(circuit: QuantumCircuit, noise: NoiseSteps) -> QuantumCircuit:
    """The circuit after the noise model's own passes (relaxation during delays), which Aer
    runs on a circuit holding a delay."""
    passes = noise.passes()
    if passes is None or not any(isinstance(i.operation, Delay) for i in circuit.data):
        return circuit
    out: QuantumCircuit = passes.run(circuit)
    return out


def translate(circuit: QuantumCircuit, *, noise: NoiseSteps | None = None,
              keep_measurements: bool = False) -> Translation:
    """Check and translate a circuit; nothing is simulated.

    ``noise`` adds the noise model's errors; ``keep_measurements`` keeps every measurement a
    step (the estimator's: the state after a measurement is what it estimates). Raises
    UnsupportedInstructionError naming the first instruction velquin cannot simulate exactly.
    """
    angles = Angles(list(circuit.parameters))
    walk = Walk(angles, noise, keep_measurements)
    walked = circuit if noise is None else _with_noise_passes(circuit, noise)
    walk.circuit(walked, {q: i for i, q in enumerate(walked.qubits)},
                 {c: i for i, c in enumerate(walked.clbits)}, "circuit.data", None)
    ops = walk.ops
    if walk.dynamic is None and walk.terminal.measured:
        ops = [op for op in ops if op.name != "measure"]
    phase = add(angles.angle(circuit.global_phase), *walk.lowering.phases)
    program = Program(max(1, circuit.num_qubits), ops, angles.n_slots,
                      None if phase == 0.0 else phase,
                      0 if walk.dynamic is None else circuit.num_clbits)
    return Translation(circuit, program, angles, walk.measured, walk.dynamic, walk.noisy)


def check_size(circuit: QuantumCircuit) -> None:
    """Refuses a circuit whose whole register velquin cannot hold (naming the count)."""
    if circuit.num_qubits > MAX_QUBITS:
        raise TooManyQubitsError(
            f"the circuit has {circuit.num_qubits} qubits; velquin simulates at most {MAX_QUBITS}")


class Translator:
    """``translate`` with a memory for one call: a circuit given in several PUBs (or several
    times to the backend) is translated once. Keep it no longer than the call, since
    circuits can change between calls."""

    def __init__(self, *, noise: NoiseSteps | None = None,
                 keep_measurements: bool = False) -> None:
        self._noise = noise
        self._keep = keep_measurements
        self._done: dict[int, tuple[QuantumCircuit, Translation]] = {}

    def __call__(self, circuit: QuantumCircuit) -> Translation:
        done = self._done.get(id(circuit))
        if done is None or done[0] is not circuit:
            translation = translate(circuit, noise=self._noise, keep_measurements=self._keep)
            done = self._done[id(circuit)] = (circuit, translation)
        return done[1]
