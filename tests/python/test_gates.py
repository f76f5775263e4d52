"""Every gate of StateVecPy against the pure-Python model in models/gate_model.py,
bit for bit, on random states reached through random gate chains run on the
module and the model side by side; plus the edge values and every error path."""

import math
import random
import struct

import numpy as np
import pytest

from models import gate_model as model

MAX_QUBITS = 8
ANGLES = [0.3, -2.7, 0.0, -0.0, math.pi, 1e6]


def model_bits(state):
    return struct.pack(f"<{2 * len(state)}d", *(part for amp in state for part in amp))


def assert_matches(sv, state, context=""):
    """Bitwise agreement; a NaN part only needs a NaN in the same place."""
    got = np.ascontiguousarray(sv.amplitudes()).view(np.float64)
    want = np.frombuffer(model_bits(state), dtype=np.float64)
    both_nan = np.isnan(got) & np.isnan(want)
    same = got.view(np.uint64) == want.view(np.uint64)
    bad = np.flatnonzero(~(same | both_nan))
    assert bad.size == 0, f"{context}: first difference at part {bad[0]}: {got[bad[0]]!r} vs {want[bad[0]]!r}"


def random_state(velquin, n, rng):
    """A register and its model twin after a random chain of rotations, Paulis
    and entangling gates; the chain itself is checked on the way."""
    sv = velquin.StateVecPy(n, seed=0)
    state = model.basis_zero(n)
    kinds = ["rx", "ry", "rz", "y", "sx", "h"] + (["cy", "cx"] if n > 1 else [])
    for _ in range(3 * n + 2):
        q = rng.randrange(n)
        kind = rng.choice(kinds)
        if kind in model.ROTATIONS:
            theta = rng.uniform(-7.0, 7.0)
            getattr(sv, kind)(q, theta)
            state = model.ROTATIONS[kind](state, q, theta)
        elif kind in model.TWO:
            t = rng.choice([k for k in range(n) if k != q])
            getattr(sv, kind)(q, t)
            state = model.TWO[kind](state, q, t)
        else:
            getattr(sv, kind)(q)
            state = model.SINGLE[kind](state, q)
    assert_matches(sv, state, "state preparation")
    return sv, state


def apply_both(sv, state, name, args):
    getattr(sv, name)(*args)
    formula = {**model.SINGLE, **model.ROTATIONS, **model.TWO, **model.NATIVE}[name]
    return formula(state, *args)


def test_random_states_carry_negative_zeros(velquin):
    rng = random.Random(1)
    found = False
    for n in range(1, 6):
        for _ in range(10):
            sv, _ = random_state(velquin, n, rng)
            parts = sv.amplitudes().view(np.float64)
            found |= bool(np.any((parts == 0.0) & np.signbit(parts)))
    assert found


@pytest.mark.parametrize("name", sorted(model.SINGLE) + ["h_cpp", "x_cpp"])
def test_single_qubit_gate_matches_model(velquin, name):
    rng = random.Random(name)
    formula = model.SINGLE.get(name) or model.NATIVE[name]
    for n in range(1, MAX_QUBITS + 1):
        for q in range(n):
            sv, state = random_state(velquin, n, rng)
            getattr(sv, name)(q)
            assert_matches(sv, formula(state, q), f"{name}({q}) on {n} qubits")


@pytest.mark.parametrize("name", sorted(model.ROTATIONS))
def test_rotation_matches_model(velquin, name):
    rng = random.Random(name)
    for n in range(1, MAX_QUBITS + 1):
        for q in range(n):
            for theta in ANGLES + [rng.uniform(-10, 10)]:
                sv, state = random_state(velquin, n, rng)
                getattr(sv, name)(q, theta)
                assert_matches(sv, model.ROTATIONS[name](state, q, theta),
                               f"{name}({q}, {theta}) on {n} qubits")


@pytest.mark.parametrize("name", sorted(model.TWO) + ["cx_cpp"])
def test_two_qubit_gate_matches_model(velquin, name):
    rng = random.Random(name)
    formula = model.TWO.get(name) or model.NATIVE[name]
    for n in range(2, MAX_QUBITS + 1):
        for a in range(n):
            for b in range(n):
                if a == b:
                    continue
                sv, state = random_state(velquin, n, rng)
                getattr(sv, name)(a, b)
                assert_matches(sv, formula(state, a, b), f"{name}({a}, {b}) on {n} qubits")


