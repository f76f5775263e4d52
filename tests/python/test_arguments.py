"""Argument matching, conversion and borrowing of `self` and of register arguments."""
import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from velquin import QuantumCircuit, StateVecPy


def expected_matching_error(full_name, names, required, positional, keywords):
    """Independent model of argument matching: the TypeError text, or None."""
    n, total = len(positional), len(names)
    slots = [None] * total
    for i in range(min(n, total)):
        slots[i] = positional[i]
    if n > total:
        verb = "was" if n == 1 else "were"
        if required == total:
            return f"{full_name} takes {total} positional arguments but {n} {verb} given"
        return f"{full_name} takes from {required} to {total} positional arguments but {n} {verb} given"
    for key, value in keywords.items():
        if key not in names:
            return f"{full_name} got an unexpected keyword argument '{key}'"
        k = names.index(key)
        if slots[k] is not None:
            return f"{full_name} got multiple values for argument '{key}'"
        slots[k] = value
    if n < required:
        missing = [names[i] for i in range(required) if slots[i] is None]
        if missing:
            quoted = [f"'{m}'" for m in missing]
            if len(quoted) == 1:
                listing = quoted[0]
            elif len(quoted) == 2:
                listing = f"{quoted[0]} and {quoted[1]}"
            else:
                listing = ", ".join(quoted[:-1]) + ", and " + quoted[-1]
            noun = "argument" if len(missing) == 1 else "arguments"
            return f"{full_name} missing {len(missing)} required positional {noun}: {listing}"
    return None


# (callable factory, full name, parameter names, required count)
MEMBERS = [
    (lambda: QuantumCircuit(2).cx, "QuantumCircuit.cx()", ["control", "target"], 2),
    (lambda: QuantumCircuit(2).rx, "QuantumCircuit.rx()", ["q", "theta"], 2),
    (lambda: QuantumCircuit(2).h, "QuantumCircuit.h()", ["q"], 1),
    (lambda: StateVecPy(2, seed=0).cx_cpp, "StateVecPy.cx_cpp()", ["c", "t"], 2),
    (lambda: StateVecPy(2, seed=0).amplitude, "StateVecPy.amplitude()", ["i"], 1),
    (lambda: StateVecPy, "StateVecPy.__new__()", ["n_qubits", "seed"], 1),
    (lambda: QuantumCircuit, "QuantumCircuit.__new__()", ["n_qubits"], 1),
]
KEYWORDS = ["control", "target", "q", "theta", "c", "t", "i", "n_qubits", "seed", "shots", "Q", "bogus"]


@settings(max_examples=400, deadline=None)
@given(member=st.sampled_from(MEMBERS), n=st.integers(0, 4),
       keys=st.lists(st.sampled_from(KEYWORDS), max_size=3, unique=True))
def test_matching_texts_follow_model(member, n, keys):
    factory, full_name, names, required = member
    positional = [1] * n
    keywords = {k: 1 for k in keys}
    expected = expected_matching_error(full_name, names, required, positional, keywords)
    target = factory()
    if expected is None:
        target(*positional, **keywords)  # matches; values 1 convert for every kind
    else:
        with pytest.raises(TypeError) as info:
            target(*positional, **keywords)
        assert str(info.value) == expected


