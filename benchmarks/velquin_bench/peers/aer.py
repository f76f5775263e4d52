"""Qiskit Aer: AerState for gates on a live register, AerSimulator for circuits and shots,
its primitives for the Qiskit workloads. A configuration is a comma list of OPTIONS;
"default" leaves Aer's own choices (fusion on, the method picked per circuit). AerState
buffers gates until flush(), so a timed gate is apply + flush; rz goes through its
diagonal kernel, sx, rx and ry through its matrix kernel, as inside an Aer circuit."""
import cmath
import math
from importlib import metadata

import numpy as np

from . import live, loop

NAME, PRECISION, SEED = "Aer", "complex128", 1
OPTIONS = {"default": {}, "fusion off": {"fusion_enable": False},
           "statevector": {"method": "statevector"}, "shot branching": {"shot_branching_enable": True}}


def version() -> str:
    return metadata.version("qiskit-aer")


def _options(config: str, threads: int) -> dict:
    options = {"max_parallel_threads": threads, "seed_simulator": SEED}
    for part in config.split(", "):
        options |= OPTIONS[part]
    return options


def _state(n: int, threads: int, ops=()):
    from qiskit_aer.quantum_info.states.aer_state import AerState

    state = AerState(method="statevector", precision="double", max_parallel_threads=threads,
                     seed_simulator=SEED)
    state.allocate_qubits(n)
    state.initialize()
    for function, args in [_applier(state, op) for op in ops]:
        function(*args)
    state.flush()
    return state


def _applier(state, op):
    """(function, args) applying op to state."""
    name, qs, theta = op.name.removesuffix("_cpp"), op.qubits, op.theta
    if name in ("h", "x", "cx", "cy", "cz"):
        return getattr(state, f"apply_{name}"), qs
    if name == "swap":
        return state.apply_mcswap, ([], *qs)
    if name == "rz":
        return state.apply_diagonal, ([qs[0]], [cmath.exp(-0.5j * theta), cmath.exp(0.5j * theta)])
    c, s = math.cos((theta or 0) / 2), math.sin((theta or 0) / 2)
    matrix = {"sx": [[0.5 + 0.5j, 0.5 - 0.5j], [0.5 - 0.5j, 0.5 + 0.5j]],
              "rx": [[c, -1j * s], [-1j * s, c]], "ry": [[c, -s], [s, c]]}[name]
    return state.apply_unitary, ([qs[0]], np.array(matrix, dtype=complex))


def make_gate(problem, config, threads):
    n, op, prep = problem
    state = live(n, lambda: _state(n, threads, prep))
    (apply, args), flush = _applier(state, op), state.flush
    return lambda: (apply(*args), flush())


def make_circuit(problem, config, threads):
    from qiskit import QuantumCircuit
    from qiskit_aer import AerSimulator

    n, ops = problem
    qc, backend = QuantumCircuit(n), AerSimulator(precision="double", **_options(config, threads))
    for op in ops:
        getattr(qc, op.name)(*(() if op.theta is None else (op.theta,)), *op.qubits)
    qc.save_statevector()
    return lambda: np.asarray(backend.run(qc, shots=1).result().get_statevector())


def make_sample(problem, config, threads):
    n, prep, shots = problem
    state = _state(n, threads, prep)
    return lambda: state.sample_counts(list(range(n)), shots)


def make_calls(problem, config, threads):
    op, count = problem
    state = _state(2, threads)
    run = loop(*_applier(state, op), count)
    return lambda: (run(), state.flush())  # the buffered gates flushed once, after the loop


def _shots(problem, config, threads, save=False, **run):
    """Like a user: the circuit transpiled for the backend inside the timed call."""
    from qiskit import transpile
    from qiskit_aer import AerSimulator

    noise = {"noise_model": problem["noise"]} if problem.get("noise") else {}
    backend = AerSimulator(precision="double", **_options(config, threads), **problem.get("aer", {}), **noise)
    circuit = problem["circuit"].copy()
    if save:
        circuit.save_statevector()
    return lambda: backend.run(transpile(circuit, backend), **run).result()


def make_qiskit_statevector(problem, config, threads):
    run = _shots(problem, config, threads, save=True)
    return lambda: run().get_statevector()


def make_qiskit_shots(problem, config, threads):
    run = _shots(problem, config, threads, shots=problem["shots"])
    return lambda: run().get_counts()


def _primitive(kind: str, config: str, threads: int):
    from qiskit_aer import primitives

    extra = {"seed": SEED} if kind == "SamplerV2" else {}
    return getattr(primitives, kind)(options={"backend_options": _options(config, threads)}, **extra)


def make_estimator(problem, config, threads):
    return problem(_primitive("EstimatorV2", config, threads))


def make_sampler(problem, config, threads):
    return problem(_primitive("SamplerV2", config, threads))


def make_qnn(problem, config, threads):
    from qiskit_machine_learning.gradients import ParamShiftEstimatorGradient

    estimator = _primitive("EstimatorV2", config, threads)
    return problem(estimator, ParamShiftEstimatorGradient(estimator))
