"""Samples: their distribution (static circuits against the exact state, dynamic and noisy ones
against cirq.DensityMatrixSimulator), Cirq's record layout, and seeds at any thread count."""

import concurrent.futures
import hashlib
import multiprocessing
import os
import subprocess
import sys
from collections import Counter

import cirq
import numpy as np
import pytest
import scipy.stats
import velquin_cirq
from cirq_circuits import (cirq_reference, exact_records, random_circuit, random_dynamic_circuit,
                           record_order)

# Each case's G-test fails a correct sampler with probability 1e-6 (eleven cases: about 1e-5 in
# all).
FALSE_ALARM = 1e-6


def assert_follows(observed, exact, shots):
    """A G-test of the counts ``observed`` against the distribution ``exact``."""
    outcomes = [o for o in exact if exact[o] > 1e-12]
    assert set(observed) <= set(outcomes), set(observed) - set(outcomes)
    expected = np.array([exact[o] for o in outcomes])
    counts = np.array([observed[o] for o in outcomes])
    _, p_value = scipy.stats.power_divergence(counts, expected / expected.sum() * shots,
                                              lambda_="log-likelihood")
    assert p_value > FALSE_ALARM


@pytest.mark.parametrize("seed", range(3))
def test_sampled_distribution_matches_the_exact_one(seed):
    rng = np.random.default_rng(100 + seed)
    q = cirq.LineQubit.range(5)
    circuit = random_circuit(rng, q[:4], 30)  # q[4] has no gate: it reads 0
    resolver = cirq.ParamResolver({"a": 0.4, "b": -1.1})
    measured = cirq.Circuit(circuit, cirq.measure(q[2], q[0], key="m", invert_mask=(True,)),
                            cirq.measure(q[4], q[3], key="k"))
    shots = 20000
    result = velquin_cirq.Simulator(seed=seed).run(measured, resolver, repetitions=shots)
    rows = np.concatenate([result.records["m"][:, 0], result.records["k"][:, 0]], axis=1)
    observed = Counter(map(tuple, rows.tolist()))

    probabilities = np.abs(cirq_reference(circuit, resolver, q[:4])) ** 2  # index bits q0..q3
    exact = Counter()
    for index, p in enumerate(probabilities):
        bits = [(index >> (3 - k)) & 1 for k in range(4)]
        exact[(1 - bits[2], bits[0], 0, bits[3])] += p
    assert_follows(observed, exact, shots)


NOISE = {"in_circuit": None, "depolarize": cirq.depolarize(0.03),
         "amplitude_damp": cirq.amplitude_damp(0.05)}


@pytest.mark.parametrize("noise", NOISE)
@pytest.mark.parametrize("seed", range(2))
def test_dynamic_records_follow_the_density_matrix(seed, noise):
    # Random circuits of gates, measurements anywhere (repeated keys, invert masks, confusion
    # maps, a Pauli measurement), resets, classical controls (key, indexed key, bit mask and
    # SymPy conditions) and channels, in the circuit and from a noise model.
    rng = np.random.default_rng(200 + seed)
    q = cirq.LineQubit.range(3)
    circuit = random_dynamic_circuit(rng, q, 24)
    resolver = cirq.ParamResolver({"a": 0.4, "b": -1.1})
    shots = 20000
    result = velquin_cirq.Simulator(seed=seed, noise=NOISE[noise]).run(circuit, resolver, shots)
    assert {r.dtype for r in result.records.values()} == {np.dtype(np.uint8)}  # as Cirq's
    observed = Counter(map(tuple, record_order(result.records).tolist()))
    assert_follows(observed, exact_records(circuit, resolver, NOISE[noise]), shots)


@pytest.mark.parametrize("noise", ["in_circuit", "depolarize"])
def test_simulate_draws_trajectories_as_the_density_matrix_weighs_them(noise):
    # Each simulate call is one trajectory: its last records and one basis state drawn from its
    # final state, over many calls, follow the density matrix.
    rng = np.random.default_rng(300)
    q = cirq.LineQubit.range(3)
    circuit = random_dynamic_circuit(rng, q, 16, bits=2)
    resolver = cirq.ParamResolver({"a": 0.4, "b": -1.1})
    simulator, draws, trials = velquin_cirq.Simulator(seed=4, noise=NOISE[noise]), rng, 3000
    observed = Counter()
    for result in simulator.simulate_sweep(circuit, [resolver] * trials):
        state = result.final_state_vector
        assert abs(np.vdot(state, state) - 1) < 1e-12
        index = draws.choice(state.size, p=np.abs(state) ** 2 / np.vdot(state, state).real)
        last = [int(b) for key in sorted(result.measurements) for b in result.measurements[key]]
        observed[(*last, *((index >> (2 - k)) & 1 for k in range(3)))] += 1
    assert_follows(observed, exact_records(circuit, resolver, NOISE[noise], final_qubits=q,
                                           last_only=True), trials)


