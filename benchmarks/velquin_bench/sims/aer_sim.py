"""Qiskit Aer: AerState for gates on a live register, AerSimulator for circuits.

AerState buffers operations until flush(), so a timed gate is apply + flush.
Its gate set has h, x, y, z, cx, cy, cz and swap directly; rz goes through its
diagonal kernel and sx, rx, ry through its single-qubit matrix kernel, which
is what Aer itself runs for those gates inside a circuit.
"""
from __future__ import annotations

import cmath
import math

import numpy as np

from ..circuits import Op, base_name
from .base import Simulator, Timed, Unsupported

SEED = 1


def rz_diagonal(theta: float) -> list[complex]:
    return [cmath.exp(-0.5j * theta), cmath.exp(0.5j * theta)]


def matrix(name: str, theta: float | None) -> np.ndarray:
    if name == "sx":
        return 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])
    c, s = math.cos(theta / 2), math.sin(theta / 2)
    if name == "rx":
        return np.array([[c, -1j * s], [-1j * s, c]])
    if name == "ry":
        return np.array([[c, -s], [s, c]], dtype=complex)
    raise Unsupported(f"no AerState call for {name}")


class Aer(Simulator):
    name = "Aer"
    distribution = "qiskit-aer"

    def _state(self, n: int):
        from qiskit_aer.quantum_info.states.aer_state import AerState

        state = AerState(method="statevector", precision="double",
                         max_parallel_threads=self.threads, seed_simulator=SEED)
        state.allocate_qubits(n)
        state.initialize()
        return state

    def _applier(self, state, op: Op):
        name, qs = base_name(op.name), op.qubits
        direct = {"h": state.apply_h, "x": state.apply_x, "y": state.apply_y,
                  "z": state.apply_z, "cx": state.apply_cx, "cy": state.apply_cy,
                  "cz": state.apply_cz}
        if name in direct:
            fn = direct[name]
            return lambda: fn(*qs)
        if name == "swap":
            return lambda: state.apply_mcswap([], qs[0], qs[1])
        if name == "rz":
            diag = rz_diagonal(op.theta)
            return lambda: state.apply_diagonal([qs[0]], diag)
        mat = matrix(name, op.theta)
        return lambda: state.apply_unitary([qs[0]], mat)

    def gate_state(self, n: int):
        state = self._state(n)
        for q in range(n):
            state.apply_h(q)
        state.flush()
        return state

    def gate_call(self, state, op: Op) -> Timed:
        apply, flush = self._applier(state, op), state.flush

        def run():
            apply()
            flush()

        return run

    def state_vector(self, state):
        return state.move_to_ndarray()

    def release(self, state) -> None:
        state.move_to_ndarray()

    def _backend(self, fusion: bool):
        from qiskit_aer import AerSimulator

        return AerSimulator(method="statevector", precision="double",
                            max_parallel_threads=self.threads,
                            fusion_enable=fusion, seed_simulator=SEED)

    @staticmethod
    def _circuit(n: int, ops: list[Op]):
        from qiskit import QuantumCircuit

        qc = QuantumCircuit(n)
        for op in ops:
            method = getattr(qc, base_name(op.name))
            if op.theta is None:
                method(*op.qubits)
            else:
                method(op.theta, *op.qubits)
        qc.save_statevector()
        return qc

    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        backend, qc = self._backend(fusion), self._circuit(n, ops)

        def run():
            result = backend.run(qc, shots=1).result()
            if not result.success:
                raise RuntimeError(result.status)
            result.get_statevector()

        return run

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        result = self._backend(fusion).run(self._circuit(n, ops), shots=1).result()
        return np.asarray(result.get_statevector())

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        state = self._state(n)
        for op in prep:
            self._applier(state, op)()
        state.flush()
        qubits = list(range(n))
        return lambda: state.sample_counts(qubits, shots)

    def call_loop(self, op: Op, count: int) -> Timed:
        state = self._state(2)
        apply = self._applier(state, op)
        steps = range(count)

        def run():
            for _ in steps:
                apply()
            state.flush()

        return run
