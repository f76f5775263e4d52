"""qulacs: prebuilt gate objects applied with update_quantum_state. It names exp(-i theta
P / 2) RotX/RotY/RotZ (its RX/RY/RZ turn the other way) and has no controlled-Y, so cy is Y
as a matrix gate with a control. Its default runs a circuit gate by gate; "fused" first
applies QuantumCircuitOptimizer().optimize(circuit, 2), before timing."""
from importlib import metadata

import numpy as np

from . import live, loop

NAME, PRECISION, SEED = "qulacs", "complex128", 1


def version() -> str:
    return metadata.version("qulacs")


def _gate(op):
    from qulacs import gate

    name, qs = op.name.removesuffix("_cpp"), op.qubits
    if name == "cy":
        controlled = gate.to_matrix_gate(gate.Y(qs[1]))
        controlled.add_control_qubit(qs[0], 1)
        return controlled
    if name in ("rx", "ry", "rz"):
        return {"rx": gate.RotX, "ry": gate.RotY, "rz": gate.RotZ}[name](qs[0], op.theta)
    return {"h": gate.H, "x": gate.X, "sx": gate.sqrtX, "cx": gate.CNOT, "cz": gate.CZ,
            "swap": gate.SWAP}[name](*qs)


def _state(n, ops=()):
    from qulacs import QuantumState

    state = QuantumState(n)
    for op in ops:
        _gate(op).update_quantum_state(state)
    return state


def make_gate(problem, config, threads):
    n, op, prep = problem
    update, state = _gate(op).update_quantum_state, live(n, lambda: _state(n, prep))
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
    return loop(update, (state,), count)
