"""What makes two peers' figures comparable, and where velquin's time goes: digest (in a
worker) keeps a small part of a result, difference (in the parent) compares two digests,
adapter_share profiles one call."""
import cProfile
import re
import time

import numpy as np

ADAPTERS = ("velquin_qiskit", "velquin_cirq", "velquin_pennylane", "velquin_adapters")


def _low_bits(result) -> np.ndarray:
    """The distribution of the lowest four classical bits, from a Qiskit BitArray or
    counts dict, a Cirq result or a (shots, bits) array."""
    if hasattr(result, "get_int_counts"):
        pairs = result.slice_bits(range(min(4, result.num_bits))).get_int_counts().items()
    elif isinstance(result, dict):
        pairs = [(int(k.replace(" ", ""), 2) if isinstance(k, str) else k, v) for k, v in result.items()]
    else:
        if hasattr(result, "measurements"):
            result = np.concatenate([result.measurements[k] for k in sorted(result.measurements)], 1)
        bits = np.asarray(result)[:, :4].astype(np.int64)
        pairs = zip(*np.unique(bits @ (1 << np.arange(bits.shape[1])), return_counts=True))
    out = np.zeros(16)
    for value, count in pairs:
        out[int(value) & 15] += count
    return out / out.sum()


def digest(kind: str, result) -> list | None:
    """state: 256 amplitudes at indices fixed by the size; dist: _low_bits; values: all."""
    if kind == "state":
        vector = np.asarray(getattr(result, "final_state_vector", result), np.complex128).ravel()
        picks = np.sort(np.random.default_rng(vector.size).choice(vector.size, min(256, vector.size),
                                                                  replace=False))
        return [[float(a.real), float(a.imag)] for a in vector[picks]]
    if kind == "dist":
        return _low_bits(result).tolist()
    if kind == "values":
        parts = result if isinstance(result, tuple) else (result,)
        return np.concatenate([np.asarray(r, float).ravel() for r in parts]).tolist()
    return None


def difference(kind: str, mine: list, theirs: list) -> float:
    """states: the distance after the best global phase (conventions differ), relative
    to the norm; distributions: total variation distance; values: the largest difference."""
    a, b = np.asarray(mine), np.asarray(theirs)
    if a.shape != b.shape:
        return float("inf")
    if kind == "state":
        a, b = a[:, 0] + 1j * a[:, 1], b[:, 0] + 1j * b[:, 1]
        aa, bb = np.vdot(a, a).real, np.vdot(b, b).real
        return float(np.sqrt(max(0.0, aa + bb - 2 * abs(np.vdot(a, b))) / max(aa, 1e-300)))
    if kind == "dist":
        return float(0.5 * np.abs(a - b).sum())
    return float(np.max(np.abs(a - b), initial=0.0))


def adapter_share(call) -> float | None:
    """One call under cProfile: the time in the adapter packages' code (and what it
    calls), entered from outside them, less the time in velquin's native methods,
    over the whole call; None where no adapter code ran. Profiling slows Python code
    more than native code, so this errs high."""
    import velquin

    # cProfile names a C call after its type's own name, whatever module that gives
    # ("<method 'run' of 'builtins.QuantumCircuit' objects>"); a native module of velquin's
    # own shows in the name ("_velquin_native.Program").
    kinds = [re.escape(f"of '{c.__module__}.{c.__qualname__}'") for c in vars(velquin).values()
             if isinstance(c, type)]
    native_method, profile = re.compile("|".join(kinds + ["velquin"])), cProfile.Profile()
    start = time.perf_counter()
    try:
        profile.runcall(call)
    except Exception:  # noqa: BLE001 - a call that timed well but fails profiled: no share
        return None
    total = time.perf_counter() - start
    profile.create_stats()
    inside = lambda file: any(f"/{package}/" in file for package in ADAPTERS)  # noqa: E731
    entered = native = 0.0
    for (file, _, name), (_, _, own, _, callers) in profile.stats.items():
        if inside(file):
            entered += sum(c[3] for caller, c in callers.items() if not inside(caller[0]))
        elif file == "~" and native_method.search(name):
            native += own
    return min(1.0, max(0.0, (min(entered, total) - native) / total)) if entered else None
