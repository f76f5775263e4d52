"""PennyLane Lightning: its compiled register class StateVectorC128 for the engine workloads
(the cheapest path to its kernels: its device adds PennyLane's dispatch to every gate), the
lightning.qubit device for the PennyLane ones. Wire 0 is its most significant bit, so qubit
q is wire n - 1 - q and amplitudes come out indexed as velquin's. Lightning never fuses."""
from importlib import metadata

import numpy as np

from . import live, loop

NAME, PRECISION = "Lightning", "complex128"
NAMES = {"h": "Hadamard", "x": "PauliX", "sx": "SX", "rx": "RX", "ry": "RY", "rz": "RZ",
         "cx": "CNOT", "cy": "CY", "cz": "CZ", "swap": "SWAP"}


def version() -> str:
    return metadata.version("pennylane-lightning")


def _ops():
    import pennylane_lightning.lightning_qubit_ops as ops

    return ops


def _unbound(n, op):
    """(function, wires, inverse, params): function(register, wires, ...) applies op."""
    function = getattr(_ops().StateVectorC128, NAMES[op.name.removesuffix("_cpp")])
    return function, [n - 1 - q for q in op.qubits], False, [] if op.theta is None else [op.theta]


def _played(n, ops):
    register = _ops().StateVectorC128(n)
    for function, *args in [_unbound(n, op) for op in ops]:
        function(register, *args)
    return register


def make_gate(problem, config, threads):
    n, op, prep = problem
    (function, *args), register = _unbound(n, op), live(n, lambda: _played(n, prep))
    return lambda: function(register, *args)


def make_circuit(problem, config, threads):
    n, ops = problem
    program = [_unbound(n, op) for op in ops]

    def run():
        register = _ops().StateVectorC128(n)
        for function, wires, inverse, params in program:
            function(register, wires, inverse, params)
        out = np.empty(2**n, dtype=np.complex128)
        register.getState(out)
        return out

    return run


def make_sample(problem, config, threads):
    n, prep, shots = problem
    register = _played(n, prep)
    measurements = _ops().MeasurementsC128(register)
    measurements.set_random_seed(1)
    run = lambda: measurements.generate_samples(n, shots)  # noqa: E731
    run.keep_alive = register  # the sampler reads the register's memory
    return run


def make_calls(problem, config, threads):
    op, count = problem
    function, *args = _unbound(2, op)
    return loop(function, (_ops().StateVectorC128(2), *args), count)


def make_pennylane(problem, config, threads):
    return problem("lightning.qubit", config)
