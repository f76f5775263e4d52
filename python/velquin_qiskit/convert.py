"""Qiskit circuits and OpenQASM text as velquin circuits and state vectors."""

from __future__ import annotations

import re

from qiskit import QuantumCircuit, qasm2, qasm3
from qiskit.quantum_info import Statevector
from velquin_adapters import MAX_QUBITS, Job, TooManyQubitsError, build
from velquin_adapters import statevector as job_statevector

import velquin

from .translation import Translation, translate

_QASM_VERSION = re.compile(r"\A(?:\s|//[^\n]*\n|/\*.*?\*/)*OPENQASM\s+(\d+)", re.S)


def _bound(circuit: QuantumCircuit) -> Translation:
    if circuit.parameters:
        names = ", ".join(p.name for p in circuit.parameters)
        raise ValueError(f"the circuit has unbound parameters ({names}); "
                         "bind them with circuit.assign_parameters first")
    if circuit.num_qubits > MAX_QUBITS:
        raise TooManyQubitsError(
            f"the circuit has {circuit.num_qubits} qubits; velquin simulates at most {MAX_QUBITS}")
    return translate(circuit)


def _unshrunk(translation: Translation) -> Job:
    """The translation's gates on the caller's own qubit indices."""
    back = translation.layout.qubits
    gates = [gate._replace(qubits=tuple(back[q] for q in gate.qubits))
             for gate in translation.gates]
    phase = translation.global_phase
    return Job(max(1, translation.circuit.num_qubits), gates, global_phase=float(phase))


def from_qiskit(circuit: QuantumCircuit) -> velquin.QuantumCircuit:
    """A velquin circuit with the gates of a parameter-bound Qiskit circuit.

    Gates outside velquin's sixteen are written in them by Qiskit's
    transpiler. Qubit indices stay as they are (so the circuit may have at
    most 30 qubits). Final measurements are dropped, as velquin's ``run``
    measures every qubit, and so is the global phase, which a velquin circuit
    does not carry: ``velquin_qiskit.statevector`` returns the state with it.
    Raises UnsupportedInstructionError for what velquin cannot simulate exactly.
    """
    job = _unshrunk(_bound(circuit))
    return build(job.n_qubits, job.gates)


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

    The same state as ``qiskit.quantum_info.Statevector(circuit)``, computed by
    velquin; final measurements are ignored (mid-circuit ones are refused).
    """
    state = job_statevector(_unshrunk(_bound(circuit)))
    return Statevector(state if circuit.num_qubits > 0 else state[:1])


__all__ = ["from_qasm", "from_qiskit", "load_qasm", "statevector"]
