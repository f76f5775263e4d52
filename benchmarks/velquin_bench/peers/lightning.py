"""PennyLane Lightning: its compiled register class for the engine workloads,
the lightning.qubit device for the PennyLane ones.

StateVectorC128 is the cheapest path to Lightning's kernels (its device adds
PennyLane's dispatch to every gate). Wire 0 is its most significant bit, so
qubit q is wire n - 1 - q. Lightning never fuses.
"""
from __future__ import annotations

from importlib import metadata

import numpy as np

NAME, PRECISION = "Lightning", "complex128"
NAMES = {"h": "Hadamard", "x": "PauliX", "sx": "SX", "rx": "RX", "ry": "RY", "rz": "RZ",
         "cx": "CNOT", "cy": "CY", "cz": "CZ", "swap": "SWAP"}


def version() -> str:
    return metadata.version("pennylane-lightning")


def _register(n):
    import pennylane_lightning.lightning_qubit_ops as ops

    return ops.StateVectorC128(n)


def _unbound(n, op):
    """(function, wires, inverse, params): function(register, ...) applies op."""
    import pennylane_lightning.lightning_qubit_ops as ops

    function = getattr(ops.StateVectorC128, NAMES[op.name.removesuffix("_cpp")])
    return function, [n - 1 - q for q in op.qubits], False, [] if op.theta is None else [op.theta]


def _play(register, n, ops):
    for function, *args in [_unbound(n, op) for op in ops]:
        function(register, *args)
    return register


_live: dict = {}


def make_gate(problem, config, threads):
    from ..workloads.engine import Op

    n, op = problem
    if n not in _live:
        _live.clear()
        _live[n] = _play(_register(n), n, [Op("h", (q,)) for q in range(n)])
    function, *args = _unbound(n, op)
    register = _live[n]
    return lambda: function(register, *args)


def make_circuit(problem, config, threads):
    n, ops = problem
    program = [_unbound(n, op) for op in ops]

    def run():
        register = _register(n)
        for function, wires, inverse, params in program:
            function(register, wires, inverse, params)
        out = np.empty(2**n, dtype=np.complex128)
        register.getState(out)
        return out

    return run


def make_sample(problem, config, threads):
    import pennylane_lightning.lightning_qubit_ops as ops

    n, prep, shots = problem
    register = _play(_register(n), n, prep)
    measurements = ops.MeasurementsC128(register)
    measurements.set_random_seed(1)

    def run():
        return measurements.generate_samples(n, shots)

    run.keep_alive = register  # the sampler reads the register's memory
    return run


def make_calls(problem, config, threads):
    op, count = problem
    function, *args = _unbound(2, op)
    register = _register(2)

    def run():
        for _ in range(count):
            function(register, *args)

    return run


def make_pennylane(problem, config, threads):
    return problem("lightning.qubit", config)
