"""Every member of both classes driven with arbitrary argument shapes: wrong
counts, stray keywords, None, floats, huge and negative ints, strings, NumPy
scalars, and objects whose __index__/__float__ raise or call back into the
object being called.

Each example keeps a twin of the register and of the circuit, driven only with
the plain values the arguments convert to, and only when the fuzzed call got
past argument conversion. So a call must either succeed exactly as the plain
call does, fail with the same operation error (IndexError, ValueError), or fail
in argument handling (TypeError, OverflowError, RuntimeError, or the argument's
own exception, unchanged) leaving every bit of the register as it was.

VELQUIN_FUZZ_EXAMPLES sets the number of examples (a longer run for CI).
"""
import operator
import os
from decimal import Decimal
from fractions import Fraction

import numpy as np
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st
from velquin import QuantumCircuit, StateVecPy

EXAMPLES = int(os.environ.get("VELQUIN_FUZZ_EXAMPLES", "600"))

INDEX, ANGLE, SEED, REGISTER = "index", "angle", "seed", "register"

STATEVEC_MEMBERS = {
    "h_cpp": (("q", INDEX),), "x_cpp": (("q", INDEX),),
    "cx_cpp": (("c", INDEX), ("t", INDEX)),
    "amplitude": (("i", INDEX),), "amplitudes": (), "statevector": (), "length": (),
    **{g: (("q", INDEX),) for g in ("x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx")},
    **{g: (("q", INDEX), ("theta", ANGLE)) for g in ("rx", "ry", "rz")},
    **{g: (("control", INDEX), ("target", INDEX)) for g in ("cx", "cy", "cz")},
    "swap": (("q1", INDEX), ("q2", INDEX)),
    "measure_counts": (("shots", INDEX), ("seed", SEED)),
}
CIRCUIT_MEMBERS = {
    **{g: (("q", INDEX),) for g in ("x", "y", "z", "h", "s", "sdg", "t", "tdg", "sx")},
    **{g: (("q", INDEX), ("theta", ANGLE)) for g in ("rx", "ry", "rz")},
    **{g: (("control", INDEX), ("target", INDEX)) for g in ("cx", "cy", "cz")},
    "swap": (("q1", INDEX), ("q2", INDEX)),
    "run": (("shots", INDEX), ("seed", SEED)),
    "statevector": (),
    "apply_gates": (("sv", REGISTER),),
}
NO_ARGUMENTS = {"amplitudes", "statevector", "length"}
KEYWORDS = sorted({p for m in (STATEVEC_MEMBERS, CIRCUIT_MEMBERS) for ps in m.values()
                   for p, _ in ps} | {"n_qubits", "bogus", "Q"})
MAX_SHOTS = 2000       # larger valid shot counts are legitimate, only slow
MAX_FUZZED_QUBITS = 8  # the same for registers


class OwnError(Exception):
    """Raised by an argument's conversion hook; must reach the caller unchanged."""


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Floatable:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Raising:
    """Both hooks raise the given exception instance."""

    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error

    def __float__(self):
        raise self.error


class ReEntering:
    """Both hooks call a member of the object under call first (a borrow
    conflict unless both borrows are shared), then return `value`; with
    `swallow` the conflict is caught, otherwise it propagates."""

    def __init__(self, target, member, args, swallow, value):
        self.target, self.member, self.args = target, member, args
        self.swallow, self.value = swallow, value

    def _call_back(self):
        try:
            getattr(self.target, self.member)(*self.args)
        except RuntimeError:
            if not self.swallow:
                raise
        except (IndexError, ValueError):
            pass  # the member's own checks (a recorded gate that fails), not what is probed

    def __index__(self):
        self._call_back()
        return self.value

    def __float__(self):
        self._call_back()
        return float(self.value)


INTS = [0, 1, 2, 3, 5, 7, 31, 63, 64, 2**31, 2**32, 2**63 - 1, 2**63, 2**64 - 1, 2**64,
        2**100, 10**400, -1, -2, -2**63, -2**64]
FLOATS = [0.0, -0.0, 0.5, 1.0, -3.25, 1e-310, 1e308, float("inf"), float("-inf"), float("nan")]
# Raised by the hooks; every one but TypeError must reach the caller as is.
HOOK_ERRORS = {"own_error": OwnError("own"), "type_error": TypeError("hook refused"),
               "overflow_error": OverflowError("hook overflow"),
               "value_error": ValueError("hook value"), "index_error": IndexError("hook index")}
