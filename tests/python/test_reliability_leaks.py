"""Leaks and reference counts: every member, on its success path and on each
of its error paths, repeated many times, leaves no growth in the Python heap
(tracemalloc), in the C/C++ heap (glibc's in-use bytes) or in the reference
counts of its arguments and of the classes."""
import ctypes
import gc
import sys
import tracemalloc

import pytest
from velquin import QuantumCircuit, StateVecPy

REPEATS = 400


class Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks",
        "fordblks", "keepcost")]


LIBC = ctypes.CDLL(None)
if hasattr(LIBC, "mallinfo2"):
    LIBC.mallinfo2.restype = Mallinfo2


def native_heap_in_use():
    """Bytes the C library's allocator has handed out and not had back."""
    if not hasattr(LIBC, "mallinfo2"):
        pytest.skip("needs glibc 2.33 or newer")
    info = LIBC.mallinfo2()
    return info.uordblks + info.hblkhd


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class CallsBack:
    """__index__ calls back into `target` (a borrow conflict) and lets the error out."""

    def __init__(self, target):
        self.target = target

    def __index__(self):
        self.target.amplitudes()
        return 0


def arguments():
    """Objects passed in, none of them immortal, so their counts can move."""
    return {
        "angle": float("0.%d" % 123457),
        "big": 2**70 + 12345,
        "negative": -(2**40) - 7,
        "text": "".join(["q", "0"]),
        "indexable": Indexable(1),
        "none_like": [0],
    }


def calls(sv, qc, other, args):
    """(label, call) for every member: success, then each kind of failure."""
    a = args
    out = []
    for name in ("h", "x", "y", "z", "s", "sdg", "t", "tdg", "sx", "h_cpp", "x_cpp"):
        gate = getattr(sv, name)
        out += [(f"{name}", lambda g=gate: g(a["indexable"])),
                (f"{name} range", lambda g=gate: g(99)),
                (f"{name} overflow", lambda g=gate: g(a["big"])),
                (f"{name} type", lambda g=gate: g(a["text"])),
                (f"{name} keyword", lambda g=gate: g(bogus=1)),
                (f"{name} missing", lambda g=gate: g())]
    for name in ("rx", "ry", "rz"):
        gate = getattr(sv, name)
        out += [(f"{name}", lambda g=gate: g(0, a["angle"])),
                (f"{name} range", lambda g=gate: g(99, a["angle"])),
                (f"{name} angle type", lambda g=gate: g(0, a["text"])),
                (f"{name} angle overflow", lambda g=gate: g(0, 10**400)),
                (f"{name} keywords", lambda g=gate: g(theta=a["angle"], q=1))]
    for name in ("cx", "cy", "cz", "swap", "cx_cpp"):
        gate = getattr(sv, name)
        out += [(f"{name}", lambda g=gate: g(0, 1)),
                (f"{name} same", lambda g=gate: g(1, 1)),
                (f"{name} range", lambda g=gate: g(0, 99)),
                (f"{name} negative", lambda g=gate: g(a["negative"], 0)),
                (f"{name} too many", lambda g=gate: g(0, 1, 2))]
    out += [
        ("amplitude", lambda: sv.amplitude(a["indexable"])),
        ("amplitude range", lambda: sv.amplitude(2**20)),
        ("amplitudes", sv.amplitudes), ("statevector", sv.statevector), ("length", sv.length),
        ("n_qubits", lambda: sv.n_qubits),
        ("n_qubits set", lambda: setattr(sv, "n_qubits", 3)),
        ("noargs with argument", lambda: sv.amplitudes(1)),
        ("measure_counts", lambda: sv.measure_counts(20)),
        ("measure_counts seeded", lambda: sv.measure_counts(20, seed=a["indexable"])),
        ("measure_counts seed overflow", lambda: sv.measure_counts(5, seed=a["big"])),
        ("measure_counts invalid weights", lambda: other.measure_counts(5, seed=1)),
        ("borrow conflict", lambda: sv.h(CallsBack(sv))),
        ("new", lambda: StateVecPy(4, seed=a["indexable"])),
        ("new unseeded", lambda: StateVecPy(3)),
        ("new range", lambda: StateVecPy(31)),
        ("new type", lambda: StateVecPy(a["none_like"])),
        ("circuit new", lambda: QuantumCircuit(a["big"] % 7 + 1)),
        ("circuit new overflow", lambda: QuantumCircuit(a["negative"])),
        ("circuit record", lambda: QuantumCircuit(3).rx(0, a["angle"])),
        ("circuit run", lambda: qc.run(10, seed=3)),
        ("circuit run failing record", lambda: failing_circuit(a).run(10)),
        ("circuit statevector", qc.statevector),
        ("circuit apply_gates", lambda: qc.apply_gates(sv)),
        ("circuit apply_gates wrong type", lambda: qc.apply_gates(qc)),
        ("circuit apply_gates none", lambda: qc.apply_gates(None)),
        ("circuit apply_gates borrowed", lambda: qc.rx(0, BorrowsDuring(qc, sv))),
        ("wrong self", lambda: StateVecPy.h(qc, 0)),
    ]
    return out


