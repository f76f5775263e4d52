"""Random Cirq circuits drawn from Cirq's whole standard gate set: powers with any exponent
(Cirq's named ones too) and global shift, symbolic exponents (linear and not), rotations,
phased and fSim gates, matrices, diagonals, permutations, Pauli strings and phasors, global
phases, and controlled gates with control values; symbols a and b."""

import cirq
import numpy as np
import sympy

A, B = sympy.Symbol("a"), sympy.Symbol("b")
NAMED = [1, -1, 0.5, -0.5, 0.25, -0.25]


def _value(rng, symbolic=True):
    """A number, a named exponent, or an expression of a and b (linear or not)."""
    kind = rng.integers(6 if symbolic else 2)
    return [float(rng.uniform(-4, 4)), NAMED[rng.integers(len(NAMED))], A, 2 * B - 0.25,
            A * B, A / 2 + B][kind]


def _shift(rng):
    return 0.0 if rng.integers(2) else float(rng.uniform(-1, 1))


def _power(rng, cls):
    return cls(exponent=_value(rng), global_shift=_shift(rng))


def _unitary(rng, n):
    return cirq.MatrixGate(cirq.testing.random_unitary(2 ** n, random_state=int(rng.integers(2**31))))


def _phased_iswap(rng):
    # Cirq drops a PhasedISwapPowGate's global shift when it resolves its symbols, so
    # cirq.Simulator (which resolves first) shows the shift only on numeric ones.
    p, t = _value(rng), _value(rng)
    numeric = not cirq.is_parameterized(p) and not cirq.is_parameterized(t)
    return cirq.PhasedISwapPowGate(phase_exponent=p, exponent=t,
                                   global_shift=_shift(rng) if numeric else 0.0)


def _one(rng):
    return [
        cirq.X, cirq.Y, cirq.Z, cirq.H, cirq.S, cirq.T, cirq.I, _unitary(rng, 1),
        _power(rng, cirq.XPowGate), _power(rng, cirq.YPowGate), _power(rng, cirq.ZPowGate),
        _power(rng, cirq.HPowGate), cirq.rx(_value(rng)), cirq.ry(_value(rng)), cirq.rz(_value(rng)),
        cirq.PhasedXPowGate(phase_exponent=_value(rng), exponent=_value(rng), global_shift=_shift(rng)),
        cirq.PhasedXZGate(x_exponent=_value(rng), z_exponent=_value(rng),
                          axis_phase_exponent=_value(rng)),
        cirq.DensePauliString("XYZ"[rng.integers(3)], coefficient=[1, -1, 1j, -1j][rng.integers(4)]),
        cirq.SingleQubitCliffordGate.all_single_qubit_cliffords[rng.integers(24)],
        cirq.PauliStringPhasorGate(cirq.DensePauliString("XYZ"[rng.integers(3)]),
                                   exponent_neg=_value(rng), exponent_pos=_value(rng)),
    ]


def _two(rng):
    return [
        _power(rng, cirq.CZPowGate), _power(rng, cirq.CXPowGate), _power(rng, cirq.SwapPowGate),
        _power(rng, cirq.ISwapPowGate), _power(rng, cirq.XXPowGate), _power(rng, cirq.YYPowGate),
        _power(rng, cirq.ZZPowGate), _power(rng, cirq.CYPowGate), cirq.CNOT, cirq.CZ, cirq.SWAP,
        cirq.ISWAP, cirq.CY, cirq.CliffordGate.CZ,
        _phased_iswap(rng),
        cirq.FSimGate(_value(rng), _value(rng)), cirq.givens(_value(rng)),
        cirq.PhasedFSimGate(*(_value(rng) for _ in range(5))), _unitary(rng, 2),
        cirq.TwoQubitDiagonalGate([_value(rng) for _ in range(4)]),
        cirq.QubitPermutationGate([1, 0]), cirq.ms(_value(rng)),
        cirq.DensePauliString("".join("IXYZ"[rng.integers(4)] for _ in range(2)), coefficient=-1j),
        cirq.rx(_value(rng)).controlled(control_values=[int(rng.integers(2))]),
        cirq.MatrixGate(cirq.testing.random_unitary(2, random_state=int(rng.integers(2**31)))
                        ).controlled(control_values=[0]),
    ]


