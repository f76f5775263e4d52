"""A pure-Python model of every gate, written from the gate formulas.

Python floats are IEEE binary64 and every operation below rounds on its own
(no fused multiply-add), so this model is an exact reference: the module must
agree with it bit for bit. A state is a list of (re, im) tuples, index i being
the basis state whose bit q is the value of qubit q. Each gate returns a new
list (copy-then-replace); nothing here imports velquin.
"""

import math

INV_SQRT2 = 1.0 / math.sqrt(2.0)
QUARTER_PI = 0.7853981633974483


def cos(x):
    """The C library's cos: NaN for a non-finite argument (math.cos raises)."""
    return math.cos(x) if math.isfinite(x) else math.nan


def sin(x):
    return math.sin(x) if math.isfinite(x) else math.nan


def mul(a, b):
    """a × b with all four real products."""
    return (a[0] * b[0] - a[1] * b[1], a[0] * b[1] + a[1] * b[0])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def scale(r, a):
    return (r * a[0], r * a[1])


def neg(a):
    """Both sign bits flipped (Python's unary minus is the IEEE negate)."""
    return (-a[0], -a[1])


def basis_zero(n_qubits):
    return [(1.0, 0.0)] + [(0.0, 0.0)] * ((1 << n_qubits) - 1)


def _paired(state, q, formula):
    m = 1 << q
    out = list(state)
    for i in range(len(state)):
        if i & m:
            continue
        out[i], out[i | m] = formula(state[i], state[i | m])
    return out


def h(state, q):
    return _paired(state, q, lambda a0, a1: (scale(INV_SQRT2, add(a0, a1)),
                                             scale(INV_SQRT2, sub(a0, a1))))


def x(state, q):
    return _paired(state, q, lambda a0, a1: (a1, a0))


def y(state, q):
    u = (0.0, 1.0)
    return _paired(state, q, lambda a0, a1: (mul(neg(u), a1), mul(u, a0)))


def _phase(state, q, p):
    return _paired(state, q, lambda a0, a1: (a0, mul(a1, p)))


def z(state, q):
    return _paired(state, q, lambda a0, a1: (a0, neg(a1)))


def s(state, q):
    return _phase(state, q, (0.0, 1.0))


def sdg(state, q):
    return _phase(state, q, (0.0, -1.0))


def t(state, q):
    return _phase(state, q, (math.cos(QUARTER_PI), math.sin(QUARTER_PI)))


def tdg(state, q):
    return _phase(state, q, (math.cos(-QUARTER_PI), math.sin(-QUARTER_PI)))


def sx(state, q):
    p, p_bar = (0.5, 0.5), (0.5, -0.5)
    return _paired(state, q, lambda a0, a1: (add(mul(p, a0), mul(p_bar, a1)),
                                             add(mul(p_bar, a0), mul(p, a1))))


def rx(state, q, theta):
    half = theta * 0.5
    co, si = cos(half), sin(half)
    w = (0.0, -si)
    return _paired(state, q, lambda a0, a1: (add(scale(co, a0), mul(w, a1)),
                                             add(mul(w, a0), scale(co, a1))))


def ry(state, q, theta):
    half = theta * 0.5
    co, si = cos(half), sin(half)
    return _paired(state, q, lambda a0, a1: (sub(scale(co, a0), scale(si, a1)),
                                             add(scale(si, a0), scale(co, a1))))


def rz(state, q, theta):
    half = theta / 2.0
    co, si = cos(half), sin(half)
    p0, p1 = (co, -si), (co, si)
    return _paired(state, q, lambda a0, a1: (mul(a0, p0), mul(a1, p1)))


def cx(state, control, target):
    cm, tm = 1 << control, 1 << target
    out = list(state)
    for i in range(len(state)):
        if i & cm and not i & tm:
            out[i], out[i ^ tm] = state[i ^ tm], state[i]
    return out


def cy(state, control, target):
    cm, tm = 1 << control, 1 << target
    u = (0.0, 1.0)
    out = list(state)
    for i in range(len(state)):
        if i & cm and not i & tm:
            j = i ^ tm
            out[j] = mul(state[i], u)
            out[i] = mul(state[j], neg(u))
    return out


def cz(state, control, target):
    cm, tm = 1 << control, 1 << target
    return [neg(a) if i & cm and i & tm else a for i, a in enumerate(state)]


def swap(state, q1, q2):
    m1, m2 = 1 << q1, 1 << q2
    out = list(state)
    for i in range(len(state)):
        if i & m1 and not i & m2:
            out[i], out[i ^ (m1 | m2)] = state[i ^ (m1 | m2)], state[i]
    return out


SINGLE = {"h": h, "x": x, "y": y, "z": z, "s": s, "sdg": sdg, "t": t, "tdg": tdg, "sx": sx}
ROTATIONS = {"rx": rx, "ry": ry, "rz": rz}
TWO = {"cx": cx, "cy": cy, "cz": cz, "swap": swap}
# The kernel-backed methods compute the same formulas.
NATIVE = {"h_cpp": h, "x_cpp": x, "cx_cpp": cx}
