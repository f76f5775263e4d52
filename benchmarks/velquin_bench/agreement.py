"""Before timing: every simulator must compute the same states from the same
gate lists, or the timings compare different work. Small n, full vectors.

Each simulator computes its vectors in its own worker (check_vectors); the
parent compares them with the reference's (compare).
"""
from __future__ import annotations

from dataclasses import dataclass

import numpy as np

from . import circuits
from .sims.base import Simulator, Unsupported, first_line

N = 6


@dataclass
class Agreement:
    simulator: str
    check: str
    max_difference: float | None
    note: str = ""

    @property
    def ok(self) -> bool:
        return self.max_difference is not None and self.max_difference < 1e-5


def _gate_sequence(sim: Simulator):
    state = sim.gate_state(N)
    for _, op in circuits.gate_ops(N):
        sim.gate_call(state, op)()
    return np.asarray(sim.state_vector(state))


def _checks(sim: Simulator):
    yield "gates on a live register", lambda: _gate_sequence(sim)
    for fusion in (False, True):
        tag = "default fusion" if fusion else "fusion off"
        yield f"random circuit, {tag}", lambda f=fusion: sim.circuit_result(
            N, circuits.random_layers(N, 3), f)
        yield f"QFT-like circuit, {tag}", lambda f=fusion: sim.circuit_result(
            N, circuits.qft_like(N), f)
        yield f"hardware-efficient ansatz, {tag}", lambda f=fusion: sim.circuit_result(
            N, circuits.hardware_efficient(N, 2), f)


def check_vectors(sim: Simulator) -> list[dict]:
    """Each check as {"label", "vector": [[re, im], ...]} or {"label", "note"}."""
    found = []
    for label, run in _checks(sim):
        try:
            vector = np.asarray(run(), dtype=np.complex128)
            found.append({"label": label,
                          "vector": [[float(a.real), float(a.imag)] for a in vector]})
        except Unsupported as exc:
            found.append({"label": label, "note": f"n/a: {exc}"})
        except Exception as exc:  # noqa: BLE001 - reported
            found.append({"label": label, "note": first_line(exc)})
    return found


def _vector(entry: dict) -> np.ndarray:
    return np.array([complex(re, im) for re, im in entry["vector"]], dtype=np.complex128)


def _reference(results: dict[str, list[dict]]) -> str | None:
    """velquin when it ran every check, else the first simulator that did,
    else the first that ran any."""
    for complete in (True, False):
        for name, entries in results.items():
            has = ["vector" in e for e in entries]
            if has and (all(has) if complete else any(has)):
                return name
    return None


def compare(results: dict[str, list[dict]]) -> tuple[str, list[Agreement]]:
    """The reference's name and every other simulator's largest difference
    from it, check by check; results maps a simulator to its check_vectors."""
    reference = _reference(results)
    if reference is None:
        return "", []
    expected = {e["label"]: _vector(e) for e in results[reference] if "vector" in e}
    found = []
    for name, entries in results.items():
        if name == reference:
            continue
        for entry in entries:
            label = entry["label"]
            if "vector" not in entry:
                found.append(Agreement(name, label, None, entry["note"]))
            elif label not in expected:
                found.append(Agreement(name, label, None, f"n/a: {reference} did not run it"))
            else:
                difference = np.max(np.abs(_vector(entry) - expected[label]))
                found.append(Agreement(name, label, float(difference)))
    return reference, found
