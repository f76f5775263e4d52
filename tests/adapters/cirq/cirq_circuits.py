"""Random Cirq circuits, mostly of gates velquin lacks, some of them parameterised."""

import cirq
import numpy as np
import sympy

A, B = sympy.Symbol("a"), sympy.Symbol("b")


def _one(rng, q):
    angle = float(rng.uniform(-4, 4))
    return [
        cirq.X(q) ** angle, cirq.Y(q) ** angle, cirq.Z(q) ** angle, cirq.H(q) ** angle,
        cirq.rx(angle)(q), cirq.ry(A)(q), cirq.rz(2 * B - 0.25)(q), cirq.T(q) ** -1, cirq.S(q),
        cirq.XPowGate(exponent=angle, global_shift=0.3)(q), cirq.Y(q) ** A,
        cirq.PhasedXZGate(x_exponent=angle, z_exponent=B, axis_phase_exponent=0.3)(q),
        cirq.PhasedXPowGate(phase_exponent=angle, exponent=0.7)(q),
        cirq.MatrixGate(cirq.testing.random_unitary(2, random_state=int(rng.integers(2**31)))).on(q),
    ]


def _two(rng, p, q):
    angle = float(rng.uniform(-4, 4))
    return [
        cirq.CZ(p, q) ** angle, cirq.CNOT(p, q) ** A, cirq.SWAP(p, q) ** angle,
        cirq.ISWAP(p, q) ** B, cirq.FSimGate(angle, A)(p, q), cirq.ZZ(p, q) ** angle,
        cirq.XX(p, q) ** A, cirq.CZPowGate(exponent=B, global_shift=0.2)(p, q), cirq.CY(p, q),
        cirq.rx(A).on(q).controlled_by(p), cirq.givens(angle)(p, q), cirq.CNOT(p, q),
        cirq.MatrixGate(cirq.testing.random_unitary(4, random_state=int(rng.integers(2**31)))).on(p, q),
    ]


def _three(rng, p, q, r):
    angle = float(rng.uniform(-4, 4))
    return [cirq.CCZ(p, q, r) ** A, cirq.CCX(p, q, r), cirq.CSWAP(p, q, r),
            cirq.rz(B).on(r).controlled_by(p, q, control_values=[0, 1]),
            cirq.CCZPowGate(exponent=angle, global_shift=0.1)(p, q, r)]


def random_circuit(rng, qubits, depth):
    """``depth`` random operations on ``qubits``, with a global phase; symbols a and b."""
    ops = [cirq.global_phase_operation(np.exp(1j * rng.uniform(-3, 3)))]
    for _ in range(depth):
        arity = int(rng.choice([1, 2, 3], p=[0.45, 0.4, 0.15])) if len(qubits) >= 3 else 1
        chosen = [qubits[i] for i in rng.choice(len(qubits), arity, replace=False)]
        pool = [_one, _two, _three][arity - 1](rng, *chosen)
        ops.append(pool[rng.integers(len(pool))])
    return cirq.Circuit(ops)


def cirq_reference(circuit, resolver, qubit_order, initial_state=0):
    """Cirq's own simulator in double precision: the state vector, global phase included."""
    simulator = cirq.Simulator(dtype=np.complex128)
    resolved = cirq.resolve_parameters(circuit, resolver)
    return simulator.simulate(resolved, qubit_order=qubit_order,
                              initial_state=initial_state).final_state_vector