# Without a setter no register can hold an infinity next to finite values (the
# gates keep the norm); the C++ tests cover mixed non-finite amplitudes. Here a
# non-finite angle turns every part into NaN, and every gate must keep it so.
@pytest.mark.parametrize("name", sorted(model.SINGLE) + sorted(model.ROTATIONS) + sorted(model.TWO))
def test_non_finite_angles_spread_nan_through_every_gate(velquin, name):
    rng = random.Random("nan" + name)
    for n in range(2, 5):
        sv, state = random_state(velquin, n, rng)
        state = apply_both(sv, state, rng.choice(["rx", "ry", "rz"]),
                           (rng.randrange(n), rng.choice([math.nan, math.inf, -math.inf])))
        q = rng.randrange(n)
        args = (q, rng.choice([k for k in range(n) if k != q])) if name in model.TWO else (
            (q, 0.5) if name in model.ROTATIONS else (q,))
        state = apply_both(sv, state, name, args)
        assert_matches(sv, state, name)
        assert np.all(np.isnan(sv.amplitudes().view(np.float64)))


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def assert_amp(sv, i, re, im):
    got = sv.amplitude(i)
    assert (bits(got[0]), bits(got[1])) == (bits(re), bits(im)), f"amplitude {i}: {got}"


R = 0.7071067811865475


@pytest.mark.parametrize("n, calls, expected", [
    (1, [("h", 0)], [(0, R, 0.0), (1, R, 0.0)]),
    (1, [("h", 0), ("h", 0)], [(0, 0.9999999999999998, 0.0), (1, 0.0, 0.0)]),
    (1, [("h_cpp", 0), ("h_cpp", 0)], [(0, 0.9999999999999998, 0.0), (1, 0.0, 0.0)]),
    (1, [("y", 0)], [(0, 0.0, -0.0), (1, 0.0, 1.0)]),
    (1, [("sx", 0)], [(0, 0.5, 0.5), (1, 0.5, -0.5)]),
    (1, [("rx", 0, math.pi)], [(0, 6.123233995736766e-17, 0.0), (1, 0.0, -1.0)]),
    (1, [("ry", 0, math.pi / 2)], [(0, 0.7071067811865476, 0.0), (1, R, 0.0)]),
    (1, [("rz", 0, math.pi / 2)], [(0, 0.7071067811865476, -R), (1, 0.0, 0.0)]),
    (1, [("x", 0), ("t", 0)], [(1, 0.7071067811865476, R)]),
    (1, [("x", 0), ("tdg", 0)], [(1, 0.7071067811865476, -R)]),
    (2, [("x", 1)], [(0, 0.0, 0.0), (2, 1.0, 0.0)]),
    (2, [("x", 0)], [(0, 0.0, 0.0), (1, 1.0, 0.0)]),
    (3, [("x_cpp", 2)], [(0, 0.0, 0.0), (4, 1.0, 0.0)]),
    (3, [("x_cpp", 2), ("x_cpp", 2)], [(0, 1.0, 0.0), (4, 0.0, 0.0)]),
    (2, [("x", 0), ("cx", 0, 1)], [(1, 0.0, 0.0), (3, 1.0, 0.0)]),
    (2, [("x", 0), ("cx", 1, 0)], [(1, 1.0, 0.0), (3, 0.0, 0.0)]),
    (2, [("x", 0), ("cx_cpp", 0, 1)], [(1, 0.0, 0.0), (3, 1.0, 0.0)]),
    (2, [("x", 0), ("cy", 0, 1)], [(1, 0.0, -0.0), (3, 0.0, 1.0)]),
    (2, [("x", 0), ("x", 1), ("cz", 0, 1)], [(3, -1.0, -0.0)]),
    (2, [("x", 0), ("x", 1), ("cz", 1, 0)], [(3, -1.0, -0.0)]),
    (2, [("x", 0), ("swap", 0, 1)], [(1, 0.0, 0.0), (2, 1.0, 0.0)]),
    (2, [("x", 0), ("swap", 1, 0)], [(1, 0.0, 0.0), (2, 1.0, 0.0)]),
])
def test_edge_values(velquin, n, calls, expected):
    sv = velquin.StateVecPy(n, seed=0)
    for name, *args in calls:
        assert getattr(sv, name)(*args) is None
    for i, re, im in expected:
        assert_amp(sv, i, re, im)


def test_nan_angle_makes_every_part_nan(velquin):
    for name in ["rx", "ry", "rz"]:
        sv = velquin.StateVecPy(1, seed=0)
        getattr(sv, name)(0, math.nan)
        parts = sv.amplitudes().view(np.float64)
        assert np.all(np.isnan(parts)), name


@pytest.mark.parametrize("chain", [
    [("rz", 0, math.nan)],
    [("rx", 0, math.nan), ("s", 0)],
    [("ry", 0, -math.nan), ("sx", 0)],
    [("rz", 0, math.nan), ("t", 0), ("{h}", 0)],
], ids=["rz", "rx_s", "ry_sx", "rz_t_h"])
def test_nan_results_have_the_same_bits_on_every_path(velquin, chain):
    # Registers of up to 6 qubits take the scalar path, larger ones the vector
    # path; h runs the engine's loop, h_cpp the kernel library's. A NaN has a
    # sign too, and every path must give the same one.
    results = set()
    for n in (1, 6, 7, 10):
        for h in ("h", "h_cpp"):
            sv = velquin.StateVecPy(n, seed=0)
            for name, *args in chain:
                getattr(sv, name.format(h=h))(*args)
            results.add(sv.amplitudes()[:2].tobytes())
    assert len(results) == 1


