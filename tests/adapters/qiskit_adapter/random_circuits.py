"""Random Qiskit circuits drawn from the whole standard gate set and the library's general gates.

Every gate of ``get_standard_gate_name_mapping()`` (controlled ones with a random control
state half of the time), ``UnitaryGate``, ``DiagonalGate``, ``PermutationGate``, ``PauliGate``,
``PauliEvolutionGate`` (commuting terms), ``MCXGate``, ``MCPhaseGate``, standard gates given further controls with ``control()`` or as
an ``AnnotatedOperation`` (inverse, controls, integer power), and gates made from small
circuits (a definition with its own phase), controlled or not.
"""

import numpy as np
from qiskit import ClassicalRegister, QuantumCircuit, QuantumRegister
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


# Gates Aer's density-matrix method runs as they are (so its noise model meets them by name).
AER_GATES = [g for g in GATES if g[0] in {
    "x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx", "sxdg", "rx", "ry", "rz", "p", "u", "r",
    "cx", "cy", "cz", "cp", "swap", "rxx", "ryy", "rzz", "rzx", "ecr", "ccx", "u1", "u2", "u3"}]


def random_dynamic_circuit(n_qubits, depth, seed, *, channels=True):
    """A circuit mixing Aer's gates with mid-circuit measurements into register "m" (3
    bits), resets, if/else (on a bit, on a register, on an expression), switch (on a
    register and on a bit, with a default case), for loops (their parameter in an
    angle, now and then a break or continue), repeat-until-success while loops and noise
    channels (a Kraus instruction, an Aer quantum error), then a measurement of every qubit
    into register "out" (``channels`` False: none, for a device's transpiler)."""
    from qiskit.circuit.classical import expr
    from qiskit.quantum_info import Kraus
    from qiskit_aer.noise import amplitude_damping_error, pauli_error

    rng = np.random.default_rng(seed)
    m, out = ClassicalRegister(3, "m"), ClassicalRegister(n_qubits, "out")
    circuit = QuantumCircuit(QuantumRegister(n_qubits, "q"), m, out)

    def qubits(count):
        return [int(q) for q in rng.choice(n_qubits, count, replace=False)]

    def gate():
        name, arity, n_params = AER_GATES[int(rng.integers(len(AER_GATES)))]
        if arity <= n_qubits:
            circuit.append(STANDARD[name].base_class(*rng.uniform(-np.pi, np.pi, n_params)),
                           qubits(arity))

    def condition():
        bit = m[int(rng.integers(3))]
        return [(bit, int(rng.integers(2))), (m, int(rng.integers(8))),
                expr.logic_or(expr.logic_not(bit), expr.less(m, int(rng.integers(1, 8)))),
                expr.equal(expr.bit_and(m, 5), 4)][int(rng.integers(4))]

    for _ in range(depth):
        kind = rng.choice(["gate", "measure", "reset", "if", "switch", "for", "while", "channel"],
                          p=[0.52, 0.14, 0.06, 0.1, 0.05, 0.05, 0.04, 0.04])
        if kind == "gate" or (kind == "channel" and not channels):
            gate()
        elif kind == "channel":
            gamma = float(rng.uniform(0.1, 0.5))
            if rng.random() < 0.5:
                circuit.append(Kraus([np.diag([1, np.sqrt(1 - gamma)]),
                                      [[0, np.sqrt(gamma)], [0, 0]]]), qubits(1))
            else:
                circuit.append(pauli_error([("XZ", gamma / 2), ("II", 1 - gamma / 2)])
                               .compose(amplitude_damping_error(gamma).tensor(
                                   amplitude_damping_error(gamma / 2))).to_instruction(),
                               qubits(2))
        elif kind == "measure":
            circuit.measure(qubits(1)[0], m[int(rng.integers(3))])
        elif kind == "reset":
            circuit.reset(qubits(1)[0])
        elif kind == "if":
            with circuit.if_test(condition()) as orelse:
                gate()
                if rng.random() < 0.3:
                    circuit.measure(qubits(1)[0], m[int(rng.integers(3))])
            if rng.random() < 0.5:
                with orelse:
                    gate()
        elif kind == "switch":
            on_bit = rng.random() < 0.3
            with circuit.switch(m[int(rng.integers(3))] if on_bit else m) as case:
                with case(0) if on_bit else case(0, 3):
                    gate()
                if not on_bit:
                    with case(int(rng.integers(1, 8))):
                        circuit.x(qubits(1)[0])
                with case(case.DEFAULT):
                    gate()
        elif kind == "for":
            q, scale, exit_kind = qubits(1)[0], float(rng.uniform(0.2, 1.5)), rng.integers(3)
            with circuit.for_loop(range(int(rng.integers(2, 4)))) as i:
                circuit.rx(scale * i + 0.1, q)
                circuit.measure(q, m[2])
                if exit_kind:
                    with circuit.if_test((m[2], 1)):
                        circuit.break_loop() if exit_kind == 1 else circuit.continue_loop()
                gate()
        else:  # repeat until the qubit reads 1: ends with probability 1
            q, bit = qubits(1)[0], m[int(rng.integers(3))]
            circuit.h(q)
            circuit.measure(q, bit)
            with circuit.while_loop((bit, 0)):
                circuit.ry(float(rng.uniform(1, 2)), q)
                circuit.measure(q, bit)
    circuit.measure(range(n_qubits), out)
    return circuit
