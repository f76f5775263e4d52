"""velquin through its public Python API and its three adapters' public API, as a user
calls them: nothing here reaches into an adapter, so these rows keep running while the
adapters are rewritten underneath."""
from importlib import metadata
from pathlib import Path

from . import live, loop

NAME, PRECISION, SEED = "velquin", "complex128", 1


def version() -> str:
    commit = Path(__file__).resolve().parents[2] / ".venv" / ".velquin-commit"  # written by venv.sh
    return f"{metadata.version('velquin')} ({commit.read_text().strip() if commit.exists() else '?'})"


def _bound(target, op):
    return getattr(target, op.name), op.qubits if op.theta is None else (*op.qubits, op.theta)


def _played(target, ops):
    for method, args in map(lambda op: _bound(target, op), ops):
        method(*args)
    return target


def make_gate(problem, config, threads):
    import velquin

    n, op, prep = problem
    method, args = _bound(live(n, lambda: _played(velquin.StateVecPy(n, seed=SEED), prep)), op)
    return lambda: method(*args)


def make_circuit(problem, config, threads):
    import velquin

    n, ops = problem
    return _played(velquin.QuantumCircuit(n), ops).statevector


def make_sample(problem, config, threads):
    import velquin

    n, prep, shots = problem
    state = _played(velquin.StateVecPy(n, seed=SEED), prep)
    return lambda: state.measure_counts(shots, SEED)


def make_calls(problem, config, threads):
    import velquin

    op, count = problem
    return loop(*_bound(velquin.StateVecPy(2, seed=SEED), op), count)


def make_qiskit_statevector(problem, config, threads):
    import velquin_qiskit

    return lambda: velquin_qiskit.statevector(problem["circuit"])


def make_qiskit_shots(problem, config, threads):
    from velquin_qiskit import SamplerV2

    # A noise model goes to the sampler as it is; velquin refuses it until it takes one.
    sampler = SamplerV2(seed=SEED, **{"noise_model": problem["noise"]} if problem.get("noise") else {})
    return lambda: sampler.run([problem["circuit"]], shots=problem["shots"]).result()[0].join_data()


def make_estimator(problem, config, threads):
    from velquin_qiskit import EstimatorV2

    return problem(EstimatorV2())


def make_sampler(problem, config, threads):
    from velquin_qiskit import SamplerV2

    return problem(SamplerV2(seed=SEED))


def make_qnn(problem, config, threads):
    import velquin_qiskit
    from qiskit_machine_learning.gradients import ParamShiftEstimatorGradient

    estimator = velquin_qiskit.EstimatorV2()
    gradient = getattr(velquin_qiskit, "AdjointEstimatorGradient", ParamShiftEstimatorGradient)
    return problem(estimator, gradient(estimator))


def make_cirq(problem, config, threads):
    import velquin_cirq

    options, play = problem
    return play(velquin_cirq.Simulator(seed=SEED, **options))


def make_pennylane(problem, config, threads):
    return problem("velquin.qubit", config)
