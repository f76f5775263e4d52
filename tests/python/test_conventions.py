"""The conventions the README promises: qubit order, gate matrices, no renormalisation,
seeds, thread-count independence and memory."""
import hashlib
import math
import os
import random
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from velquin import QuantumCircuit, StateVecPy

I2 = np.eye(2, dtype=complex)
PAULI = {
    "x": np.array([[0, 1], [1, 0]], dtype=complex),
    "y": np.array([[0, -1j], [1j, 0]]),
    "z": np.array([[1, 0], [0, -1]], dtype=complex),
}
# The documented matrix of each fixed gate, rows and columns ordered (qubit = 0, qubit = 1).
FIXED = {
    "h": np.array([[1, 1], [1, -1]]) / math.sqrt(2),
    "x": PAULI["x"],
    "y": PAULI["y"],
    "z": PAULI["z"],
    "s": np.diag([1, 1j]),
    "sdg": np.diag([1, -1j]),
    "t": np.diag([1, np.exp(1j * math.pi / 4)]),
    "tdg": np.diag([1, np.exp(-1j * math.pi / 4)]),
    "sx": np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]]) / 2,
}


def random_register(n, seed, register_seed=0):
    """A register in a generic entangled state, with every amplitude non-zero."""
    rng = random.Random(seed)
    sv = StateVecPy(n, seed=register_seed)
    for _ in range(2):
        for q in range(n):
            sv.ry(q, rng.uniform(0.3, 2.8))
            sv.rz(q, rng.uniform(-3, 3))
        for q in range(n - 1):
            sv.cx(q, q + 1)
    return sv


def apply_model(state, matrix, q):
    """Apply a 2x2 matrix to qubit q, where qubit q is bit q of the basis index."""
    n = int(math.log2(state.size))
    # C order: axis 0 is the most significant bit, so bit q is axis n-1-q.
    tensor = state.reshape([2] * n)
    tensor = np.moveaxis(np.tensordot(matrix, tensor, axes=([1], [n - 1 - q])), 0, n - 1 - q)
    return tensor.reshape(-1)


@pytest.mark.parametrize("n", [1, 2, 3, 5])
def test_qubit_zero_is_least_significant_bit_and_rightmost_character(n):
    for q in range(n):
        sv = StateVecPy(n, seed=1)
        sv.x(q)
        state = sv.amplitudes()
        assert np.flatnonzero(state).tolist() == [1 << q]
        expected = "0" * (n - 1 - q) + "1" + "0" * q
        assert sv.measure_counts(3, seed=1) == {expected: 3}


def test_outcome_strings_are_index_in_binary_most_significant_first():
    sv = StateVecPy(4, seed=0)
    sv.x(0)
    sv.x(2)
    assert sv.amplitude(5) == (1.0, 0.0)
    assert sv.measure_counts(2, seed=0) == {"0101": 2}
    qc = QuantumCircuit(4)
    qc.x(0)
    qc.x(2)
    assert qc.run(2, seed=0) == {"0101": 2}


def test_cx_flips_target_where_control_is_one():
    sv = StateVecPy(2, seed=0)
    sv.x(0)
    sv.cx(0, 1)  # control qubit 0 is 1: target qubit 1 flips
    assert np.flatnonzero(sv.amplitudes()).tolist() == [3]
    sv.cx(0, 1)
    sv.cx(1, 0)  # control qubit 1 is 0: nothing happens
    assert np.flatnonzero(sv.amplitudes()).tolist() == [1]


@pytest.mark.parametrize("name", sorted(FIXED))
def test_fixed_gates_apply_their_documented_matrix(name):
    n = 3
    for q in range(n):
        sv = random_register(n, seed=q)
        before = sv.amplitudes()
        getattr(sv, name)(q)
        np.testing.assert_allclose(sv.amplitudes(), apply_model(before, FIXED[name], q),
                                   rtol=0, atol=1e-15)


@pytest.mark.parametrize("axis", ["x", "y", "z"])
@pytest.mark.parametrize("theta", [0.3, -1.1, math.pi / 2, math.pi, 2.5, 7.0])
def test_rotations_are_exp_of_minus_i_theta_pauli_over_two(axis, theta):
    # exp(-i theta P / 2) = cos(theta/2) I - i sin(theta/2) P, since P squared is I.
    matrix = math.cos(theta / 2) * I2 - 1j * math.sin(theta / 2) * PAULI[axis]
    n = 3
    for q in range(n):
        sv = random_register(n, seed=10 + q)
        before = sv.amplitudes()
        getattr(sv, "r" + axis)(q, theta)
        np.testing.assert_allclose(sv.amplitudes(), apply_model(before, matrix, q),
                                   rtol=0, atol=1e-15)


def test_rz_is_not_the_phase_gate():
    # rz(pi/2) puts e^{-i pi/4} on |0>; a phase gate diag(1, e^{i theta}) would leave 1.
    sv = StateVecPy(1, seed=0)
    sv.rz(0, math.pi / 2)
    re, im = sv.amplitude(0)
    assert (re, im) == (0.7071067811865476, -0.7071067811865475)


