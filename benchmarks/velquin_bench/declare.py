"""The vocabulary of the harness: a workload is one declaration, a target one line.

A workload says what to build (build(n, case, quick) makes the problem, in the
worker, so the parent imports no framework), at which sizes, against which
peers and in which of their configurations, and what is timed (the peer's
maker for `task` turns the problem into one call; that call may be a single
operation, a parameter sweep, a gradient loop or a sampling run). Everything
else, running, timing, checking and reporting, is written once elsewhere.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Callable

DEFAULT = "default"  # every peer's configuration as installed, options untouched


@dataclass(frozen=True)
class Target:
    """velquin at its best over `vs` (peer columns), row by row: every row at most
    `limit` (below it when strict) and, if given, the median at most `median`.
    vs: "best" = the fastest complex128 column of any peer; "default" = the fastest
    complex128 peer at its default; "Aer default" = that column alone.
    of="share": the limit is on the adapter's own share of velquin's time instead."""
    label: str
    where: Callable[[Any], bool] = lambda row: True
    vs: str = "best"
    limit: float = 1.0
    median: float | None = None
    strict: bool = False
    of: str = "ratio"


@dataclass(frozen=True)
class Workload:
    name: str
    family: str  # one report section and one plot per family
    task: str  # which maker every peer module offers for it
    build: Callable[[int, str, bool], Any]
    ns: tuple[int, ...]
    peers: dict[str, tuple[str, ...]]  # peer -> its configurations, default first
    what: str  # for the report: what one timed call does
    quick_ns: tuple[int, ...] | None = None
    cases: Callable[[int], list[str]] = lambda n: [""]
    check: str = ""  # "state", "dist" or "values": how the peers' results are compared
    tolerance: float = 1e-6
    # reps and warm may also be functions of n.
    reps: Any = 3  # timed calls per worker (quick: 1 + reps // 3)
    rounds: int = 1  # fresh workers per peer, peers alternating (quick: 1)
    warm: Any = False  # an untimed call before each timed one (cache-resident work)
    batch: Callable[[int], int] = lambda n: 1  # calls per sample, for microsecond work
    yard_units: Callable[[Any], float] | None = None  # yardstick passes the work is worth
    profile: bool = False  # measure the adapter's own share of velquin's time
    targets: tuple[Target, ...] = field(default_factory=tuple)

    def sizes(self, quick: bool) -> tuple[int, ...]:
        return (self.quick_ns or self.ns[:1]) if quick else self.ns

    def timed_calls(self, quick: bool, n: int) -> int:
        reps = self.reps(n) if callable(self.reps) else self.reps
        return 1 + reps // 3 if quick else reps

    def warm_at(self, n: int) -> bool:
        return self.warm(n) if callable(self.warm) else self.warm


class Unsupported(Exception):
    """This peer has no way to run this task (not a failure: the cell says n/a)."""


def first_line(exc: BaseException) -> str:
    text = str(exc).strip().splitlines()
    return f"{type(exc).__name__}: {text[0] if text else ''}".strip()