def failing_circuit(args):
    qc = QuantumCircuit(3)
    qc.h(0)
    qc.rz(1, args["angle"])
    qc.x(7)
    return qc


class BorrowsDuring:
    """__float__ plays the circuit onto a register while the circuit is
    borrowed exclusively (recording): a conflict that must release cleanly."""

    def __init__(self, qc, sv):
        self.qc, self.sv = qc, sv

    def __float__(self):
        self.qc.apply_gates(self.sv)
        return 0.5


def repeat(call, repeats):
    for _ in range(repeats):
        try:
            call()
        except (TypeError, ValueError, IndexError, OverflowError, RuntimeError, AttributeError):
            pass


@pytest.fixture
def setup():
    sv = StateVecPy(6, seed=1)
    for q in range(6):
        sv.h(q)
    other = StateVecPy(2, seed=1)
    other.rx(0, float("nan"))
    qc = QuantumCircuit(6)
    qc.h(0)
    qc.cx(0, 1)
    args = arguments()
    return sv, qc, other, args, calls(sv, qc, other, args)


def test_every_member_and_error_path_is_reachable(setup):
    sv, qc, other, args, table = setup
    failures = 0
    for label, call in table:
        try:
            call()
        except (TypeError, ValueError, IndexError, OverflowError, RuntimeError, AttributeError):
            failures += 1
        # Nothing else escapes: a stray type here would be swallowed by the loops below.
    assert failures > len(table) // 2


def test_repeating_every_call_leaks_nothing(setup):
    sv, qc, other, args, table = setup
    for _, call in table:
        repeat(call, 20)  # caches, free lists, dict sizes settle
    gc.collect()
    classes = [StateVecPy, QuantumCircuit]
    counts_before = {k: sys.getrefcount(v) for k, v in args.items()}
    class_counts_before = [sys.getrefcount(c) for c in classes]
    instance_counts_before = [sys.getrefcount(o) for o in (sv, qc, other)]
    # Two passes: tracemalloc keeps its traces in the C heap, so the C heap is
    # measured with tracing off.
    # The calls make no reference cycles; the collector stays off so that a
    # collection of older garbage cannot hide growth.
    native, traced = {}, {}
    gc.disable()
    try:
        for label, call in table:
            before = native_heap_in_use()
            repeat(call, REPEATS)
            native[label] = native_heap_in_use() - before
        tracemalloc.start()
        for label, call in table:
            before = tracemalloc.get_traced_memory()[0]
            repeat(call, REPEATS)
            traced[label] = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
        gc.enable()

    assert {k: sys.getrefcount(v) for k, v in args.items()} == counts_before
    assert [sys.getrefcount(c) for c in classes] == class_counts_before
    assert [sys.getrefcount(o) for o in (sv, qc, other)] == instance_counts_before
    # Any allocation left behind per call is at least 16 bytes: allow a few
    # cached blocks, far below one per call.
    growing = {f"{label} ({heap})": g for heap, sizes in (("C heap", native), ("traced", traced))
               for label, g in sizes.items() if g >= 4 * REPEATS}
    assert growing == {}
