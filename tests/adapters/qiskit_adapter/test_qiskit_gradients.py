"""AdjointEstimatorGradient against qiskit-machine-learning's parameter-shift gradient."""

import numpy as np
import pytest
from qiskit import QuantumCircuit
from qiskit.circuit import ParameterVector
from qiskit.circuit.library import efficient_su2, z_feature_map
from qiskit.primitives import StatevectorEstimator
from qiskit.quantum_info import SparsePauliOp
from qiskit_aer.noise import NoiseModel, depolarizing_error
from qiskit_machine_learning.gradients import DerivativeType, ParamShiftEstimatorGradient
from qiskit_machine_learning.neural_networks import EstimatorQNN
from random_circuits import GATES, STANDARD, random_circuit
from velquin_adapters import Program

import velquin_qiskit as vq


def every_parameterised_gate():
    """Each parameterised standard gate once, its angles linear and non-linear expressions
    of four parameters."""
    p = ParameterVector("p", 4)
    angles = [p[0], 2 * p[1] - 0.3, p[2] * p[3], p[0] + p[3] / 3, p[1] * p[1] + 0.5]
    circuit = QuantumCircuit(4)
    circuit.h(range(4))
    for k, (name, arity, n_params) in enumerate(g for g in GATES if g[2] and g[1]):
        chosen = [angles[(k + j) % len(angles)] for j in range(n_params)]
        circuit.append(STANDARD[name].base_class(*chosen), [(k + j) % 4 for j in range(arity)])
    return circuit


def reference_gradient(circuits, observables, values, parameters):
    return ParamShiftEstimatorGradient(StatevectorEstimator()).run(
        circuits, observables, values, parameters).result().gradients


@pytest.mark.parametrize("seed", range(5))
def test_gradient_equals_parameter_shift(seed):
    """Random circuits of the standard gates (linear and product angles), several
    observables, parameter subsets, rows and circuits repeated as EstimatorQNN repeats them."""
    rng = np.random.default_rng(seed)
    circuit = every_parameterised_gate() if seed == 0 else \
        random_circuit(4, 30, seed, general=False, parameters=4)
    other = random_circuit(3, 20, seed + 50, general=False, parameters=2)
    ops = [SparsePauliOp(["ZZII", "IXYI", "XIIZ"], rng.normal(size=3)), SparsePauliOp("IIIY"),
           SparsePauliOp.from_sparse_list([("ZX", [0, 3], 0.7)], 4)]
    rows = rng.uniform(-3, 3, (3, circuit.num_parameters))
    circuits = [circuit] * 5 + [other]
    observables = [ops[0], ops[1], ops[0], ops[2], ops[1], SparsePauliOp("ZXY")]
    values = [rows[0], rows[0], rows[1], rows[2], rows[2], rng.uniform(-3, 3, 2)]
    subset = list(circuit.parameters)[1:3]
    parameters = [None, subset, None, list(circuit.parameters)[::-1], subset, None]
    ours = vq.AdjointEstimatorGradient().run(circuits, observables, values, parameters).result()
    want = reference_gradient(circuits, observables, values, parameters)
    for got, expected, params in zip(ours.gradients, want, ours.metadata):
        assert got.shape == expected.shape == (len(params["parameters"]),)
        np.testing.assert_allclose(got, expected, rtol=0, atol=1e-10)


def test_estimator_qnn_runs_its_batch_as_one_engine_call(monkeypatch):
    """A QNN's backward pass for 6 rows and 2 observables: one gradient call of 6 parameter
    sets, the values of Qiskit's reference QNN."""
    n = 4
    circuit = z_feature_map(n).compose(efficient_su2(n, reps=1))
    inputs = [p for p in circuit.parameters if p.name.startswith("x")]
    weights = [p for p in circuit.parameters if not p.name.startswith("x")]
    observables = [SparsePauliOp("Z" * n), SparsePauliOp(["XIIZ", "IYYI"], [0.5, -1.0])]
    rng = np.random.default_rng(4)
    x, w = rng.uniform(-1, 1, (6, len(inputs))), rng.uniform(-1, 1, len(weights))

    def qnn(estimator, gradient):
        return EstimatorQNN(circuit=circuit, observables=observables, input_params=inputs,
                            weight_params=weights, estimator=estimator, gradient=gradient,
                            input_gradients=True, default_precision=0.0)

    calls = []
    compiled = Program.compiled

    def counted(program):
        engine = compiled(program)

        class Counting:
            def gradient(self, params, observables):
                calls.append(params.shape[0])
                return engine.gradient(params, observables)

            def __getattr__(self, name):
                return getattr(engine, name)
        return Counting()

    monkeypatch.setattr(Program, "compiled", counted)
    ours = qnn(vq.EstimatorV2(), vq.AdjointEstimatorGradient())
    forward, (input_grad, weight_grad) = ours.forward(x, w), ours.backward(x, w)
    assert calls == [6]
    reference = qnn(StatevectorEstimator(), ParamShiftEstimatorGradient(StatevectorEstimator()))
    np.testing.assert_allclose(forward, reference.forward(x, w), rtol=0, atol=1e-12)
    want_input, want_weight = reference.backward(x, w)
    np.testing.assert_allclose(input_grad, want_input, rtol=0, atol=1e-10)
    np.testing.assert_allclose(weight_grad, want_weight, rtol=0, atol=1e-10)


def _measured():
    circuit = QuantumCircuit(2, 1)
    circuit.rx(ParameterVector("t", 1)[0], 0)
    circuit.measure(0, 0)
    circuit.cx(0, 1)
    return circuit


def _noisy_estimator():
    model = NoiseModel()
    model.add_all_qubit_quantum_error(depolarizing_error(0.1, 1), ["rx"])
    return vq.EstimatorV2(noise_model=model)


# (what is run, error, text)
REFUSED = [
    (lambda: vq.AdjointEstimatorGradient().run([_measured()], [SparsePauliOp("ZI")], [[0.3]]),
     vq.UnsupportedInstructionError, "the adjoint gradient needs one final state, and 'measure' "
     "(circuit.data[1] on qubits [0])"),
    (lambda: vq.AdjointEstimatorGradient().run(
        [random_circuit(2, 5, 1, parameters=1)], [SparsePauliOp(["ZI", "XX"], [1, 1j])], [[0.3]]
    ).result(), ValueError, "observable 0: Non-Hermitian input observable"),
    (lambda: vq.AdjointEstimatorGradient(_noisy_estimator()), ValueError,
     "differentiates the noiseless state"),
    (lambda: vq.AdjointEstimatorGradient(derivative_type=DerivativeType.COMPLEX), ValueError,
     "computes DerivativeType.REAL only"),
]


@pytest.mark.parametrize("call, error, text", REFUSED)
def test_what_the_adjoint_method_cannot_give_is_refused(call, error, text):
    with pytest.raises(error) as raised:
        job = call()
        if hasattr(job, "result"):
            job.result()
    assert text in str(raised.value)
