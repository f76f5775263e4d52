"""qulacs: prebuilt gate objects applied with update_quantum_state.

qulacs names exp(-i theta P / 2) RotX/RotY/RotZ (its RX/RY/RZ turn the other
way) and has no controlled-Y gate, so cy is Y as a matrix gate with a control.
Its default runs a circuit gate by gate; "fused" runs it after
QuantumCircuitOptimizer().optimize(circuit, 2), done before timing.
"""
from __future__ import annotations

from importlib import metadata

import numpy as np

NAME, PRECISION, SEED = "qulacs", "complex128", 1


def version() -> str:
    return metadata.version("qulacs")


def _gate(op):
    from qulacs import gate

    name, qs = op.name.removesuffix("_cpp"), op.qubits
    plain = {"h": gate.H, "x": gate.X, "y": gate.Y, "z": gate.Z, "s": gate.S, "sx": gate.sqrtX,
             "cx": gate.CNOT, "cz": gate.CZ, "swap": gate.SWAP}
    if name in plain:
        return plain[name](*qs)
    if name in ("rx", "ry", "rz"):
        return {"rx": gate.RotX, "ry": gate.RotY, "rz": gate.RotZ}[name](qs[0], op.theta)
    controlled = gate.to_matrix_gate(gate.Y(qs[1]))  # cy
    controlled.add_control_qubit(qs[0], 1)
    return controlled


def _state(n, ops=()):
    from qulacs import QuantumState

    state = QuantumState(n)
    for op in ops:
        _gate(op).update_quantum_state(state)
    return state


_register: dict = {}


def make_gate(problem, config, threads):
    n, op = problem
    if n not in _register:
        from ..workloads.engine import Op

        _register.clear()
        _register[n] = _state(n, [Op("h", (q,)) for q in range(n)])
    update, state = _gate(op).update_quantum_state, _register[n]
    return lambda: update(state)


def make_circuit(problem, config, threads):
    from qulacs import QuantumCircuit, QuantumState
    from qulacs.circuit import QuantumCircuitOptimizer

    n, ops = problem
    circuit = QuantumCircuit(n)
    for op in ops:
        circuit.add_gate(_gate(op))
    if config == "fused":
        QuantumCircuitOptimizer().optimize(circuit, 2)

    def run():
        state = QuantumState(n)
        circuit.update_quantum_state(state)
        return np.asarray(state.get_vector())

    return run


def make_sample(problem, config, threads):
    n, prep, shots = problem
    state = _state(n, prep)
    return lambda: state.sampling(shots, SEED)


def make_calls(problem, config, threads):
    op, count = problem
    update, state = _gate(op).update_quantum_state, _state(2)

    def run():
        for _ in range(count):
            update(state)

    return run
