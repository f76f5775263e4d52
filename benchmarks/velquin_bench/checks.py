"""What makes two peers' figures comparable, and where velquin's time goes.

digest (in each worker) keeps a small, comparable part of a call's result;
difference (in the parent) compares two digests. adapter_share profiles one
velquin call.
"""
from __future__ import annotations

import cProfile
import re
import time

import numpy as np

AMPLITUDES = 256  # amplitudes compared per state, at indices fixed by n
ADAPTERS = ("velquin_qiskit", "velquin_cirq", "velquin_pennylane", "velquin_adapters")


def _low_bits(result) -> np.ndarray:
    """Outcome counts of the lowest four classical bits, from a Qiskit BitArray,
    a Qiskit counts dict, a Cirq result or a (shots, bits) array."""
    if hasattr(result, "get_int_counts"):
        counts = result.slice_bits(range(min(4, result.num_bits))).get_int_counts()
    elif isinstance(result, dict):
        counts = {}
        for key, count in result.items():
            value = int(key.replace(" ", ""), 2) & 15 if isinstance(key, str) else key & 15
            counts[value] = counts.get(value, 0) + count
    else:
        if hasattr(result, "measurements"):
            result = np.concatenate([result.measurements[k] for k in sorted(result.measurements)], 1)
        bits = np.asarray(result)[:, :4].astype(np.int64)
        counts = dict(zip(*np.unique(bits @ (1 << np.arange(bits.shape[1])), return_counts=True)))
    out = np.zeros(16)
    for value, count in counts.items():
        out[int(value)] += count
    return out / out.sum()


def digest(kind: str, result) -> list | None:
    if kind == "state":
        vector = np.asarray(getattr(result, "final_state_vector", result), np.complex128).ravel()
        picks = np.random.default_rng(vector.size).choice(vector.size, min(AMPLITUDES, vector.size),
                                                          replace=False)
        return [[float(a.real), float(a.imag)] for a in vector[np.sort(picks)]]
    if kind == "dist":
        return _low_bits(result).tolist()
    if kind == "values":
        return np.concatenate([np.asarray(r, float).ravel() for r in (
            result if isinstance(result, tuple) else (result,))]).tolist()
    return None


def difference(kind: str, mine: list, theirs: list) -> float:
    """States: the distance after the best global phase, relative to the norm (peers
    differ in global phase conventions); distributions: total variation distance;
    values: the largest absolute difference."""
    a, b = np.asarray(mine), np.asarray(theirs)
    if a.shape != b.shape:
        return float("inf")
    if kind == "state":
        a, b = a[:, 0] + 1j * a[:, 1], b[:, 0] + 1j * b[:, 1]
        norm = max(np.vdot(a, a).real, 1e-300)
        return float(np.sqrt(max(0.0, (np.vdot(a, a).real + np.vdot(b, b).real
                                       - 2 * abs(np.vdot(a, b))) / norm)))
    if kind == "dist":
        return float(0.5 * np.abs(a - b).sum())
    return float(np.max(np.abs(a - b), initial=0.0))


def adapter_share(call) -> float | None:
    """One call under cProfile: the time spent in the adapter packages' code (and
    whatever it calls), entered from outside them, less the time in velquin's
    native methods, over the whole call. None where no adapter code ran.
    Profiling slows Python code more than native code, so this errs high."""
    import velquin

    # cProfile names a native method "<method 'run' of 'builtins.QuantumCircuit' objects>",
    # after the type's own name, whatever module that names.
    kinds = "|".join(re.escape(f"{c.__module__}.{c.__qualname__}") for c in vars(velquin).values()
                     if isinstance(c, type))
    native_method = re.compile(f"of '({kinds})' objects")
    profile = cProfile.Profile()
    start = time.perf_counter()
    profile.runcall(call)
    total = time.perf_counter() - start
    profile.create_stats()
    inside = lambda file: any(f"/{package}/" in file for package in ADAPTERS)  # noqa: E731
    entered = native = 0.0
    for (file, _, name), (_, _, own, _, callers) in profile.stats.items():
        if inside(file):
            entered += sum(c[3] for caller, c in callers.items() if not inside(caller[0]))
        elif file == "~" and native_method.search(name):
            native += own
    if entered == 0.0:
        return None
    return min(1.0, max(0.0, (min(entered, total) - native) / total))
