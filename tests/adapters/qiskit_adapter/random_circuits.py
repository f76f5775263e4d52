"""Random Qiskit circuits drawing on many gates outside velquin's sixteen."""

import numpy as np
from qiskit import QuantumCircuit
from qiskit.circuit import ParameterVector
from qiskit.circuit.library import get_standard_gate_name_mapping
from qiskit.quantum_info import random_unitary

SKIP = {"delay", "measure", "reset", "global_phase", "id"}
GATES = sorted((name, gate.num_qubits, len(gate.params))
               for name, gate in get_standard_gate_name_mapping().items() if name not in SKIP)


def random_circuit(n_qubits, depth, seed, *, qubits=None, parameters=0):
    """A circuit on ``qubits`` (default: all) of an ``n_qubits`` register.

    With ``parameters`` > 0 some angles are expressions in a ParameterVector
    "p": plain parameters, linear ones (2 p0 - 1) and products (p0 p1).
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
        name, arity, n_params = GATES[int(rng.integers(len(GATES)))]
        if arity > len(qubits):
            continue
        where = [int(q) for q in rng.choice(qubits, arity, replace=False)]
        gate = get_standard_gate_name_mapping()[name].base_class(*[angle() for _ in range(n_params)])
        circuit.append(gate, where)
    if len(qubits) >= 2 and seed % 2 == 0:
        pair = [int(q) for q in rng.choice(qubits, 2, replace=False)]
        circuit.unitary(random_unitary(4, seed=seed), pair)
    return circuit