def test_kernel_backed_gates_equal_engine_gates(velquin):
    rng = random.Random(5)
    for n in range(1, MAX_QUBITS + 1):
        for q in range(n):
            seed = rng.random()
            native, _ = random_state(velquin, n, random.Random(seed))
            engine, _ = random_state(velquin, n, random.Random(seed))
            native.h_cpp(q)
            engine.h(q)
            native.x_cpp(q)
            engine.x(q)
            for t in range(n):
                if t != q:
                    native.cx_cpp(q, t)
                    engine.cx(q, t)
            assert np.array_equal(native.amplitudes().view(np.uint64),
                                  engine.amplitudes().view(np.uint64))


def test_cx_cpp_with_equal_indices_changes_nothing(velquin):
    rng = random.Random(3)
    sv, state = random_state(velquin, 4, rng)
    before = sv.amplitudes().view(np.uint64).copy()
    for c in range(4):
        assert sv.cx_cpp(c, c) is None
    assert np.array_equal(sv.amplitudes().view(np.uint64), before)


def test_cx_cpp_takes_c_and_t_keywords(velquin):
    sv = velquin.StateVecPy(2, seed=0)
    sv.x(0)
    sv.cx_cpp(c=0, t=1)
    assert_amp(sv, 3, 1.0, 0.0)


QUBIT = "qubit index out of range"
ERRORS = [
    # (n, method, args, exception, message)
    *[(3, name, (3,), IndexError, QUBIT) for name in sorted(model.SINGLE) + ["h_cpp", "x_cpp"]],
    *[(3, name, (3, 0.5), IndexError, QUBIT) for name in sorted(model.ROTATIONS)],
    *[(2, name, (2**64 - 1,), IndexError, QUBIT) for name in ["h", "z", "h_cpp"]],
    (2, "rz", (2**64 - 1, 0.5), IndexError, QUBIT),
    (3, "cx", (0, 3), IndexError, "control or target qubit index out of range"),
    (3, "cx", (3, 0), IndexError, "control or target qubit index out of range"),
    (3, "cx", (5, 5), IndexError, "control or target qubit index out of range"),
    (2, "cx", (1, 1), IndexError, "control and target must be different qubits"),
    (3, "cy", (0, 3), IndexError, QUBIT),
    (3, "cy", (3, 0), IndexError, QUBIT),
    (3, "cy", (4, 4), IndexError, QUBIT),
    (2, "cy", (1, 1), ValueError, "control and target must differ"),
    (3, "cz", (3, 0), IndexError, QUBIT),
    (3, "cz", (0, 3), IndexError, QUBIT),
    (2, "cz", (1, 1), ValueError, "control and target must differ"),
    (3, "swap", (3, 0), IndexError, "swap qubit index out of range"),
    (3, "swap", (0, 3), IndexError, "swap qubit index out of range"),
    (3, "swap", (7, 7), IndexError, "swap qubit index out of range"),
    (2, "swap", (1, 1), IndexError, "swap indices must differ"),
    (2, "cx_cpp", (5, 0), IndexError, QUBIT),
    (2, "cx_cpp", (0, 5), IndexError, QUBIT),
    (2, "h_cpp", (2,), IndexError, QUBIT),
]


@pytest.mark.parametrize("n, name, args, exc, message", ERRORS)
def test_errors_leave_the_register_unchanged(velquin, n, name, args, exc, message):
    sv, _ = random_state(velquin, n, random.Random(name))
    before = sv.amplitudes().view(np.uint64).copy()
    with pytest.raises(exc) as info:
        getattr(sv, name)(*args)
    assert type(info.value) is exc
    assert str(info.value) == message
    assert np.array_equal(sv.amplitudes().view(np.uint64), before)


def test_gates_run_in_a_forked_child(velquin):
    """The gate threads do not survive fork(); a child must still run gates on
    registers large enough to be split over threads, with the parent's bits."""
    import os

    def run():
        sv = velquin.StateVecPy(17, seed=0)
        for q in range(17):
            sv.h(q)
            sv.rz(q, 0.1 * q)
            sv.h_cpp(q)
        sv.cx(0, 16)
        sv.cy(16, 1)
        return sv.amplitudes().view(np.uint64)

    parent = run()
    pid = os.fork()
    if pid == 0:
        try:
            os._exit(0 if np.array_equal(run(), parent) else 1)
        finally:
            os._exit(2)
    _, status = os.waitpid(pid, 0)
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
