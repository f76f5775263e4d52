"""The vocabulary of the harness: a workload is one declaration, a target one line.

A workload says what to build (build(n, case, quick), called in the worker, so the parent
imports no framework), at which sizes, against which peers in which configurations, and
what is timed: each peer's make_<task> turns the problem into one call (an operation, a
parameter sweep, a gradient loop, a sampling run). All else is written once, elsewhere."""
from dataclasses import dataclass
from typing import Any, Callable

DEFAULT = "default"  # a peer's configuration as installed, its options untouched


@dataclass(frozen=True)
class Target:
    """velquin at its fastest over `vs`, row by row: every row at most `limit` (below
    it when strict) and, if given, the median at most `median`. vs: "best" = the
    fastest complex128 peer column; "default" = the fastest complex128 peer at its
    default (its first configuration); a peer ("Aer") or a column ("Aer default") = that
    alone. of="share": the limit is on the adapter's own share of velquin's time."""
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
    task: str  # the peers' make_<task>
    build: Callable[[int, str, bool], Any]
    ns: tuple[int, ...]
    peers: dict[str, tuple[str, ...]]  # peer -> its configurations, the default first
    what: str  # for the report: what one timed call does
    quick_ns: tuple[int, ...] | None = None  # quick runs: these sizes (else the first)
    cases: Callable[[int], list[str]] = lambda n: [""]
    check: str = ""  # how results are compared: "state", "dist", "values" (checks.py)
    tolerance: float = 1e-6
    reps: Any = 3  # timed calls per worker, or a function of n (quick: 1 + reps // 3)
    rounds: int = 1  # fresh workers per peer, the order reversed every other round (quick: 1)
    warm: Any = False  # an untimed call before each timed one (cache-resident work); or f(n)
    batch: Callable[[int], int] = lambda n: 1  # calls per sample, for microsecond work
    yard_units: Callable[[Any], float] | None = None  # yardstick passes the work is worth
    profile: bool = False  # measure the adapter's own share of velquin's time
    targets: tuple[Target, ...] = ()

    def sizes(self, quick: bool) -> tuple[int, ...]:
        return (self.quick_ns or self.ns[:1]) if quick else self.ns

    def timed_calls(self, quick: bool, n: int) -> int:
        reps = self.reps(n) if callable(self.reps) else self.reps
        return 1 + reps // 3 if quick else reps

    def warm_at(self, n: int, quick: bool) -> bool:  # a quick run is a smoke run: never
        return not quick and (self.warm(n) if callable(self.warm) else self.warm)


class Unsupported(Exception):
    """The peer has no way to run this task: not a failure, the cell says n/a."""


def first_line(exc: BaseException) -> str:
    text = str(exc).strip().splitlines()
    return f"{type(exc).__name__}: {text[0] if text else ''}".strip()
