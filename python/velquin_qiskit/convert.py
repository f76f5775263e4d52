"""Qiskit circuits and OpenQASM text as velquin circuits and state vectors."""

from __future__ import annotations

import re

from qiskit import QuantumCircuit, qasm2, qasm3, transpile
from qiskit.quantum_info import Statevector
from qiskit.transpiler.exceptions import TranspilerError
from velquin_adapters import state

import velquin

from .refusals import IGNORED, UnsupportedInstructionError
from .translation import Translation, check_size, translate

BASIS = ["x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx", "rx", "ry", "rz", "cx", "swap", "cy",
         "cz"]
"""velquin's sixteen gates, the only ones a ``velquin.QuantumCircuit`` holds."""

_QASM_VERSION = re.compile(r"\A(?:\s|//[^\n]*\n|/\*.*?\*/)*OPENQASM\s+(\d+)", re.S)


def _bound(circuit: object, function: str) -> Translation:
    """The translation of a parameter-bound circuit, refusing anything else by name."""
    if not isinstance(circuit, QuantumCircuit):
        raise TypeError(f"{function}() takes a qiskit.QuantumCircuit, not "
                        f"{type(circuit).__name__}")
    if circuit.parameters:
        names = ", ".join(p.name for p in circuit.parameters)
        raise ValueError(f"the circuit has unbound parameters ({names}); "
                         "bind them with circuit.assign_parameters first")
    check_size(circuit)
    translation = translate(circuit)
    if translation.dynamic is not None:
        described, reason = translation.dynamic
        raise UnsupportedInstructionError(
            f"velquin cannot simulate {described} in {function}(): {reason}, and {function}() "
            "gives one final state (the primitives and the backend run such circuits shot by "
            "shot)")
    return translation


def from_qiskit(circuit: QuantumCircuit) -> velquin.QuantumCircuit:
    """A velquin circuit with the gates of a parameter-bound Qiskit circuit.

    A ``velquin.QuantumCircuit`` holds velquin's sixteen gates only, so here (and only here)
    Qiskit's transpiler writes every other gate in them; the primitives, the backend and
    ``statevector`` run each gate as one operation of velquin's engine instead. Qubit indices
    stay as they are (1 to 30 qubits). Final measurements are dropped, as velquin's ``run``
    measures every qubit, and so is the global phase, which a velquin circuit does not carry:
    ``velquin_qiskit.statevector`` returns the state with it. Raises
    UnsupportedInstructionError for what velquin cannot simulate exactly.
    """
    _bound(circuit, "from_qiskit")  # refuses what velquin cannot simulate, before transpiling
    if circuit.num_qubits == 0:
        raise ValueError("from_qiskit(): the circuit has no qubits, and a velquin circuit has "
                         "at least one; velquin_qiskit.statevector gives its one amplitude")
    unitary = QuantumCircuit(circuit.num_qubits, circuit.num_clbits)
    qubit = {q: i for i, q in enumerate(circuit.qubits)}
    clbit = {c: i for i, c in enumerate(circuit.clbits)}
    for instruction in circuit.data:
        if instruction.name not in IGNORED:
            unitary.append(instruction.operation, [qubit[q] for q in instruction.qubits],
                           [clbit[c] for c in instruction.clbits], copy=False)
    try:
        # With u and p in the basis the translator stays fast; both become rotations below.
        # Measurements (final ones: others were refused) are dropped below.
        unitary = transpile(unitary, basis_gates=[*BASIS, "u", "p", "measure"],
                            optimization_level=0)
    except TranspilerError as error:
        raise UnsupportedInstructionError(
            f"Qiskit's transpiler cannot write the circuit in velquin's gates: {error}"
        ) from error
    out = velquin.QuantumCircuit(circuit.num_qubits)
    for instruction in unitary.data:
        name, params = instruction.name, [float(p) for p in instruction.params]
        qubits = [unitary.find_bit(q).index for q in instruction.qubits]
        if name == "measure":
            continue
        if name == "u":  # U(theta, phi, lam) = e^{i (phi + lam) / 2} RZ(phi) RY(theta) RZ(lam)
            theta, phi, lam = params
            out.rz(qubits[0], lam)
            out.ry(qubits[0], theta)
            out.rz(qubits[0], phi)
        elif name == "p":  # P(lam) = e^{i lam / 2} RZ(lam)
            out.rz(qubits[0], params[0])
        elif name in BASIS:
            getattr(out, name)(*qubits, *params)
        else:  # a pass left something outside the basis
            raise UnsupportedInstructionError(f"Qiskit's transpiler left '{name}' in the circuit")
    return out


def load_qasm(text: str) -> QuantumCircuit:
    """A Qiskit circuit from OpenQASM 2 or 3 text, by its ``OPENQASM`` version line
    (3 when there is none)."""
    found = _QASM_VERSION.match(text)
    if found is not None and found.group(1) == "2":
        return qasm2.loads(text, custom_instructions=qasm2.LEGACY_CUSTOM_INSTRUCTIONS)
    return qasm3.loads(text)


def from_qasm(text: str) -> velquin.QuantumCircuit:
    """A velquin circuit from OpenQASM 2 or 3 text, as ``from_qiskit(load_qasm(text))``."""
    return from_qiskit(load_qasm(text))


def statevector(circuit: QuantumCircuit) -> Statevector:
    """The final state of a parameter-bound circuit, global phase included.

    The same state as ``qiskit.quantum_info.Statevector(circuit)``, computed by velquin's
    engine, every gate one operation; final measurements are ignored (what makes the state
    depend on a measurement's outcome, or is noise, is refused).
    """
    translation = _bound(circuit, "statevector")
    amplitudes = state(translation.program)
    return Statevector(amplitudes if circuit.num_qubits > 0 else amplitudes[:1])


__all__ = ["BASIS", "from_qasm", "from_qiskit", "load_qasm", "statevector"]