def _three(rng):
    values = [int(v) for v in rng.integers(2, size=2)]
    sub = [_one(rng), _two(rng)]
    return [
        _power(rng, cirq.CCZPowGate), _power(rng, cirq.CCXPowGate), _power(rng, cirq.CCYPowGate),
        cirq.CCZ, cirq.CCX, cirq.CSWAP,
        cirq.ThreeQubitDiagonalGate([_value(rng) for _ in range(8)]),
        cirq.DiagonalGate([_value(rng, False) for _ in range(8)]),
        cirq.QubitPermutationGate([2, 0, 1]), _unitary(rng, 3),
        cirq.PauliStringPhasorGate(cirq.DensePauliString("XZY"), exponent_neg=_value(rng),
                                   exponent_pos=_value(rng)),
        cirq.ControlledGate(sub[0][rng.integers(len(sub[0]))], num_controls=2, control_values=values),
        cirq.ControlledGate(sub[1][rng.integers(len(sub[1]))], num_controls=1,
                            control_values=values[:1]),
        cirq.ControlledGate(_power(rng, cirq.CXPowGate), num_controls=1),  # shift under controls
        cirq.ControlledGate(cirq.GlobalPhaseGate(np.exp(1j * rng.uniform(-3, 3))), num_controls=3,
                            control_values=[1, 0, 1]),  # a phase on the controls' subspace
        cirq.ControlledGate(cirq.GlobalPhaseGate(sympy.exp(sympy.I * sympy.pi * A)),
                            num_controls=3, control_values=[0, 1, 1]),
        cirq.X.controlled(num_controls=2, control_values=cirq.SumOfProducts([(0, 1), (1, 0)])),
        cirq.ry(_value(rng)).controlled(num_controls=2, control_values=[(0, 1), 1]),
        cirq.QuantumFourierTransformGate(3),  # composite: Cirq's decomposition
    ]


def random_circuit(rng, qubits, depth):
    """Every gate of the pools once, then ``depth`` more drawn at random, on random
    ``qubits`` in random order, with global phases; symbols a and b."""
    pools = [_one, _two, _three][:3 if len(qubits) >= 3 else 1]
    drawn = [(arity, gate) for arity, pool in enumerate(pools, 1) for gate in pool(rng)]
    for _ in range(depth):
        arity = int(rng.choice([1, 2, 3], p=[0.4, 0.4, 0.2])) if len(pools) == 3 else 1
        pool = pools[arity - 1](rng)
        drawn.append((arity, pool[rng.integers(len(pool))]))
    ops = [cirq.global_phase_operation(np.exp(1j * rng.uniform(-3, 3))),
           cirq.global_phase_operation(sympy.exp(sympy.I * (B - 0.5)))]
    for i in rng.permutation(len(drawn)):
        arity, gate = drawn[i]
        ops.append(gate.on(*(qubits[k] for k in rng.choice(len(qubits), arity, replace=False))))
    if len(qubits) >= 3:
        ops.append(cirq.PauliString({qubits[0]: cirq.X, qubits[2]: cirq.Y}, coefficient=1j))
        # (no identity in a phasor's word: Cirq 1.7 plays an identity there as a Z)
        ops.append(cirq.PauliStringPhasor(cirq.Z(qubits[1]) * cirq.X(qubits[0]),
                                          exponent_neg=A, exponent_pos=0.3))
    return cirq.Circuit(ops)


def cirq_reference(circuit, resolver, qubit_order, initial_state=0):
    """Cirq's own simulator in double precision: the state vector, global phase included."""
    simulator = cirq.Simulator(dtype=np.complex128)
    resolved = cirq.resolve_parameters(circuit, resolver)
    return simulator.simulate(resolved, qubit_order=qubit_order,
                              initial_state=initial_state).final_state_vector
