"""Recording gates and playing them onto registers."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from velquin import QuantumCircuit, StateVecPy

SINGLE = ["x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx"]
ROTATION = ["rx", "ry", "rz"]
PAIR = ["cx", "swap", "cy", "cz"]
# The register operation that executes each recorded kind.
DISPATCH = {"x": "x_cpp", "h": "h_cpp", "cx": "cx_cpp"}


def raw(a):
    return np.asarray(a).view(np.uint64)


def gate_lists(n):
    single = st.tuples(st.sampled_from(SINGLE), st.integers(0, n - 1))
    rotation = st.tuples(st.sampled_from(ROTATION), st.integers(0, n - 1),
                         st.floats(-10, 10, allow_nan=False))
    pair = st.tuples(st.sampled_from(PAIR), st.integers(0, n - 1), st.integers(0, n - 1)).filter(
        lambda g: g[1] != g[2])
    return st.lists(st.one_of(single, rotation, pair), max_size=25)


@settings(max_examples=60, deadline=None)
@given(data=st.data(), n=st.integers(2, 5))
def test_circuit_equals_register_gates(data, n):
    gates = data.draw(gate_lists(n))
    qc = QuantumCircuit(n)
    sv = StateVecPy(n, seed=0)
    for name, *args in gates:
        getattr(qc, name)(*args)
        getattr(sv, DISPATCH.get(name, name))(*args)
    assert np.array_equal(raw(qc.statevector()), raw(sv.amplitudes()))
    direct = StateVecPy(n, seed=0)
    for name, *args in gates:
        getattr(direct, name)(*args)  # the engine's own h/x/cx give the same bits
    assert np.array_equal(raw(qc.statevector()), raw(direct.amplitudes()))


def test_empty_circuit():
    for n in (1, 3):
        a = QuantumCircuit(n).statevector()
        expected = np.zeros(2**n, dtype=np.complex128)
        expected[0] = 1
        assert a.dtype == np.complex128 and np.array_equal(a, expected)
        assert QuantumCircuit(n).run(17, seed=1) == {"0" * n: 17}
        assert QuantumCircuit(n).run(0) == {}


@pytest.mark.parametrize("n", [0, 31, 2**64 - 1])
def test_bad_qubit_count_fails_only_on_execution(n):
    qc = QuantumCircuit(n)
    qc.h(0)
    with pytest.raises(ValueError, match="^n_qubits must be between 1 and 30$"):
        qc.statevector()
    with pytest.raises(ValueError, match="^n_qubits must be between 1 and 30$"):
        qc.run(10)
    with pytest.raises(ValueError, match="^n_qubits must be between 1 and 30$"):
        QuantumCircuit(n).run(10, seed=3)


def test_circuit_count_is_never_checked_by_apply_gates():
    sv = StateVecPy(2, seed=0)
    QuantumCircuit(0).apply_gates(sv)
    assert sv.amplitude(0) == (1.0, 0.0)
    big = QuantumCircuit(2)
    big.x(4)
    five = StateVecPy(5, seed=0)
    big.apply_gates(five)
    assert five.amplitude(16) == (1.0, 0.0)


def test_first_failing_record_stops_execution():
    qc = QuantumCircuit(2)
    qc.h(0)
    qc.x(5)
    qc.z(0)
    sv = StateVecPy(2, seed=0)
    with pytest.raises(IndexError, match="^qubit index out of range$"):
        qc.apply_gates(sv)
    expected = StateVecPy(2, seed=0)
    expected.h(0)
    assert np.array_equal(raw(sv.amplitudes()), raw(expected.amplitudes()))


@pytest.mark.parametrize("record, error, message", [
    (("cy", 1, 1), ValueError, "control and target must differ"),
    (("cz", 1, 1), ValueError, "control and target must differ"),
    (("swap", 0, 0), IndexError, "swap indices must differ"),
    (("cx", 2, 0), IndexError, "qubit index out of range"),
    (("cx", 0, 2), IndexError, "qubit index out of range"),
    (("cx", 5, 5), IndexError, "qubit index out of range"),
    (("h", 2), IndexError, "qubit index out of range"),
    (("rz", 7, 0.1), IndexError, "qubit index out of range"),
])
def test_record_errors_come_from_their_operation(record, error, message):
    qc = QuantumCircuit(2)
    getattr(qc, record[0])(*record[1:])
    with pytest.raises(error, match=f"^{message}$"):
        qc.statevector()
    with pytest.raises(error, match=f"^{message}$"):
        qc.run(5, seed=0)


def test_cx_on_same_qubit_is_a_noop_in_circuits():
    qc = QuantumCircuit(2)
    qc.h(0)
    qc.cx(1, 1)
    expected = StateVecPy(2, seed=0)
    expected.h(0)
    assert np.array_equal(raw(qc.statevector()), raw(expected.amplitudes()))


def test_recording_checks_nothing():
    qc = QuantumCircuit(2)
    qc.x(99)
    qc.cx(1, 1)
    qc.swap(0, 0)
    qc.rz(0, math.nan)
    qc.x(2**64 - 1)
    with pytest.raises(OverflowError):
        qc.cx(-1, 0)


def test_refused_record_leaves_list_unchanged():
    qc = QuantumCircuit(1)
    qc.x(0)
    with pytest.raises(OverflowError):
        qc.h(-1)
    with pytest.raises(TypeError):
        qc.h(0.5)
    assert qc.statevector()[1] == 1


def test_angles_recorded_exactly():
    theta = 2 * math.pi + 1e-9
    qc = QuantumCircuit(1)
    qc.rx(0, theta)
    sv = StateVecPy(1, seed=0)
    sv.rx(0, theta)
    assert np.array_equal(raw(qc.statevector()), raw(sv.amplitudes()))


def test_records_play_in_order_and_repeat():
    qc = QuantumCircuit(1)
    qc.h(0)
    qc.h(0)
    a = qc.statevector()
    assert a[0].real == 0.9999999999999998 and a[1] == 0
    b = qc.statevector()
    assert a is not b and not np.shares_memory(a, b)
    a[0] = 5
    assert qc.statevector()[0].real == 0.9999999999999998
    qc.x(0)  # recording continues after execution
    assert qc.statevector()[1].real == 0.9999999999999998


def test_run_passes_seed_to_register_and_measurement():
    qc = QuantumCircuit(2)
    qc.h(0)
    qc.h(1)
    sv = StateVecPy(2, seed=8)
    qc.apply_gates(sv)
    assert qc.run(300, seed=8) == sv.measure_counts(300, seed=8)
    counts = qc.run(300)
    assert sum(counts.values()) == 300


def test_statevector_array_owns_its_amplitudes():
    qc = QuantumCircuit(4)
    qc.h(3)
    a = qc.statevector()
    del qc
    import gc

    gc.collect()
    assert a.flags.writeable and a.flags.c_contiguous and a.dtype == np.complex128
    a[:] = 2  # the array's memory is its own to write
    assert a[15] == 2


def test_repeated_statevectors_release_their_memory():
    import resource

    qc = QuantumCircuit(20)  # 16 MiB per state vector
    qc.h(19)
    qc.statevector()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(40):
        qc.statevector()
    grown_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    assert grown_kib < 64 * 1024, f"peak grew by {grown_kib} KiB over 40 discarded state vectors"