def test_amplitudes_are_never_renormalised():
    sv = StateVecPy(1, seed=0)
    sv.h(0)
    sv.h(0)
    assert sv.amplitude(0) == (0.9999999999999998, 0.0)
    assert sv.amplitude(1) == (0.0, 0.0)
    for _ in range(40):
        sv.h(0)
    # From (a, 0), two Hadamards give (r * (r*a + r*a), 0): the drift accumulates, unrescaled.
    r, a = 1.0 / math.sqrt(2.0), 1.0
    for _ in range(21):
        a = r * (r * a + r * a)
    assert sv.amplitude(0) == (a, 0.0) and a < 1.0 - 1e-15
    assert sv.measure_counts(50, seed=3) == {"0": 50}  # sampling takes the weights as they are


def test_same_seed_and_gates_give_same_counts():
    def counts(seed):
        return random_register(6, seed=4).measure_counts(500, seed=seed)

    assert counts(123) == counts(123)
    assert counts(123) != counts(124)


def test_measurement_seed_reseeds_and_later_unseeded_calls_continue_from_it():
    a = random_register(5, seed=1, register_seed=3)
    b = random_register(5, seed=1, register_seed=4)  # same amplitudes, another generator
    b.measure_counts(300)  # and a generator that has moved on
    assert a.measure_counts(300, seed=42) == b.measure_counts(300, seed=42)
    first, second = a.measure_counts(300), a.measure_counts(300)
    assert (first, second) == (b.measure_counts(300), b.measure_counts(300))
    assert first != second  # each unseeded call draws on from where the stream stands


def test_construction_seed_fixes_unseeded_measurements():
    def draws():
        sv = StateVecPy(6, seed=2024)
        for q in range(6):
            sv.h(q)
        return [sv.measure_counts(200) for _ in range(3)]

    assert draws() == draws()


def test_registers_without_seed_draw_different_streams():
    def counts():
        sv = StateVecPy(10)
        for q in range(10):
            sv.h(q)
        return sv.measure_counts(1000)

    assert counts() != counts()


def test_run_equals_register_built_with_the_same_seed():
    qc = QuantumCircuit(4)
    qc.h(0)
    qc.cx(0, 1)
    qc.ry(2, 0.7)
    qc.cz(2, 3)
    sv = StateVecPy(4, seed=77)
    qc.apply_gates(sv)
    assert qc.run(400, seed=77) == sv.measure_counts(400, seed=77)


THREAD_PROBE = textwrap.dedent("""
    import hashlib, random, sys
    from velquin import QuantumCircuit
    n = 18
    rng = random.Random(5)
    qc = QuantumCircuit(n)
    for layer in range(4):
        for q in range(n):
            qc.rx(q, rng.uniform(-3, 3))
            qc.ry(q, rng.uniform(-3, 3))
            qc.h(q)
            qc.sx(q)
            qc.t(q)
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
            qc.cy(q + 1, q)
    digest = hashlib.sha256(qc.statevector().tobytes()).hexdigest()
    print(digest, sorted(qc.run(20000, seed=9).items()))
""")


def run_probe(threads, cpus=None):
    env = dict(os.environ)
    env.pop("OMP_NUM_THREADS", None)
    if threads is not None:
        env["OMP_NUM_THREADS"] = str(threads)
    preexec = (lambda: os.sched_setaffinity(0, cpus)) if cpus is not None else None
    result = subprocess.run([sys.executable, "-c", THREAD_PROBE], env=env, preexec_fn=preexec,
                            capture_output=True, text=True, timeout=300, check=True)
    return result.stdout


def test_results_do_not_depend_on_thread_count_or_cpus():
    cpus = sorted(os.sched_getaffinity(0))
    reference = run_probe(1)
    assert run_probe(None) == reference
    assert run_probe(2) == reference
    assert run_probe(8) == reference
    assert run_probe(None, cpus=cpus[:1]) == reference


@pytest.mark.parametrize("n", [1, 4, 10])
def test_memory_is_sixteen_bytes_per_amplitude(n):
    assert StateVecPy(n, seed=0).amplitudes().nbytes == 16 * 2**n


MEMORY_PROBE = textwrap.dedent("""
    import resource
    from velquin import StateVecPy
    limit = 4 << 30
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    try:
        StateVecPy(30)
    except MemoryError as error:
        print("MemoryError:", error)
    sv = StateVecPy(3, seed=1)
    sv.h(0)
    print(sv.measure_counts(10, seed=1))
""")


def test_too_large_register_raises_memory_error_naming_the_bytes():
    result = subprocess.run([sys.executable, "-c", MEMORY_PROBE], capture_output=True, text=True,
                            timeout=120, check=True)
    lines = result.stdout.splitlines()
    assert lines[0].startswith(
        "MemoryError: cannot allocate 17179869184 bytes for the amplitude array")
    assert lines[1].startswith("{")  # the process goes on working
