"""qulacs: prebuilt gate objects applied with update_quantum_state.

qulacs names exp(-i theta P / 2) RotX/RotY/RotZ (its RX/RY/RZ turn the other
way) and has no controlled-Y gate, so cy is Y as a matrix gate with a control.
"""
from __future__ import annotations

import numpy as np

from ..circuits import Op, base_name
from .base import Simulator, Timed

SEED = 1


def make_gate(op: Op):
    from qulacs import gate

    name, qs = base_name(op.name), op.qubits
    plain = {"h": gate.H, "x": gate.X, "y": gate.Y, "z": gate.Z, "s": gate.S,
             "sdg": gate.Sdag, "t": gate.T, "tdg": gate.Tdag, "sx": gate.sqrtX}
    if name in plain:
        return plain[name](qs[0])
    rotations = {"rx": gate.RotX, "ry": gate.RotY, "rz": gate.RotZ}
    if name in rotations:
        return rotations[name](qs[0], op.theta)
    pairs = {"cx": gate.CNOT, "cz": gate.CZ, "swap": gate.SWAP}
    if name in pairs:
        return pairs[name](*qs)
    if name == "cy":
        controlled = gate.to_matrix_gate(gate.Y(qs[1]))
        controlled.add_control_qubit(qs[0], 1)
        return controlled
    raise ValueError(f"unknown gate {op.name}")


class Qulacs(Simulator):
    name = "qulacs"
    distribution = "qulacs"

    def gate_state(self, n: int):
        from qulacs import QuantumState

        state = QuantumState(n)
        for q in range(n):
            make_gate(Op("h", (q,))).update_quantum_state(state)
        return state

    def gate_call(self, state, op: Op) -> Timed:
        update = make_gate(op).update_quantum_state
        return lambda: update(state)

    def state_vector(self, state):
        return state.get_vector()

    def _circuit(self, n: int, ops: list[Op], fusion: bool):
        from qulacs import QuantumCircuit
        from qulacs.circuit import QuantumCircuitOptimizer

        circuit = QuantumCircuit(n)
        for op in ops:
            circuit.add_gate(make_gate(op))
        if fusion:
            QuantumCircuitOptimizer().optimize(circuit, 2)
        return circuit

    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        from qulacs import QuantumState

        update = self._circuit(n, ops, fusion).update_quantum_state

        def run():
            state = QuantumState(n)
            update(state)
            state.get_vector()

        return run

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        from qulacs import QuantumState

        state = QuantumState(n)
        self._circuit(n, ops, fusion).update_quantum_state(state)
        return np.asarray(state.get_vector())

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        from qulacs import QuantumState

        state = QuantumState(n)
        for op in prep:
            make_gate(op).update_quantum_state(state)
        return lambda: state.sampling(shots, SEED)

    def call_loop(self, op: Op, count: int) -> Timed:
        from qulacs import QuantumState

        state = QuantumState(2)
        update = make_gate(op).update_quantum_state
        steps = range(count)

        def run():
            for _ in steps:
                update(state)

        return run
