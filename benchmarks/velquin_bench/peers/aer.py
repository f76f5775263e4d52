"""Qiskit Aer: AerState for gates on a live register, AerSimulator for circuits,
its primitives for the Qiskit workloads.

A configuration is a comma list of the options below; "default" leaves Aer's
own choices (fusion on, method chosen per circuit). AerState buffers gates
until flush(), so a timed gate is apply + flush; rz goes through its diagonal
kernel and sx, rx, ry through its matrix kernel, as inside an Aer circuit.
"""
from __future__ import annotations

import cmath
import math
from importlib import metadata

import numpy as np

NAME, PRECISION, SEED = "Aer", "complex128", 1
OPTIONS = {"default": {}, "fusion off": {"fusion_enable": False},
           "statevector": {"method": "statevector"}, "shot branching": {"shot_branching_enable": True}}


def version() -> str:
    return metadata.version("qiskit-aer")


def _options(config: str, threads: int) -> dict:
    options = {"max_parallel_threads": threads, "seed_simulator": SEED}
    for part in config.split(", "):
        options.update(OPTIONS[part])
    return options


def _backend(config: str, threads: int, **extra):
    from qiskit_aer import AerSimulator

    return AerSimulator(precision="double", **_options(config, threads), **extra)


def _state(n: int, threads: int):
    from qiskit_aer.quantum_info.states.aer_state import AerState

    state = AerState(method="statevector", precision="double", max_parallel_threads=threads,
                     seed_simulator=SEED)
    state.allocate_qubits(n)
    state.initialize()
    return state


def _applier(state, op):
    name, qs, theta = op.name.removesuffix("_cpp"), op.qubits, op.theta
    if name in ("h", "x", "y", "z", "cx", "cy", "cz"):
        fn = getattr(state, f"apply_{name}")
        return lambda: fn(*qs)
    if name == "swap":
        return lambda: state.apply_mcswap([], *qs)
    if name == "rz":
        diagonal = [cmath.exp(-0.5j * theta), cmath.exp(0.5j * theta)]
        return lambda: state.apply_diagonal([qs[0]], diagonal)
    if name == "sx":
        matrix = 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])
    else:
        c, s = math.cos(theta / 2), math.sin(theta / 2)
        matrix = np.array([[c, -1j * s], [-1j * s, c]] if name == "rx" else [[c, -s], [s, c]],
                          dtype=complex)
    return lambda: state.apply_unitary([qs[0]], matrix)


_register: dict = {}


def make_gate(problem, config, threads):
    n, op = problem
    if n not in _register:
        _register.clear()
        _register[n] = _state(n, threads)
        for q in range(n):
            _register[n].apply_h(q)
        _register[n].flush()
    apply, flush = _applier(_register[n], op), _register[n].flush
    return lambda: (apply(), flush())


def make_circuit(problem, config, threads):
    from qiskit import QuantumCircuit

    n, ops = problem
    qc = QuantumCircuit(n)
    for op in ops:
        getattr(qc, op.name)(*(() if op.theta is None else (op.theta,)), *op.qubits)
    qc.save_statevector()
    backend = _backend(config, threads)
    return lambda: np.asarray(backend.run(qc, shots=1).result().get_statevector())


def make_sample(problem, config, threads):
    n, prep, shots = problem
    state = _state(n, threads)
    for op in prep:
        _applier(state, op)()
    state.flush()
    return lambda: state.sample_counts(list(range(n)), shots)


def make_calls(problem, config, threads):
    op, count = problem
    state = _state(2, threads)
    apply = _applier(state, op)

    def run():
        for _ in range(count):
            apply()
        state.flush()

    return run


def _transpiled(problem, config, threads, save=False):
    """Like a user: the circuit transpiled for the backend inside the timed call."""
    from qiskit import transpile

    backend = _backend(config, threads, **problem.get("aer", {}),
                       **({"noise_model": problem["noise"]} if problem.get("noise") else {}))
    circuit = problem["circuit"].copy()
    if save:
        circuit.save_statevector()
    return backend, lambda: transpile(circuit, backend)


def make_qiskit_statevector(problem, config, threads):
    backend, ready = _transpiled(problem, config, threads, save=True)
    return lambda: backend.run(ready()).result().get_statevector()


def make_qiskit_shots(problem, config, threads):
    backend, ready = _transpiled(problem, config, threads)
    return lambda: backend.run(ready(), shots=problem["shots"]).result().get_counts()


def _primitive_options(config, threads) -> dict:
    return {"backend_options": _options(config, threads)}


def make_estimator(problem, config, threads):
    from qiskit_aer.primitives import EstimatorV2

    return problem(EstimatorV2(options=_primitive_options(config, threads)))


def make_sampler(problem, config, threads):
    from qiskit_aer.primitives import SamplerV2

    return problem(SamplerV2(seed=SEED, options=_primitive_options(config, threads)))


def make_qnn(problem, config, threads):
    from qiskit_aer.primitives import EstimatorV2
    from qiskit_machine_learning.gradients import ParamShiftEstimatorGradient

    estimator = EstimatorV2(options=_primitive_options(config, threads))
    return problem(estimator, ParamShiftEstimatorGradient(estimator))
