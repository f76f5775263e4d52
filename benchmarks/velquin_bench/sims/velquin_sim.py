"""velquin through its Python classes, exactly as a user calls it."""
from __future__ import annotations

import subprocess
from importlib import metadata
from pathlib import Path

from ..circuits import Op
from .base import Simulator, Timed

SEED = 1


def _module():
    import velquin

    return velquin


def _apply(target, op: Op) -> None:
    method = getattr(target, op.name)
    if op.theta is None:
        method(*op.qubits)
    else:
        method(*op.qubits, op.theta)


def _bound(target, op: Op):
    method = getattr(target, op.name)
    args = op.qubits if op.theta is None else (*op.qubits, op.theta)
    return method, args


class Velquin(Simulator):
    name = "velquin"
    distribution = "velquin"
    fuses = False

    def version(self) -> str:
        root = Path(__file__).resolve().parents[3]
        try:
            commit = subprocess.run(
                ["git", "-C", str(root), "describe", "--always", "--dirty"],
                capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            commit = "unknown commit"
        try:
            return f"{metadata.version('velquin')} ({commit})"
        except metadata.PackageNotFoundError:
            return f"not installed ({commit})"

    def gate_state(self, n: int):
        sv = _module().StateVecPy(n, seed=SEED)
        for q in range(n):
            sv.h(q)
        return sv

    def gate_call(self, state, op: Op) -> Timed:
        method, args = _bound(state, op)
        return lambda: method(*args)

    def state_vector(self, state):
        return state.amplitudes()

    def _circuit(self, n: int, ops: list[Op]):
        qc = _module().QuantumCircuit(n)
        for op in ops:
            _apply(qc, op)
        return qc

    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        qc = self._circuit(n, ops)

        def run():
            qc.statevector()

        return run

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        return self._circuit(n, ops).statevector()

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        sv = _module().StateVecPy(n, seed=SEED)
        for op in prep:
            _apply(sv, op)

        def run():
            sv.measure_counts(shots, SEED)

        return run

    def call_loop(self, op: Op, count: int) -> Timed:
        sv = _module().StateVecPy(2, seed=SEED)
        method, args = _bound(sv, op)
        steps = range(count)

        def run():
            for _ in steps:
                method(*args)

        return run
