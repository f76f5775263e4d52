"""How much of each workload a run does: the full set or a quick one."""
from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class Profile:
    name: str
    gate_ns: tuple[int, ...]
    circuit_ns: tuple[int, ...]
    qft_ns: tuple[int, ...]
    sample_ns: tuple[int, ...]
    layers: int = 4
    shots: int = 10**6
    calls: int = 10**5

    @staticmethod
    def gate_reps(n: int) -> int:
        return 15 if n <= 22 else 5

    @staticmethod
    def circuit_reps(n: int) -> int:
        return 5 if n <= 20 else 3 if n <= 24 else 2

    @staticmethod
    def sample_reps(n: int) -> int:
        return 5 if n <= 22 else 3

    call_reps = 5

    @staticmethod
    def warm(n: int) -> bool:
        """Repeat untimed first where the state fits in the last-level cache."""
        return n <= 21


FULL = Profile("full", gate_ns=(20, 24, 26), circuit_ns=(16, 18, 20, 22, 24, 26),
               qft_ns=(16, 18, 20, 22, 24, 26), sample_ns=(20, 26))
QUICK = Profile("quick", gate_ns=(20,), circuit_ns=(20,), qft_ns=(20,), sample_ns=(20,))
PROFILES = {p.name: p for p in (FULL, QUICK)}
