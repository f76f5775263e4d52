"""velquin through its public Python API and its three framework adapters, exactly
as a user calls them. Nothing here reaches into an adapter's internals, so these
rows keep running while the adapters are rewritten underneath."""
from __future__ import annotations

from importlib import metadata
from pathlib import Path

NAME, PRECISION, SEED = "velquin", "complex128", 1


def version() -> str:
    commit = Path(__file__).resolve().parents[2] / ".venv" / ".velquin-commit"
    built = commit.read_text().strip() if commit.exists() else "unknown commit"
    return f"{metadata.version('velquin')} ({built})"


def _bound(target, op):
    method = getattr(target, op.name)
    args = op.qubits if op.theta is None else (*op.qubits, op.theta)
    return lambda: method(*args)


_register: dict = {}


def make_gate(problem, config, threads):
    n, op = problem
    if n not in _register:  # one live register in |+>^n for every gate of this n
        import velquin

        _register.clear()
        _register[n] = velquin.StateVecPy(n, seed=SEED)
        for q in range(n):
            _register[n].h(q)
    return _bound(_register[n], op)


def _circuit(n, ops):
    import velquin

    qc = velquin.QuantumCircuit(n)
    for op in ops:
        _bound(qc, op)()
    return qc


def make_circuit(problem, config, threads):
    return _circuit(*problem).statevector


def make_sample(problem, config, threads):
    import velquin

    n, prep, shots = problem
    sv = velquin.StateVecPy(n, seed=SEED)
    for op in prep:
        _bound(sv, op)()
    return lambda: sv.measure_counts(shots, SEED)


def make_calls(problem, config, threads):
    import velquin

    op, count = problem
    step = _bound(velquin.StateVecPy(2, seed=SEED), op)

    def run():
        for _ in range(count):
            step()

    return run


def make_qiskit_statevector(problem, config, threads):
    import velquin_qiskit

    return lambda: velquin_qiskit.statevector(problem["circuit"])


def make_qiskit_shots(problem, config, threads):
    import velquin_qiskit

    # A noise model goes to the sampler as it is; velquin refuses it until it takes one.
    noise = {"noise_model": problem["noise"]} if problem.get("noise") is not None else {}
    sampler = velquin_qiskit.SamplerV2(seed=SEED, **noise)
    return lambda: sampler.run([problem["circuit"]], shots=problem["shots"]).result()[0].join_data()


def make_estimator(problem, config, threads):
    import velquin_qiskit

    return problem(velquin_qiskit.EstimatorV2())


def make_sampler(problem, config, threads):
    import velquin_qiskit

    return problem(velquin_qiskit.SamplerV2(seed=SEED))


def make_qnn(problem, config, threads):
    import velquin_qiskit

    est = velquin_qiskit.EstimatorV2()
    if hasattr(velquin_qiskit, "AdjointEstimatorGradient"):
        return problem(est, velquin_qiskit.AdjointEstimatorGradient(est))
    from qiskit_machine_learning.gradients import ParamShiftEstimatorGradient

    return problem(est, ParamShiftEstimatorGradient(est))


def make_cirq(problem, config, threads):
    import velquin_cirq

    options, play = problem
    return play(velquin_cirq.Simulator(seed=SEED, **options))


def make_pennylane(problem, config, threads):
    return problem("velquin.qubit", config)