def test_records_have_cirqs_keys_shapes_and_types():
    q = cirq.LineQubit.range(3)
    circuit = cirq.Circuit(cirq.H.on_each(*q), cirq.measure(q[0], q[1], key="a"),
                           cirq.measure(q[2], key="b"), cirq.measure(q[1], q[2], key="a"))
    for simulator in (velquin_cirq.Simulator(seed=1), cirq.Simulator(seed=1)):
        result = simulator.run(circuit, repetitions=7)
        assert {k: (v.shape, v.dtype) for k, v in result.records.items()} == {
            "a": ((7, 2, 2), np.int8), "b": ((7, 1, 1), np.int8)}
        assert result.records["a"][:, 0, 1].tolist() == result.records["a"][:, 1, 0].tolist()
        empty = simulator.run(circuit, repetitions=0)
        assert empty.records["b"].shape[0] == 0
    with pytest.raises(ValueError, match="Circuit has no measurements to sample."):
        velquin_cirq.Simulator().run(cirq.Circuit(cirq.H(q[0])))


def digest(result):
    return hashlib.sha256(b"".join(v.tobytes() for _, v in sorted(result.records.items()))
                          ).hexdigest()


def test_seeds_repeat_per_simulator_and_advance_per_call():
    q = cirq.LineQubit.range(4)
    circuit = cirq.Circuit(cirq.H.on_each(*q), cirq.measure(*q, key="m"))
    first, again = velquin_cirq.Simulator(seed=8), velquin_cirq.Simulator(seed=8)
    calls = [digest(first.run(circuit, repetitions=50)) for _ in range(3)]
    assert [digest(again.run(circuit, repetitions=50)) for _ in range(3)] == calls
    assert len(set(calls)) == 3  # each call draws a new root
    assert digest(velquin_cirq.Simulator(seed=9).run(circuit, repetitions=50)) != calls[0]
    for make in (np.random.RandomState, np.random.default_rng):
        assert digest(velquin_cirq.Simulator(seed=make(4)).run(circuit, repetitions=50)) == \
            digest(velquin_cirq.Simulator(seed=make(4)).run(circuit, repetitions=50))
    np.random.seed(11)  # None draws from NumPy's global generator, as cirq.Simulator does
    unseeded = digest(velquin_cirq.Simulator().run(circuit, repetitions=50))
    np.random.seed(11)
    assert digest(velquin_cirq.Simulator().run(circuit, repetitions=50)) == unseeded
    sweep = velquin_cirq.Simulator(seed=8).run_sweep(circuit, cirq.Points("x", [0, 1]), 50)
    assert digest(sweep[0]) == calls[0] and digest(sweep[1]) != calls[0]  # point 0 of call 0
    with pytest.raises(TypeError, match="seed must be None, an integer"):
        velquin_cirq.Simulator(seed=1.5)


SEED_SCRIPT = """
import concurrent.futures, hashlib, multiprocessing, sys
import cirq, numpy as np, sympy, velquin_cirq
sys.path.insert(0, sys.argv[1])
from cirq_circuits import random_circuit
q = cirq.LineQubit.range(17)  # 2**17 amplitudes: above velquin's threading threshold
circuit = random_circuit(np.random.default_rng(5), q, 60) + cirq.measure(*q[::2], key="m")
sweep = cirq.Points("a", [0.1, 0.2, 0.3]) * cirq.Points("b", [1.0, 2.0])
def run(executor):
    results = velquin_cirq.Simulator(seed=21, executor=executor).run_sweep(circuit, sweep, 3000)
    return [hashlib.sha256(r.records["m"].tobytes()).hexdigest() for r in results]
serial = run(None)
context = multiprocessing.get_context("spawn")
with concurrent.futures.ProcessPoolExecutor(2, mp_context=context) as pool:
    assert run(pool) == serial
print(" ".join(serial))
"""


def test_seeded_samples_are_identical_at_one_and_two_threads_and_over_an_executor():
    here = os.path.dirname(os.path.abspath(__file__))
    outputs = []
    for threads in ("1", "2"):
        env = dict(os.environ, OMP_NUM_THREADS=threads)
        done = subprocess.run([sys.executable, "-c", SEED_SCRIPT, here], env=env,
                              capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, done.stderr
        outputs.append(done.stdout.split())
    assert outputs[0] == outputs[1] and len(set(outputs[0])) == 6


def test_executor_sweeps_equal_serial_sweeps_for_states_and_expectations():
    q = cirq.LineQubit.range(3)
    circuit = random_circuit(np.random.default_rng(2), q, 20)
    sweep = cirq.Points("a", [0.1, 0.9, 1.7]) * cirq.Points("b", [0.0, 2.0])
    observable = cirq.X(q[0]) * cirq.Z(q[2]) + 0.5 * cirq.Y(q[1])
    serial = velquin_cirq.Simulator()
    with concurrent.futures.ProcessPoolExecutor(
            2, mp_context=multiprocessing.get_context("spawn")) as pool:
        parallel = velquin_cirq.Simulator(executor=pool)
        for a, b in zip(serial.simulate_sweep(circuit, sweep), parallel.simulate_sweep(circuit, sweep)):
            assert np.array_equal(a.final_state_vector, b.final_state_vector)
        assert serial.simulate_expectation_values_sweep(circuit, observable, sweep) == \
            parallel.simulate_expectation_values_sweep(circuit, observable, sweep)