REENTRY = {StateVecPy: [("amplitudes", ()), ("length", ()), ("amplitude", (0,)), ("h", (0,)),
                        ("measure_counts", (1,))],
           QuantumCircuit: [("statevector", ()), ("x", (0,)), ("run", (1, 1))]}

# A value is described by a tuple (kind, payload...) and made twice: for the
# call under test and, as its plain converted value, for the twin.
small_valid = st.tuples(st.just("int"), st.integers(0, 5))  # often reaches the operation
value_descriptions = st.one_of(
    small_valid, small_valid, small_valid, small_valid,
    st.tuples(st.just("int"), st.sampled_from(INTS) | st.integers(-3, 40)),
    st.tuples(st.just("float"), st.sampled_from(FLOATS) | st.floats()),
    st.tuples(st.just("bool"), st.booleans()),
    st.tuples(st.sampled_from(["none", "str", "strnum", "bytes", "list", "tuple", "dict",
                               "complex", "object", "np_bool", "np_complex", "fraction",
                               "decimal", "own_error", "type_error", "overflow_error",
                               "value_error", "index_error", "register_self", "register_other",
                               "circuit", "np_uint64_max", "np_int8_negative"])),
    st.tuples(st.sampled_from(["np_int", "np_uint", "np_array0d", "indexable"]),
              st.sampled_from(INTS[:13]) | st.integers(0, 40)),
    st.tuples(st.sampled_from(["np_float", "np_float32", "floatable"]),
              st.sampled_from(FLOATS) | st.floats(-10, 10)),
    st.tuples(st.just("reenter"), st.integers(0, 4), st.booleans(), st.integers(0, 3)),
)


class Side:
    """The objects one side of the comparison works on."""

    def __init__(self, sv, qc, other_sv):
        self.sv, self.qc, self.other_sv = sv, qc, other_sv


def make(description, side, reentry_target):
    kind, *payload = description
    simple = {
        "none": None, "str": "x", "strnum": "1", "bytes": b"0", "list": [0], "tuple": (0,),
        "dict": {0: 0}, "complex": 1 + 0j, "np_bool": np.True_, "np_complex": np.complex64(1),
        "fraction": Fraction(1, 3), "decimal": Decimal("0.5"),
        "np_uint64_max": np.uint64(2**64 - 1), "np_int8_negative": np.int8(-1),
    }
    if kind in simple:
        return simple[kind]
    if kind in ("int", "float", "bool"):
        return payload[0]
    if kind == "object":
        return object()
    if kind in HOOK_ERRORS:
        return Raising(HOOK_ERRORS[kind])
    if kind == "register_self":
        return side.sv
    if kind == "register_other":
        return side.other_sv
    if kind == "circuit":
        return side.qc
    value = payload[0]
    if kind == "np_int":
        return np.int64(value) if value < 2**63 else np.uint64(value)
    if kind == "np_uint":
        return np.uint64(value)
    if kind == "np_array0d":
        return np.array(value, dtype=np.uint64)
    if kind == "indexable":
        return Indexable(value)
    if kind == "np_float":
        return np.float64(value)
    if kind == "np_float32":
        with np.errstate(over="ignore"):
            return np.float32(value)
    if kind == "floatable":
        return Floatable(float(value))
    if kind == "reenter":
        choice, swallow, returned = payload
        members = REENTRY[type(reentry_target)]
        member, args = members[choice % len(members)]
        return ReEntering(reentry_target, member, args, swallow, returned)
    raise AssertionError(kind)


def plain(description, parameter_kind, side):
    """The value the twin is called with, once conversion is known to succeed."""
    kind, *payload = description
    if kind == "reenter":
        return payload[2] if parameter_kind != ANGLE else float(payload[2])
    value = make(description, side, None)
    if parameter_kind == REGISTER:
        return value
    if parameter_kind == SEED and value is None:
        return None
    if parameter_kind == ANGLE:
        return value if type(value) is float else float(value)
    return operator.index(value)


def valid_index(description):
    """The 64-bit value a description converts to as an index, or None."""
    kind, *payload = description
    try:
        value = payload[2] if kind == "reenter" else operator.index(make(description, None, None))
    except Exception:
        return None
    return value if 0 <= value < 2**64 else None


