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


# Dynamic circuits: keys of fixed widths (Cirq's records of one key share a width).
KEYS = {"k0": 1, "k1": 2, "k2": 1}


def _kraus(rng, n):
    """A random channel's Kraus operators: the blocks of a random unitary's first columns."""
    u = cirq.testing.random_unitary(4 * 2 ** n, random_state=int(rng.integers(2**31)))
    return [u[i * 2 ** n:(i + 1) * 2 ** n, :2 ** n] for i in range(4)]


def _channel(rng, arity):
    p = float(rng.uniform(0.05, 0.4))
    if arity == 2:
        return [cirq.depolarize(p, n_qubits=2),
                cirq.asymmetric_depolarize(error_probabilities={"XZ": p / 2, "YI": p / 3, "ZZ": p / 4}),
                cirq.KrausChannel(_kraus(rng, 2)),
                cirq.RandomGateChannel(sub_gate=cirq.CZ ** 0.3, probability=p)]
    return [cirq.depolarize(p), cirq.bit_flip(p), cirq.phase_flip(p),
            cirq.asymmetric_depolarize(p / 2, p / 3, p / 4), cirq.amplitude_damp(p),
            cirq.phase_damp(p), cirq.generalized_amplitude_damp(0.3, p), cirq.ResetChannel(),
            cirq.MixedUnitaryChannel([(0.3, cirq.unitary(cirq.ry(1.1))), (0.7, cirq.unitary(cirq.S))]),
            cirq.KrausChannel(_kraus(rng, 1)),
            cirq.RandomGateChannel(sub_gate=cirq.HPowGate(exponent=0.5, global_shift=0.2), probability=p)]


def _condition(rng, measured):
    """A condition on the keys measured so far: key, indexed key, bit mask or SymPy."""
    key = str(rng.choice(sorted(measured)))
    symbols = {k: sympy.Symbol(k) for k in measured}
    bits = sympy.IndexedBase(key)
    choices = [key, cirq.KeyCondition(cirq.MeasurementKey(key), index=-int(rng.integers(1, measured[key] + 1))),
               # (a key's bits and the key itself in one SymPy condition: Cirq mixes them up)
               cirq.SympyCondition(sympy.Xor(bits[0], bits[KEYS[key] - 1]) if KEYS[key] > 1
                                   else sympy.Not(bits[0])),
               cirq.SympyCondition(symbols[key] >= 1)]
    if "k1" in measured:
        choices.append(cirq.BitMaskKeyCondition("k1", bitmask=2, target_value=2, equal_target=True))
        choices.append(cirq.SympyCondition(sympy.Eq(symbols["k1"] + symbols[key], 2)))
    if "k0" in measured and "k2" in measured:
        choices.append(cirq.SympyCondition(sympy.And(sympy.Symbol("k0"), sympy.Not(sympy.Eq(sympy.Symbol("k2"), 1)))))
    return choices[int(rng.integers(len(choices)))]


def _measurement(rng, qubits, key):
    chosen = [qubits[k] for k in rng.choice(len(qubits), KEYS[key], replace=False)]
    invert = tuple(bool(b) for b in rng.integers(2, size=len(chosen)))
    confusion = {}
    if rng.random() < 0.4:
        e0, e1 = rng.uniform(0, 0.3, size=2)
        confusion = {(int(rng.integers(len(chosen))),): np.array([[1 - e0, e0], [e1, 1 - e1]])}
    return cirq.measure(*chosen, key=key, invert_mask=invert, confusion_map=confusion)


