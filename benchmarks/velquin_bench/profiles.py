"""How much of each workload a run does: the full set or a quick one."""
from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class Profile:
    name: str
    gate_ns: tuple[int, ...]
    circuit_ns: tuple[int, ...]
    qft_ns: tuple[int, ...]
    ansatz_ns: tuple[int, ...]
    sample_ns: tuple[int, ...]
    layers: int = 4
    ansatz_layers: int = 6
    shots: int = 10**6
    calls: int = 10**5

    @staticmethod
    def gate_reps(n: int) -> int:
        return 15 if n <= 22 else 5

    @staticmethod
    def gate_batch(n: int) -> int:
        """Calls timed together per sample, so a sample of a gate that takes a
        microsecond is not mostly the clock's own overhead and jitter."""
        return 2 ** max(0, 18 - n)

    @staticmethod
    def circuit_reps(n: int) -> int:
        return 7 if n <= 16 else 5 if n <= 20 else 3 if n <= 24 else 2

    @staticmethod
    def circuit_batch(n: int) -> int:
        return 2 ** max(0, 15 - n)

    @staticmethod
    def sample_reps(n: int) -> int:
        return 5 if n <= 22 else 3

    call_reps = 5

    @staticmethod
    def warm(n: int) -> bool:
        """Repeat untimed first where the state fits in the last-level cache."""
        return n <= 21


ALL_NS = (10, 12, 14, 16, 18, 20, 22, 24, 26)
FULL = Profile("full", gate_ns=ALL_NS, circuit_ns=ALL_NS, qft_ns=ALL_NS, ansatz_ns=ALL_NS,
               sample_ns=(20, 26))
QUICK = Profile("quick", gate_ns=(20,), circuit_ns=(20,), qft_ns=(20,), ansatz_ns=(20,),
                sample_ns=(20,))
PROFILES = {p.name: p for p in (FULL, QUICK)}
