"""measure_counts: the generator step, the sampler, the keys and the counts."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from models.rng_model import ModelRng, model_measure_counts
from velquin import QuantumCircuit, StateVecPy


def h_register(seed=None):
    sv = StateVecPy(1, seed=seed)
    sv.h(0)
    return sv


def test_worked_examples():
    sv = h_register(seed=99)
    assert sv.measure_counts(8, seed=0) == {"1": 5, "0": 3}
    # The unseeded call continues the stream after discarding two words.
    assert sv.measure_counts(8) == {"1": 3, "0": 5}
    assert h_register(seed=0).measure_counts(8) == {"1": 5, "0": 3}


def test_result_types_and_sum():
    sv = StateVecPy(4, seed=1)
    for q in range(4):
        sv.h(q)
    counts = sv.measure_counts(1000, seed=2)
    assert type(counts) is dict and sum(counts.values()) == 1000
    assert all(type(k) is str and len(k) == 4 and set(k) <= {"0", "1"} for k in counts)
    assert all(type(v) is int and v > 0 for v in counts.values())


@pytest.mark.parametrize("n, q, key", [(3, 0, "001"), (3, 2, "100"), (4, 1, "0010"), (1, 0, "1")])
def test_qubit_zero_is_rightmost(n, q, key):
    sv = StateVecPy(n, seed=0)
    sv.x(q)
    assert sv.measure_counts(10) == {key: 10}


def test_basis_state_gives_single_key():
    assert StateVecPy(3, seed=4).measure_counts(10) == {"000": 10}


def test_zero_probability_outcomes_absent():
    sv = StateVecPy(3, seed=0)
    sv.h(1)  # only "000" and "010" possible
    counts = sv.measure_counts(2000, seed=7)
    assert set(counts) == {"000", "010"}


def test_zero_shots_still_steps_the_generator():
    a, b = h_register(seed=3), h_register(seed=3)
    assert a.measure_counts(0) == {}
    b.measure_counts(0, seed=123)
    # a discarded two words; b was reseeded: both continue differently but as the model says.
    model_a = ModelRng.seed_from_u64(3)
    model_a.fill_bytes(8)
    amps = a.amplitudes()
    assert a.measure_counts(50) == model_measure_counts(amps, 1, 50, model_a)
    model_b = ModelRng.seed_from_u64(123)
    assert b.measure_counts(50) == model_measure_counts(amps, 1, 50, model_b)


def test_seed_replaces_generator_for_later_calls():
    a = h_register(seed=1)
    b = h_register(seed=2)
    a.measure_counts(8, seed=5)
    b.measure_counts(8, seed=5)
    assert a.measure_counts(100) == b.measure_counts(100)


def test_same_seed_same_counts_whatever_came_before():
    sv = StateVecPy(3, seed=0)
    for q in range(3):
        sv.h(q)
    first = sv.measure_counts(500, seed=11)
    sv.measure_counts(77)
    assert sv.measure_counts(500, seed=11) == first


def test_measurement_leaves_amplitudes():
    sv = StateVecPy(3, seed=0)
    sv.h(0)
    sv.rx(2, 0.3)
    before = sv.amplitudes()
    sv.measure_counts(100)
    assert np.array_equal(sv.amplitudes().view(np.uint64), before.view(np.uint64))


def test_invalid_weights_raise_after_generator_step():
    sv = StateVecPy(2, seed=0)
    sv.rx(0, math.nan)
    with pytest.raises(ValueError, match="^A weight is invalid in distribution$"):
        sv.measure_counts(0)
    with pytest.raises(ValueError, match="^A weight is invalid in distribution$"):
        sv.measure_counts(10, seed=3)
    # The failed seeded call left its freshly seeded generator in place.
    ok = h_register(seed=0)
    ok_model = ModelRng.seed_from_u64(3)
    fresh = h_register(seed=999)
    fresh.measure_counts(0, seed=3)
    assert fresh.measure_counts(20) == model_measure_counts(ok.amplitudes(), 1, 20, ok_model)


def random_register(n, seed, depth):
    rng = np.random.default_rng(seed)
    sv = StateVecPy(n, seed=int(rng.integers(2**64, dtype=np.uint64)))
    for _ in range(depth):
        q = int(rng.integers(n))
        kind = int(rng.integers(4))
        if kind == 0:
            sv.h(q)
        elif kind == 1:
            sv.rx(q, float(rng.normal()))
        elif kind == 2:
            sv.ry(q, float(rng.normal()))
        elif n > 1:
            sv.cx(q, (q + 1) % n)
    return sv


@settings(max_examples=40, deadline=None)
@given(n=st.integers(1, 6), circuit_seed=st.integers(0, 2**32), shots=st.integers(0, 400),
       seed=st.one_of(st.none(), st.integers(0, 2**64 - 1)))
def test_counts_follow_independent_model(n, circuit_seed, shots, seed):
    sv = random_register(n, circuit_seed, depth=3 * n)
    amplitudes = sv.amplitudes()
    # The register was built with a known seed: replay its stream in the model.
    state_seed = int(np.random.default_rng(circuit_seed).integers(2**64, dtype=np.uint64))
    model = ModelRng.seed_from_u64(state_seed)
    assert sv.measure_counts(shots, seed) == model_measure_counts(amplitudes, n, shots, model, seed)
    assert sv.measure_counts(shots) == model_measure_counts(amplitudes, n, shots, model)


def test_run_equals_register_sequence():
    qc = QuantumCircuit(3)
    qc.h(0)
    qc.cx(0, 1)
    qc.ry(2, 0.7)
    qc.cz(1, 2)
    sv = StateVecPy(3, seed=42)
    qc.apply_gates(sv)
    assert qc.run(1000, seed=42) == sv.measure_counts(1000, seed=42)
    assert qc.run(1000, seed=42) == qc.run(1000, seed=42)