call_descriptions = st.fixed_dictionaries({
    "on": st.sampled_from(["sv", "sv", "sv", "qc", "qc", "new_sv", "new_qc", "wrong_self"]),
    "member": st.integers(0, 1000),
    "positional": st.lists(value_descriptions, max_size=4),
    "keywords": st.dictionaries(st.sampled_from(KEYWORDS), value_descriptions, max_size=2),
})

# Well-formed calls with values around the edges of the valid ranges.
edge_descriptions = st.one_of(
    st.tuples(st.just("int"), st.integers(0, 6)),
    st.tuples(st.sampled_from(["np_int", "indexable"]), st.integers(0, 6)),
    st.tuples(st.just("float"), st.sampled_from(FLOATS) | st.floats(-7, 7)),
    st.tuples(st.just("reenter"), st.integers(0, 4), st.booleans(), st.integers(0, 6)),
    st.tuples(st.just("int"), st.sampled_from([2**64 - 1, 2**64, -1, 2**100])),
    st.tuples(st.sampled_from(["none", "register_self", "register_other"])),
)
well_formed_calls = st.fixed_dictionaries({
    "on": st.sampled_from(["sv", "sv", "qc", "new_sv"]),
    "member": st.integers(0, 1000),
    "fill": st.lists(edge_descriptions, min_size=2, max_size=2),
    "split": st.integers(0, 2),
    "repeat": st.booleans(),  # the same value twice: the equal-qubit checks
})


def fits_signature(member_params, call):
    """The positional and keyword descriptions of a call. A well-formed call
    fills every parameter, the first `split` by position, the rest by name, so
    that conversion and the operation's own checks are reached."""
    if "fill" not in call:
        return call["positional"], call["keywords"]
    names = [p for p, _ in member_params]
    fill = call["fill"][:1] * 2 if call["repeat"] else call["fill"]
    fill = fill[: len(names)]
    split = min(call["split"], len(fill))
    return fill[:split], {names[i]: fill[i] for i in range(split, len(fill))}


def slot_descriptions(member_params, positional, keywords, name):
    """Every description that may land in parameter `name`."""
    names = [p for p, _ in member_params]
    found = [keywords[name]] if name in keywords else []
    if name in names and names.index(name) < len(positional):
        found.append(positional[names.index(name)])
    return found


def bits_of(sv):
    return sv.amplitudes().view(np.uint64).copy()


def same_result(a, b):
    if isinstance(a, np.ndarray):
        return isinstance(b, np.ndarray) and np.array_equal(a.view(np.uint64), b.view(np.uint64))
    if isinstance(a, tuple):
        return np.array_equal(np.array(a).view(np.uint64), np.array(b).view(np.uint64))
    return type(a) is type(b) and a == b


ARGUMENT_ERRORS = (TypeError, OverflowError, RuntimeError, OwnError)
OPERATION_ERRORS = (IndexError, ValueError)


def outcome(fn, *args, **kwargs):
    try:
        return ("ok", fn(*args, **kwargs))
    except BaseException as error:  # noqa: B902 - any escape is itself a finding
        return ("raised", error)


