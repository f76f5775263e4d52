"""Before timing: every simulator must compute the same states from the same
gate lists, or the timings compare different work. Small n, full vectors."""
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


def _reference(sims: list[Simulator]) -> Simulator:
    """velquin when it runs, else the first peer that does."""
    for sim in sims:
        try:
            sim.circuit_result(2, [circuits.Op("h", (0,))], False)
            return sim
        except Exception:  # noqa: BLE001 - try the next one
            continue
    raise RuntimeError("no simulator runs")


def check_all(sims: list[Simulator]) -> tuple[str, list[Agreement]]:
    candidates = [s for s in sims if not s.sampler_only]
    reference = _reference(candidates)
    expected = {label: np.asarray(run(), dtype=np.complex128) for label, run in _checks(reference)}
    found = []
    for sim in candidates:
        if sim is reference:
            continue
        for label, run in _checks(sim):
            try:
                got = np.asarray(run(), dtype=np.complex128)
                found.append(Agreement(sim.name, label,
                                       float(np.max(np.abs(got - expected[label])))))
            except Unsupported as exc:
                found.append(Agreement(sim.name, label, None, f"n/a: {exc}"))
            except Exception as exc:  # noqa: BLE001 - reported
                found.append(Agreement(sim.name, label, None, first_line(exc)))
    return reference.name, found