def random_dynamic_circuit(rng, qubits, depth, bits=4):
    """Gates (symbols a and b), measurements anywhere (repeated keys, invert masks, confusion
    maps; ``bits`` record bits, then a Pauli measurement and a CircuitOperation repeating a
    measurement), resets, channels, classically controlled gates and mixtures; every measured
    key's records of one width (``KEYS``)."""
    ops, measured = [cirq.H.on_each(*qubits)], {}
    for _ in range(depth):
        kind = rng.choice(["gate", "measure", "channel", "controlled"], p=[0.3, 0.2, 0.2, 0.3])
        arity = int(rng.integers(1, 3))
        where = [qubits[k] for k in rng.choice(len(qubits), arity, replace=False)]
        if kind == "measure":
            key = str(rng.choice([k for k in KEYS if KEYS[k] <= bits] or ["k0"]))
            if KEYS[key] > bits:
                continue
            bits -= KEYS[key]
            ops.append(_measurement(rng, qubits, key))
            measured[key] = measured.get(key, 0) + 1
            continue
        pool = _one(rng) if arity == 1 else _two(rng)
        if kind == "channel" or (kind == "controlled" and rng.random() < 0.3):
            # (cirq.defer_measurements, the reference, controls mixtures only)
            pool = [c for c in _channel(rng, arity) if kind == "channel" or cirq.has_mixture(c)]
        op = pool[int(rng.integers(len(pool)))].on(*where)
        if kind == "controlled" and measured:
            op = op.with_classical_controls(_condition(rng, measured))
        ops.append(op)
    ops.append(cirq.PauliMeasurementGate(cirq.DensePauliString("X"), key="px").on(qubits[0]))
    ops.append(cirq.CircuitOperation(cirq.FrozenCircuit(cirq.ry(0.9)(qubits[1]),
                                                        cirq.measure(qubits[1], key="k2")),
                                     repetitions=2, use_repetition_ids=False))
    k2, px = sympy.Symbol("k2"), sympy.Symbol("px")
    ops.append(cirq.Z(qubits[2]).with_classical_controls("k2"))
    ops.append(cirq.X(qubits[0]).with_classical_controls(
        cirq.BitMaskKeyCondition("k2", index=0, bitmask=1, target_value=0, equal_target=True)))
    ops.append(cirq.H(qubits[1]).with_classical_controls(cirq.SympyCondition(sympy.Eq(px + 2 * k2, 2)),
                                                         cirq.KeyCondition(cirq.MeasurementKey("k2"), 0)))
    return cirq.Circuit(ops)


def record_order(records):
    """A run's records as one tuple per shot: keys sorted, instances in order, bits."""
    keys = sorted(records)
    return np.concatenate([records[k].reshape(records[k].shape[0], -1) for k in keys], axis=1)


class _Kraus(cirq.Gate):
    """A channel by its Kraus operators, hashable (cirq.defer_measurements hashes operations,
    and cirq.KrausChannel and cirq.MixedUnitaryChannel are not)."""

    def __init__(self, gate):
        self._operators, self._mixture = cirq.kraus(gate), cirq.mixture(gate, None)

    def _num_qubits_(self):
        return int(self._operators[0].shape[0]).bit_length() - 1

    def _kraus_(self):
        return self._operators

    def _has_mixture_(self):
        return self._mixture is not None

    def _mixture_(self):
        return NotImplemented if self._mixture is None else self._mixture

    def __hash__(self):
        return id(self)


def _hashable(op, _=None):
    if isinstance(op, cirq.ClassicallyControlledOperation):
        return _hashable(op.without_classical_controls()).with_classical_controls(
            *op.classical_controls)
    if isinstance(op.gate, (cirq.KrausChannel, cirq.MixedUnitaryChannel)):
        return _Kraus(op.gate).on(*op.qubits)
    return op


def exact_records(circuit, resolver, noise=None, final_qubits=(), last_only=False):
    """cirq.DensityMatrixSimulator's exact distribution {bits: probability} of the records
    (in ``record_order``; with ``last_only``, each key's last record alone) and then the
    basis values of ``final_qubits``: every measurement deferred onto ancillas
    (``cirq.defer_measurements``), the noise model's moments added as cirq.Simulator adds
    them."""
    resolved = cirq.resolve_parameters(circuit, resolver)
    if noise is not None:
        model = cirq.NoiseModel.from_noise_model_like(noise)
        resolved = cirq.Circuit(model.noisy_moments(resolved, sorted(resolved.all_qubits())))
    resolved = cirq.map_operations(resolved, _hashable, deep=True)
    system = sorted(resolved.all_qubits())
    # An identity after everything: no measurement is terminal, so each record is on ancillas.
    deferred = cirq.defer_measurements(resolved + cirq.Moment(cirq.I.on_each(*system)))
    records = {}
    for op in deferred.all_operations():
        if cirq.is_measurement(op):
            records.setdefault(cirq.measurement_key_name(op), []).append(op.qubits)
    ancillas = []
    for key in sorted(records):
        instances = sorted(records[key], key=lambda qs: qs[0]._index)
        for qs in instances[-1:] if last_only else instances:
            ancillas.extend(qs)
    body = cirq.Circuit(op for op in deferred.all_operations() if not cirq.is_measurement(op))
    rest = [q for q in body.all_qubits() if q not in ancillas and q not in final_qubits]
    order = [*ancillas, *final_qubits, *sorted(rest)]
    rho = cirq.DensityMatrixSimulator(dtype=np.complex128).simulate(
        body, qubit_order=order).final_density_matrix
    kept = len(ancillas) + len(final_qubits)
    marginal = np.real(np.diag(rho)).reshape(2 ** kept, -1).sum(axis=1)
    return {tuple((i >> (kept - 1 - j)) & 1 for j in range(kept)): float(p)
            for i, p in enumerate(marginal) if p > 1e-12}