def run_call(call, fuzzed, twin):
    on = call["on"]
    if on in ("sv", "qc", "wrong_self"):
        table = STATEVEC_MEMBERS if on != "qc" else CIRCUIT_MEMBERS
        name = sorted(table)[call["member"] % len(table)]
        params = table[name]
    elif on == "new_sv":
        name, params = "__new__", (("n_qubits", INDEX), ("seed", SEED))
    else:
        name, params = "__new__", (("n_qubits", INDEX),)
    positional, keywords = fits_signature(params, call)

    # Valid but slow requests are legitimate; keep them out of the fuzzing.
    limits = {"shots": MAX_SHOTS, "n_qubits": MAX_FUZZED_QUBITS}
    for parameter, limit in limits.items():
        if on == "new_qc":
            break
        for description in slot_descriptions(params, positional, keywords, parameter):
            value = valid_index(description)
            if value is not None and value > limit:
                return

    reentry_target = {"sv": fuzzed.sv, "qc": fuzzed.qc}.get(on, StateVecPy(2, seed=5))
    args = [make(d, fuzzed, reentry_target) for d in positional]
    kwargs = {k: make(d, fuzzed, reentry_target) for k, d in keywords.items()}
    before = bits_of(fuzzed.sv)
    other_before = bits_of(fuzzed.other_sv)

    if on == "wrong_self":
        # A method of one class called on an instance of the other never runs.
        status, error = outcome(getattr(StateVecPy, name), fuzzed.qc, *args, **kwargs)
        assert status == "raised" and type(error) is TypeError, (name, error)
        assert np.array_equal(bits_of(fuzzed.sv), before)
        return
    if on in ("sv", "qc"):
        status, value = outcome(getattr(getattr(fuzzed, on), name), *args, **kwargs)
    else:
        cls = StateVecPy if on == "new_sv" else QuantumCircuit
        status, value = outcome(cls, *args, **kwargs)

    event(f"{status} {type(value).__name__ if status == 'raised' else on}")
    event(f"{on}.{name}")
    if status == "raised":
        error = value
        assert isinstance(error, ARGUMENT_ERRORS + OPERATION_ERRORS + (MemoryError,)), \
            f"{name}: stray {type(error).__name__}: {error}"
        from_hook = any(error is e for e in HOOK_ERRORS.values())
        if isinstance(error, TypeError) and "hook refused" in str(error):
            assert str(error).startswith("argument '") and str(error).endswith("': hook refused")
            from_hook = True
        assert from_hook or not isinstance(error, OwnError)
        if on == "sv":
            # Every register member checks all it needs before changing anything.
            assert np.array_equal(bits_of(fuzzed.sv), before), name
        if from_hook or not isinstance(error, OPERATION_ERRORS):
            # Failed before the operation: nothing may have changed.
            assert np.array_equal(bits_of(fuzzed.sv), before), name
            assert np.array_equal(bits_of(fuzzed.other_sv), other_before), name
            return

    # Conversion succeeded: the twin gets the plain values.
    kinds = dict(params)
    plain_args = [plain(d, kinds[params[i][0]], twin) for i, d in enumerate(positional)]
    plain_kwargs = {k: plain(d, kinds[k], twin) for k, d in keywords.items()}
    if on in ("sv", "qc"):
        twin_status, twin_value = outcome(getattr(getattr(twin, on), name),
                                          *plain_args, **plain_kwargs)
    else:
        twin_status, twin_value = outcome(StateVecPy if on == "new_sv" else QuantumCircuit,
                                          *plain_args, **plain_kwargs)
    assert twin_status == status, (name, value, twin_value)
    if status == "raised":
        assert type(value) is type(twin_value) and str(value) == str(twin_value), name
    elif on == "new_sv":
        assert value.n_qubits == twin_value.n_qubits
        assert np.array_equal(bits_of(value), bits_of(twin_value))
    elif on == "sv" or name in ("run", "statevector"):
        assert same_result(value, twin_value), name
    assert np.array_equal(bits_of(fuzzed.sv), bits_of(twin.sv)), name
    assert np.array_equal(bits_of(fuzzed.other_sv), bits_of(twin.other_sv)), name


def sides(n, m):
    def side():
        sv = StateVecPy(n, seed=11)
        for q in range(n):
            sv.h(q)
            sv.rz(q, 0.3 + q)
        return Side(sv, QuantumCircuit(m), StateVecPy(2, seed=0))
    return side(), side()


def check_sequence(n, m, calls):
    fuzzed, twin = sides(n, m)
    for call in calls:
        run_call(call, fuzzed, twin)
    # Borrows were all given back, and the generators and circuits agree.
    for side in (fuzzed, twin):
        side.sv.z(0)
        side.qc.z(0)
    a, b = outcome(fuzzed.sv.measure_counts, 64), outcome(twin.sv.measure_counts, 64)
    assert a[0] == b[0] and (same_result(a[1], b[1]) if a[0] == "ok" else str(a[1]) == str(b[1]))
    a, b = outcome(fuzzed.qc.run, 16, 3), outcome(twin.qc.run, 16, 3)
    assert a[0] == b[0] and (same_result(a[1], b[1]) if a[0] == "ok" else str(a[1]) == str(b[1]))


FUZZ_SETTINGS = settings(max_examples=EXAMPLES, deadline=None,
                         suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


@FUZZ_SETTINGS
@given(n=st.integers(1, 5), m=st.integers(1, 5), calls=st.lists(call_descriptions, max_size=8))
def test_any_call_shape_succeeds_like_plain_call_or_changes_nothing(n, m, calls):
    check_sequence(n, m, calls)


@FUZZ_SETTINGS
@given(n=st.integers(1, 5), m=st.integers(1, 5), calls=st.lists(well_formed_calls, max_size=8))
def test_edge_values_succeed_like_plain_call_or_change_nothing(n, m, calls):
    check_sequence(n, m, calls)
