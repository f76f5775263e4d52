"""PennyLane Lightning (lightning.qubit) through its compiled register class.

The Python device adds PennyLane's own dispatch on top; the register class
StateVectorC128 is the cheapest path to the same kernels. Wire 0 is the most
significant bit there, so qubit q is wire n - 1 - q. Lightning never fuses.
"""
from __future__ import annotations

import numpy as np

from ..circuits import Op, base_name
from .base import Simulator, Timed

NAMES = {"h": "Hadamard", "x": "PauliX", "y": "PauliY", "z": "PauliZ",
         "s": "S", "sdg": "S", "t": "T", "tdg": "T", "sx": "SX", "rx": "RX",
         "ry": "RY", "rz": "RZ", "cx": "CNOT", "cy": "CY", "cz": "CZ",
         "swap": "SWAP"}


def _ops():
    import pennylane_lightning.lightning_qubit_ops as ops

    return ops


def unbound(n: int, op: Op):
    """(function, wires, inverse, params): function(register, ...) applies op."""
    name = base_name(op.name)
    wires = [n - 1 - q for q in op.qubits]
    params = [] if op.theta is None else [op.theta]
    function = getattr(_ops().StateVectorC128, NAMES[name])
    return function, wires, name in ("sdg", "tdg"), params


def bind(register, n: int, op: Op):
    """(method, wires, inverse, params) applying op to register."""
    function, *args = unbound(n, op)
    return (lambda *a: function(register, *a)), *args


class Lightning(Simulator):
    name = "Lightning"
    distribution = "pennylane-lightning"
    fuses = False

    def gate_state(self, n: int):
        register = _ops().StateVectorC128(n)
        for q in range(n):
            method, *args = bind(register, n, Op("h", (q,)))
            method(*args)
        return n, register

    def gate_call(self, state, op: Op) -> Timed:
        n, register = state
        method, wires, inverse, params = bind(register, n, op)
        return lambda: method(wires, inverse, params)

    def state_vector(self, state):
        n, register = state
        out = np.zeros(2**n, dtype=np.complex128)
        register.getState(out)
        return out

    def _run(self, n: int, ops: list[Op]):
        register = _ops().StateVectorC128(n)
        for function, *args in [unbound(n, op) for op in ops]:
            function(register, *args)
        return register

    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        new_register = _ops().StateVectorC128
        program = [unbound(n, op) for op in ops]

        def run():
            register = new_register(n)
            for function, wires, inverse, params in program:
                function(register, wires, inverse, params)
            out = np.empty(2**n, dtype=np.complex128)
            register.getState(out)

        return run

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        return self.state_vector((n, self._run(n, ops)))

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        register = self._run(n, prep)
        measurements = _ops().MeasurementsC128(register)
        measurements.set_random_seed(1)

        def run():
            measurements.generate_samples(n, shots)

        run.keep_alive = register  # the sampler reads the register's memory
        return run

    def call_loop(self, op: Op, count: int) -> Timed:
        register = _ops().StateVectorC128(2)
        method, wires, inverse, params = bind(register, 2, op)
        steps = range(count)

        def run():
            for _ in steps:
                method(wires, inverse, params)

        return run
