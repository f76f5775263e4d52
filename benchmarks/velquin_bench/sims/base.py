"""The interface every simulator adapter offers to the workloads.

Each hook returns a zero-argument callable that does the timed work once. A
callable may return a float: then that float, not the wall time of the call,
is the measurement (used where only a difference of two runs isolates the
work). A hook raises Unsupported where the simulator has no such operation.
"""
from __future__ import annotations

from importlib import metadata
from typing import Any, Callable

from ..circuits import Op

Timed = Callable[[], "float | None"]


class Unsupported(Exception):
    """The simulator offers no way to do this workload."""


class Simulator:
    name = "?"
    distribution = ""  # package whose version is reported
    precision = "complex128"
    fuses = True  # has a gate-fusion setting worth timing both ways
    sampler_only = False

    def __init__(self, threads: int):
        self.threads = threads

    def version(self) -> str:
        return metadata.version(self.distribution)

    # Single gates on an existing register of n qubits in |+>^n.
    def gate_state(self, n: int) -> Any:
        raise Unsupported("no gate-by-gate interface")

    def gate_call(self, state: Any, op: Op) -> Timed:
        raise Unsupported("no gate-by-gate interface")

    def state_vector(self, state: Any):
        """The amplitudes of a gate_state register, indexed like velquin's."""
        raise Unsupported("cannot read the register")

    def release(self, state: Any) -> None:
        """Frees a gate_state register (most adapters: drop the reference)."""

    # A whole circuit from |0...0> to a returned state vector.
    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        raise Unsupported("no circuit interface")

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        """The state vector a circuit run returns, indexed like velquin's."""
        raise Unsupported("cannot return the state vector")

    # shots samples from the product state of sampling_prep(n).
    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        raise Unsupported("no sampler")

    # count gate calls on a 2-qubit register, one Python call each.
    def call_loop(self, op: Op, count: int) -> Timed:
        raise Unsupported("no per-gate call")


def first_line(exc: BaseException) -> str:
    text = str(exc).strip().splitlines()
    return f"{type(exc).__name__}: {text[0] if text else ''}".strip()