@pytest.mark.parametrize("call, text", [
    (lambda: StateVecPy(), "StateVecPy.__new__() missing 1 required positional argument: 'n_qubits'"),
    (lambda: StateVecPy(3, 1, 2), "StateVecPy.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: QuantumCircuit(1, 2), "QuantumCircuit.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: StateVecPy(2, seed=0).cx_cpp(control=0, target=1), "StateVecPy.cx_cpp() got an unexpected keyword argument 'control'"),
    (lambda: StateVecPy(2, seed=0).h(0, q=0), "StateVecPy.h() got multiple values for argument 'q'"),
    (lambda: StateVecPy(2, seed=0).cx(), "StateVecPy.cx() missing 2 required positional arguments: 'control' and 'target'"),
    (lambda: StateVecPy(2, seed=0).cx(1, 2, 3, target=0), "StateVecPy.cx() takes 2 positional arguments but 3 were given"),
    (lambda: StateVecPy(2, seed=0).cx(target=0), "StateVecPy.cx() missing 1 required positional argument: 'control'"),
    (lambda: StateVecPy(2, seed=0).cx(99), "StateVecPy.cx() missing 1 required positional argument: 'target'"),
    (lambda: StateVecPy(2, seed=0).h(qubit=0), "StateVecPy.h() got an unexpected keyword argument 'qubit'"),
    (lambda: StateVecPy(2, seed=0).measure_counts(), "StateVecPy.measure_counts() missing 1 required positional argument: 'shots'"),
    (lambda: StateVecPy(2, seed=0).measure_counts(1, 2, 3), "StateVecPy.measure_counts() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: QuantumCircuit(2).run(), "QuantumCircuit.run() missing 1 required positional argument: 'shots'"),
])
def test_matching_examples(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == text


def test_failed_matching_changes_nothing():
    sv = StateVecPy(2, seed=0)
    before = sv.amplitudes()
    with pytest.raises(TypeError):
        sv.cx(99)
    assert np.array_equal(sv.amplitudes(), before)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Float:
    def __float__(self):
        return 0.25


@pytest.mark.parametrize("value, expected", [
    (True, 1), (False, 0), (np.int64(3), 3), (np.uint8(2), 2), (Index(5), 5),
    (2**64 - 1, 2**64 - 1), (7, 7),
])
def test_index_conversion_accepts(value, expected):
    # QuantumCircuit(n) stores anything that converts; its count is read back via a failed run.
    QuantumCircuit(value)
    sv = StateVecPy(4, seed=0)
    if expected < sv.length():
        assert sv.amplitude(value) == sv.amplitude(expected)


@pytest.mark.parametrize("value", [-1, 2**64, -(2**70)])
def test_index_out_of_u64_is_overflow_without_name(value):
    with pytest.raises(OverflowError) as info:
        QuantumCircuit(2).h(value)
    assert "argument" not in str(info.value)


@pytest.mark.parametrize("value, fragment", [
    (1.0, "'float' object cannot be interpreted as an integer"),
    ("0", "'str' object cannot be interpreted as an integer"),
    (None, "'NoneType' object cannot be interpreted as an integer"),
    (np.float64(1.0), "cannot be interpreted as an integer"),
])
def test_index_type_errors_are_relabelled(value, fragment):
    with pytest.raises(TypeError) as info:
        QuantumCircuit(2).h(value)
    assert str(info.value).startswith("argument 'q': ")
    assert fragment in str(info.value)
    assert info.value.__cause__ is None


def test_relabelling_keeps_the_original_cause():
    class Bad:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as inner:
                raise TypeError("outer") from inner

    with pytest.raises(TypeError) as info:
        QuantumCircuit(2).h(Bad())
    assert str(info.value) == "argument 'q': outer"
    assert isinstance(info.value.__cause__, KeyError)


def test_non_type_errors_from_index_pass_unchanged():
    class Bad:
        def __index__(self):
            raise ValueError("nope")

    with pytest.raises(ValueError, match="^nope$"):
        QuantumCircuit(2).h(Bad())


@pytest.mark.parametrize("value", [1, True, np.float64(0.5), np.float32(0.5), Float(), 0.5, -1.0])
def test_angle_conversion_accepts(value):
    QuantumCircuit(1).rx(0, value)


def test_angle_errors():
    with pytest.raises(TypeError) as info:
        QuantumCircuit(1).rx(0, "1")
    assert str(info.value).startswith("argument 'theta': ")
    with pytest.raises(OverflowError) as info:
        QuantumCircuit(1).rx(0, 10**400)
    assert "argument" not in str(info.value)


@pytest.mark.parametrize("seed", [None, 0, 2**64 - 1, np.uint64(5)])
def test_seed_accepts(seed):
    StateVecPy(1, seed=seed)
    StateVecPy(1, seed)


@pytest.mark.parametrize("seed, error", [(-1, OverflowError), (2**64, OverflowError), (1.5, TypeError)])
def test_seed_rejects(seed, error):
    with pytest.raises(error) as info:
        StateVecPy(1, seed=seed)
    if error is TypeError:
        assert str(info.value).startswith("argument 'seed': ")


@pytest.mark.parametrize("value, name", [(QuantumCircuit(2), "QuantumCircuit"), (None, "NoneType"),
                                         (3, "int"), (StateVecPy, "type")])
def test_register_argument_type(value, name):
    with pytest.raises(TypeError) as info:
        QuantumCircuit(2).apply_gates(value)
    assert str(info.value) == f"argument 'sv': '{name}' object cannot be converted to 'StateVecPy'"


class Reenter:
    """An index whose __index__ first calls back into an object under borrow."""

    def __init__(self, callback, value=0):
        self.callback, self.value = callback, value

    def __index__(self):
        self.callback()
        return self.value


def test_exclusive_self_blocks_shared_reentry():
    sv = StateVecPy(2, seed=0)
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sv.x_cpp(Reenter(lambda: sv.amplitude(0)))
    sv.x_cpp(0)  # the borrow was released
    assert sv.amplitude(1) == (1.0, 0.0)


def test_shared_self_blocks_exclusive_reentry():
    sv = StateVecPy(2, seed=0)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sv.amplitude(Reenter(lambda: sv.x_cpp(0)))
    assert sv.amplitude(0) == (1.0, 0.0)


def test_shared_borrows_nest():
    sv = StateVecPy(2, seed=0)
    assert sv.amplitude(Reenter(lambda: sv.amplitude(0))) == (1.0, 0.0)


def test_register_argument_borrowed_exclusively():
    qc, sv = QuantumCircuit(2), StateVecPy(2, seed=0)
    qc.x(0)
    # While qc.run holds qc shared, recording into qc needs it exclusively.
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        qc.run(Reenter(lambda: qc.h(0)))
    # While sv.cx_cpp holds sv exclusively, apply_gates cannot borrow it.
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sv.cx_cpp(0, Reenter(lambda: qc.apply_gates(sv)))
    assert sv.amplitude(0) == (1.0, 0.0)
