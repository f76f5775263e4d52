"""Register construction and the read-only accessors."""
import os

import numpy as np
import pytest
from velquin import StateVecPy


@pytest.mark.parametrize("n", [0, 31, 64, 2**64 - 1])
def test_qubit_count_range(n):
    with pytest.raises(ValueError, match="^n_qubits must be between 1 and 30$"):
        StateVecPy(n)


@pytest.mark.parametrize("n", [1, 2, 5, 12])
def test_fresh_register_is_basis_zero(n):
    sv = StateVecPy(n, seed=3)
    assert sv.n_qubits == n and type(sv.n_qubits) is int
    assert sv.length() == 2**n and type(sv.length()) is int
    a = sv.amplitudes()
    assert a.dtype == np.complex128 and a.shape == (2**n,) and a.ndim == 1
    assert a.flags.c_contiguous and a.flags.writeable and a.flags.owndata
    expected = np.zeros(2**n, dtype=np.complex128)
    expected[0] = 1
    assert np.array_equal(a, expected)
    # every zero is a positive zero
    assert not np.signbit(a.view(np.float64)).any()


def test_one_qubit_accessors():
    sv = StateVecPy(1)
    assert sv.amplitude(0) == (1.0, 0.0)
    assert sv.amplitude(1) == (0.0, 0.0)
    assert all(type(x) is float for x in sv.amplitude(0))
    for i in (2, 3, 2**64 - 1):
        with pytest.raises(IndexError, match="^amplitude index out of range$"):
            sv.amplitude(i)


def test_exports_are_fresh_copies():
    sv = StateVecPy(2, seed=0)
    a, b, c = sv.amplitudes(), sv.statevector(), sv.amplitudes()
    assert a is not b and a is not c
    assert not np.shares_memory(a, b) and not np.shares_memory(a, c)
    a[:] = 7
    assert sv.amplitude(0) == (1.0, 0.0)
    assert np.array_equal(b, c)


def test_seed_forms_are_equivalent():
    StateVecPy(n_qubits=3)
    StateVecPy(3, seed=None)
    StateVecPy(3, None)
    StateVecPy(n_qubits=3, seed=0)


@pytest.mark.skipif(os.environ.get("VELQUIN_LARGE_TESTS") != "1",
                    reason="fills 16 GiB; set VELQUIN_LARGE_TESTS=1 (scripts/largest_register.sh)")
def test_largest_qubit_count_is_accepted():
    # 16 GiB, every page filled when the register is made: only when the
    # machine can hold it.
    try:
        sv = StateVecPy(30, seed=1)
    except MemoryError as e:
        assert "bytes" in str(e)
        pytest.skip("not enough memory for 30 qubits here")
    assert sv.length() == 1073741824
    assert sv.amplitude(0) == (1.0, 0.0) and sv.amplitude(2**30 - 1) == (0.0, 0.0)
