"""Random Qiskit circuits drawn from the whole standard gate set and the library's general gates.

Every gate of ``get_standard_gate_name_mapping()`` (controlled ones with a random control
state half of the time), ``UnitaryGate``, ``DiagonalGate``, ``PermutationGate``, ``PauliGate``,
``PauliEvolutionGate`` (commuting terms), ``MCXGate``, ``MCPhaseGate``, standard gates given further controls with ``control()`` or as
an ``AnnotatedOperation`` (inverse, controls, integer power), and gates made from small
circuits (a definition with its own phase), controlled or not.
"""

import numpy as np
from qiskit import QuantumCircuit
from qiskit.circuit import (
    AnnotatedOperation,
    ControlledGate,
    ControlModifier,
    InverseModifier,
    ParameterVector,
    PowerModifier,
)
from qiskit.circuit.library import (
    DiagonalGate,
    MCPhaseGate,
    MCXGate,
    PauliEvolutionGate,
    PauliGate,
    PermutationGate,
    UnitaryGate,
    get_standard_gate_name_mapping,
)
from qiskit.quantum_info import SparsePauliOp, random_unitary

SKIP = {"delay", "measure", "reset"}
STANDARD = get_standard_gate_name_mapping()
GATES = sorted((name, gate.num_qubits, len(gate.params))
               for name, gate in STANDARD.items() if name not in SKIP)
GENERAL = ["unitary", "diagonal", "permutation", "pauli", "evolution", "mcx", "mcphase",
           "control", "annotated", "composite"]


def standard_gate(name, angles, rng):
    """The standard gate ``name``; a controlled one with a random control state half the time."""
    gate = STANDARD[name]
    if isinstance(gate, ControlledGate) and rng.random() < 0.5:
        state = int(rng.integers(1 << gate.num_ctrl_qubits))
        return gate.base_class(*angles, ctrl_state=state)
    return gate.base_class(*angles)


def general_gate(kind, room, angle, rng):
    """One of the library's general gates on at most ``room`` qubits, or None if it needs more."""
    size = int(rng.integers(1, min(room, 3) + 1))
    if kind == "unitary":
        return UnitaryGate(random_unitary(2**size, seed=int(rng.integers(2**31))))
    if kind == "diagonal":
        return DiagonalGate(list(np.exp(1j * rng.uniform(-np.pi, np.pi, 2**size))))
    if kind == "permutation":
        return PermutationGate([int(q) for q in rng.permutation(size)])
    if kind == "pauli":
        return PauliGate("".join(rng.choice(list("IXYZ"), size)))
    if kind == "evolution":  # commuting terms (all Z or all X words), an exact exponential
        letter = "ZX"[int(rng.integers(2))]
        words = ["".join(rng.choice(["I", letter], size)) for _ in range(3)]
        return PauliEvolutionGate(SparsePauliOp(words, rng.normal(size=3)), time=angle())
    if kind == "composite":
        inner = random_circuit(size, 3, int(rng.integers(2**31)), general=False)
        inner.global_phase = angle()
        gate = inner.to_gate()
        return gate.control(1, ctrl_state=int(rng.integers(2))) if size < room and \
            rng.random() < 0.5 else gate
    if room < 2:
        return None
    controls = int(rng.integers(1, min(room - 1, 3) + 1))
    state = int(rng.integers(1 << controls))
    if kind == "mcx":
        return MCXGate(controls, ctrl_state=state)
    if kind == "mcphase":
        return MCPhaseGate(angle(), controls)
    name, arity, n_params = GATES[int(rng.integers(len(GATES)))]
    if arity == 0 or arity + controls > room:
        return None
    base = standard_gate(name, [angle() for _ in range(n_params)], rng)
    if kind == "annotated":
        return AnnotatedOperation(base, [InverseModifier(), ControlModifier(controls, state),
                                         PowerModifier(int(rng.integers(-2, 3)))])
    return base.control(controls, ctrl_state=state)


def random_circuit(n_qubits, depth, seed, *, qubits=None, parameters=0, general=True):
    """A circuit on ``qubits`` (default: all) of an ``n_qubits`` register.

    With ``parameters`` > 0 some angles are expressions in a ParameterVector
    "p": plain parameters, linear ones (2 p0 - 1) and products (p0 p1). With ``general``
    False, standard gates only.
    """
    rng = np.random.default_rng(seed)
    qubits = list(range(n_qubits)) if qubits is None else list(qubits)
    p = ParameterVector("p", parameters)
    circuit = QuantumCircuit(n_qubits, global_phase=float(rng.uniform(-3, 3)))

    def angle():
        value = float(rng.uniform(-2 * np.pi, 2 * np.pi))
        if parameters == 0 or rng.random() < 0.4:
            return value
        a, b = (p[int(i)] for i in rng.integers(parameters, size=2))
        return [a, 2 * a - value, a * b + value][int(rng.integers(3))]

    for _ in range(depth):
        if not general or rng.random() < 0.8:
            name, arity, n_params = GATES[int(rng.integers(len(GATES)))]
            gate = standard_gate(name, [angle() for _ in range(n_params)], rng)
        else:
            gate = general_gate(GENERAL[int(rng.integers(len(GENERAL)))], len(qubits), angle, rng)
        if gate is None or gate.num_qubits > len(qubits):
            continue
        where = [int(q) for q in rng.choice(qubits, gate.num_qubits, replace=False)]
        circuit.append(gate, where)
    for parameter in p:  # every parameter in the circuit, so it takes one value per parameter
        if parameter not in circuit.parameters:
            circuit.rz(parameter, qubits[0])
    if len(qubits) >= 2 and seed % 2 == 0:
        pair = [int(q) for q in rng.choice(qubits, 2, replace=False)]
        circuit.unitary(random_unitary(4, seed=seed), pair)
    return circuit
